// What a failed write may and may not leave in the outbound. A run with a fault is compared
// with the tree before the command ("before") and with the tree the same command leaves when
// nothing fails ("success"). A file is damaged when after the faulty run:
//
// - it is neither as before nor as on success, and is not made of whole CR LF lines each of
//   which is a line of one of the two (a cut line, a line run into another, stray bytes);
// - it existed both before and on success and is gone, or it is in neither and is there (a
//   temporary file, a busy flag, an empty flow file that would be a poll); directories the
//   command made for nothing may stay when they are empty;
// - it is a flow file and an entry is queued fewer times than in both, or more times than in
//   both, of the two trees (a lost or a doubled entry).
#ifndef BSOPANEL_TESTS_FAULTS_OUTBOUND_DAMAGE_H
#define BSOPANEL_TESTS_FAULTS_OUTBOUND_DAMAGE_H

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The files and directories below root whose first component starts with one of the
// prefixes ("out" takes the outbound and its zone directories): relative path ("/" as the
// separator) to the bytes of a file, or nullopt for a directory.
using TreeSnapshot = std::map<std::string, std::optional<std::string>>;
TreeSnapshot TakeSnapshot(const std::filesystem::path &root,
                          const std::vector<std::string> &prefixes);

// One line for each damaged file, saying what is wrong; empty when nothing is. Paths in
// `ignored` (relative, as in the snapshots) are the test's own doing and are passed over.
std::vector<std::string> FindDamage(const TreeSnapshot &before, const TreeSnapshot &success,
                                    const TreeSnapshot &after,
                                    const std::set<std::string> &ignored = {});

// For commands that only append to flow files: one line for each flow file that is not its
// bytes before followed by whole lines of those the command appends on success, in order (each
// failed append left the file exactly as it was: no fragment, no line end added alone, no
// empty flow file made for nothing).
std::vector<std::string> FindAppendDamage(const TreeSnapshot &before, const TreeSnapshot &success,
                                          const TreeSnapshot &after);

// The differences between two snapshots, for failure messages.
std::string DescribeDifference(const TreeSnapshot &expected, const TreeSnapshot &actual);

#endif
