// Demo outbounds: a small hand-made one for the newcomer's first look (panelhost --demo) and
// for end-to-end tests, and large generated ones for benchmarks.
//
// The tree is laid out the way a mailer and a tosser leave it: names in the platform's mailer
// case (lower case on Linux, where binkd makes and opens only lower-case names; upper case on
// Windows), flow files with CR LF lines naming real files by their Win32 paths ("Z:\..." on
// Linux), netmail packets that start with a real type-2+ packet header.
//
//   bsodemo::DemoOutbound demo;
//   std::string error;
//   if (!bsodemo::BuildDemoOutbound("/tmp/x", demo, error)) ...
//   // settings: PathToOutbound = demo.outboundWin32, Address = demo.ownAddress
#ifndef BSOPANEL_HOST_DEMO_OUTBOUND_H
#define BSOPANEL_HOST_DEMO_OUTBOUND_H

#include <string>
#include <vector>

namespace bsodemo {

// One link row the panel shows at its root for the outbound built.
struct DemoLink {
    std::string address; // as the panel names it: "2:5020/1.0"
    std::string busy;    // "*" or ""
    std::string request; // "*" or ""
    std::string netmail; // flavor string of its netmail packets, "....." when none
    std::string flow;    // flavor string of its flow files
};

struct DemoOutbound {
    std::string directory;       // native path of the directory the tree was built in
    std::string outbound;        // native path of the outbound root ("<directory>/out")
    std::string outboundWin32;   // the same in Win32 form, for PathToOutbound
    std::string files;           // native path of the directory of the attached files
    std::string ownAddress;      // the own address the tree is laid out for ("2:5020/1000")
    std::vector<DemoLink> links; // every link row, sorted by address
    // Names (without directory) of files that flow files name and that do not exist.
    std::vector<std::string> missingFiles;
    // Win32 forms for NodelistPath and PointlistPath: base names of day-numbered files (the
    // demo's nodelist names every link but zone 3, marks 2:463/68 Down and 2:5020/3 Hold).
    std::string nodelistWin32, pointlistWin32;
};

// Builds the demo outbound in `directory` (made when missing; it should be empty): links in
// the own zone 2, in zones 1 and 3, points, every netmail and flow flavor, a busy link, a file
// request, flow files with plain, "^", "#" and "~" lines naming small real files, one line
// naming a file that does not exist, and netmail packets. False with `error` saying why.
bool BuildDemoOutbound(const std::string &directory, DemoOutbound &demo, std::string &error);

// The shape of a large generated outbound.
struct LargeOutboundShape {
    int links = 1000;     // link rows in all
    int zones = 4;        // spread over this many zones, the own zone 2 among them
    int pointEvery = 5;   // every n-th link is a point of a node (0: no points)
    int filesPerLink = 3; // lines in each link's flow file, each naming a real file
    int busyEvery = 50;   // every n-th link is busy (0: none)
};

// Builds a large outbound in `directory` for benchmarks: `links` distinct link rows, each with
// a flow file of `filesPerLink` lines (the named files exist; they are shared between links)
// and, for every other link, a netmail packet. demo.links lists them all.
bool BuildLargeOutbound(const std::string &directory, const LargeOutboundShape &shape,
                        DemoOutbound &demo, std::string &error);

// The Win32 form of a native path: "Z:\a\b" for "/a/b" on POSIX (drive Z: is "/"), the path
// itself on Windows.
std::string Win32Form(const std::string &nativePath);

} // namespace bsodemo

#endif
