// The outbounds of the benchmarks and the baselines measured beside the plugin: the same
// entries enumerated or stat-ed with the platform's own calls, nothing else.
#ifndef BSOPANEL_BENCH_BENCH_OUTBOUND_H
#define BSOPANEL_BENCH_BENCH_OUTBOUND_H

#include "demo_outbound.h"

#include <cstddef>
#include <string>
#include <vector>

namespace bench {

// Writes the plugin's settings below "<rootKey>\KESTREL" of the registry in use.
bool WriteSettings(const std::string &rootKey, const std::string &outboundWin32,
                   const std::string &ownAddress, bool autoRefresh, std::string &error);

// The generator gives each link one flow file, a netmail packet for every other link and a
// busy flag now and then. This tops every link up to four outbound files: its flow file, a
// netmail packet, a file request and a second flow file of another flavor (a poll). The marks
// the panel shows change accordingly; the link rows stay the same.
bool TopUpLinkFiles(const bsodemo::DemoOutbound &demo, std::string &error);

// Gives every flow file of the outbound (and of the zone directories beside it) PerLink lines
// naming files of its own, made under the demo's files directory with sizes of their own and
// "^", "#" and plain lines in turn; the flow files' native paths go to flowFiles.
bool AddBacklog(const bsodemo::DemoOutbound &demo, int perLink, std::vector<std::string> &flowFiles,
                std::string &error);

// What a plain recursive enumeration met.
struct Enumerated {
    size_t directories = 0;
    size_t entries = 0; // every name but "." and "..", each stat-ed
};

// Enumerates the outbound the way the plugin's scan covers it, with opendir/readdir and a
// stat of every entry: the outbound's parent directory (where the zone directories lie), then
// the outbound root and each zone directory beside it with everything below them.
Enumerated EnumerateOutbound(const std::string &outboundNative);

// stat() of each path; returns how many exist.
size_t StatEach(const std::vector<std::string> &nativePaths);

// The native paths of the files that a flow file's lines name (directive characters and
// skipped lines taken out).
std::vector<std::string> FlowFileTargets(const std::string &flowFileNative);

// The native path of the link's flow file in an outbound of one link; "" when there is none.
std::string OnlyFlowFile(const std::string &outboundNative);

// Files and directories below a native path (the path itself not counted).
size_t CountEntriesBelow(const std::string &nativePath);

} // namespace bench

#endif
