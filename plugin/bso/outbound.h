// The BSO outbound layout: paths of a link's files, the names the scanner accepts, the kinds
// and flavors of outbound files, the busy test and the path helpers used before files are made.
#ifndef BSOPANEL_BSO_OUTBOUND_H
#define BSOPANEL_BSO_OUTBOUND_H

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#include "bso/address.h"
#include "bso/write_outcome.h"

enum EntryKind {
    NoEntryKind = 0,
    Netmail = 1,     // ?UT
    FlowFile = 2,    // ?LO
    BusyFlag = 3,    // BSY
    FileRequest = 4, // REQ
};

enum Flavor {
    NoFlavor = 0,
    Immediate = 1, // I
    Crash = 2,     // C
    Direct = 3,    // D
    Normal = 4,    // F
    Hold = 5,      // H
};

// The flavors in the order the flavor dialogs list them: each one's letter in outbound file
// names and in the panel's flavor strings, and its position in a dialog's radio group (which
// is also how the PollFlavor and AttachFlavor settings name it).
struct FlavorRow {
    Flavor Value;
    char Letter;
    int DialogPosition;
};
const int FlavorCount = 5;
extern const FlavorRow Flavors[FlavorCount];
// The flavor wherever a choice gives none (no button on, a setting out of range).
const Flavor FallbackFlavor = Normal;

// The row of the flavor; FallbackFlavor's for a value outside 1 to 5.
const FlavorRow &FlavorRowOf(int Flavor);
// The flavor at a dialog position among the first Count; FallbackFlavor outside them.
Flavor FlavorAtPosition(int Position, int Count);
// A flavor string with no flavor marked; flavor strings are FlavorStringSize bytes.
extern const char EmptyFlavorString[]; // "....."
const int FlavorStringSize = 6;

// Size of the buffer BuildOutboundPath writes: a built path has at most 255 characters, so a
// base path (empty suffix) plus an extension still fits a MAX_PATH buffer.
const size_t OutboundPathSize = 256;

// Letter case of the names the plugin creates in the outbound. Windows keeps the layout's
// upper case. On Linux the mailer (binkd) creates and opens lower-case names only, so a point
// or zone directory made in upper case would never be found by it.
enum OutboundNameCase { UpperCaseNames, LowerCaseNames };
#ifdef _WIN32
const OutboundNameCase OutboundCase = UpperCaseNames;
#else
const OutboundNameCase OutboundCase = LowerCaseNames;
#endif

// Writes the path of the address under root into buffer (OutboundPathSize bytes), followed by
// suffix, and returns buffer. The zone directory "root.ZZZ" is used when the address's zone
// differs from own's (only own->zone is read); then "\NNNNnnnn" (net and node), then
// ".PNT\PPPPPPPP" for a point; all hexadecimal, in OutboundCase, as is the suffix (".BSY",
// ".REQ", ".CLO", "" for the base path): pass outbound suffixes here rather than appending them,
// so they get the platform's case. Returns null, with buffer holding "", when the path does not
// fit; nothing is written past the buffer.
char *BuildOutboundPath(const FtnAddress *Address, char *Buffer, const char *Root,
                        const char *Suffix, const FtnAddress *Own);
// The same with the buffer's size and the letter case given.
char *BuildOutboundPathInCase(const FtnAddress *Address, char *Buffer, size_t BufferSize,
                              const char *Root, const char *Suffix, const FtnAddress *Own,
                              OutboundNameCase NameCase);

// Classifies an outbound file by its extension, which points at the dot (".CLO"; a text that
// does not start with a dot is refused). Only three-character extensions match, in
// any case: ?UT netmail, ?LO flow file (flavor letters I C D F/N H for flow, I C D O/N H for
// netmail), BSY busy flag and REQ file request (both flavor 4). Sets *Kind and *FileFlavor, each 0
// where nothing matched (".BLO" gives FlowFile and flavor 0), and returns 1 when both are
// non-zero, else 0.
int ClassifyOutboundFile(const char *Extension, EntryKind *Kind, Flavor *FileFlavor);

// Sets the letter of flavor at its position in the flavor string (for example "..D.."); does
// nothing for a flavor outside 1 to 5.
void MarkFlavor(char *FlavorString, int Flavor);

// What every outbound function works on: the outbound of the own zone (no trailing backslash;
// empty when none is set) and the own address, whose zone lies in Root itself. Filled once per
// command or listing, so that the own address is parsed once.
struct OutboundConfig {
    char Root[256];
    FtnAddress Own;
};

// 1 when the busy flag (".BSY", any case) of the address exists in the outbound, else 0; any
// failure counts as not busy.
int IsLinkBusy(const OutboundConfig &Config, const FtnAddress *Address);

// A link's own busy flag, taken by a command for the time it writes the link's files. The
// mailer leaves a link alone while its flag exists (it neither calls it nor answers it), so
// it cannot start a session and rewrite a flow file between the busy test and the write.
struct LinkLock {
    char Path[OutboundPathSize]; // the flag's path while Held
    bool Held;
};

// Done when the busy flag of the address (".BSY" in the outbound, in OutboundCase: on Linux
// binkd respects only the lower-case name) was made, exclusively, its directory first when
// missing: the flag is the caller's until UnlockLink. Busy when a flag of the link exists
// already (in any case); Failed when none could be made. Sets *lock (Held only when Done).
WriteOutcome LockLink(const OutboundConfig &Config, const FtnAddress *Address, LinkLock *Lock);

// Done when no flag of the lock is left (a lock not held at once): the held flag is removed,
// trying a few times, and Held cleared. Failed when it could not be removed (Path still names
// it).
WriteOutcome UnlockLink(LinkLock *Lock);

// Net (bits 16 to 31) and node (bits 0 to 15) of the 32-bit number of a node file name.
void SplitNodeNumber(uint32_t Value, uint32_t *Net, uint32_t *Node);

// Cuts the path in place after its last "\" (or "/") and returns it: "D:\OUT\006400C8.FLO"
// gives "D:\OUT\". A path without one becomes "".
char *DirectoryPart(char *Path);

// Makes the path (a MAX_PATH buffer) absolute and removes ".." components, in place: a missing
// drive is the current drive, a relative directory is taken from the current directory of the
// drive; "\A\B\..\C\" becomes "\A\C\", ".." at the root stays at the root, "." components stay.
// A UNC path ("\\server\share\...") keeps its server and share as its root. Returns path, or
// null (path unchanged) when the result would not fit.
char *NormalizePath(char *Path);

// One form for every path, so that a flow line and a folder entry compare: "\" between
// components (a "/" turned into one), NormalizePath applied. False when it does not fit.
bool ComparablePath(const char *Path, char (&Buffer)[MAX_PATH]);

// The path as the platform's own programs name it, which is how the plugin writes a file into a
// flow line: on Linux the POSIX path ("Z:\\home\\me\\x.zip" and "/home/me/x.zip" both give
// "/home/me/x.zip"), each component in the case the file system has it; on Windows the path as
// it is. False, with buffer "", when it does not fit in size bytes.
bool NativePath(const char *Path, char *Buffer, size_t Size);

// The directory part of a row's name ("...\\" up to its last separator, a MAX_PATH buffer) as the
// platform shows it, in place: on Linux its native path and a "/"; on Windows in upper case, as
// the host shows names. Left as it is where it cannot be converted.
void ShownDirectory(char *Directory);

// Done when the directory that is to hold the file named by Path exists afterwards: missing
// parents are made outermost first, and an existing file of the directory's name counts.
// Failed when a creation failed or the path is too long.
WriteOutcome EnsureDirectory(const char *Path);

// Name checks for directory entries the scanner meets. Each returns 1 when the entry passes
// and then sets the out-parameters that are not null, else 0.
//
// True when Name is eight hex digits, a dot and three characters ("0001000A.OUT", "0064000a.pnt"):
// *Number the digits.
bool ReadNodeName(const char *Name, uint32_t *Number);
// Node file: not a directory; exactly eight hex digits, a dot and an extension that
// ClassifyOutboundFile accepts ("0001000A.OUT", "0001000a.out"). *number: the eight digits.
int IsNodeFileEntry(const WIN32_FIND_DATAA *Entry, EntryKind *Kind, Flavor *FileFlavor,
                    uint32_t *Number);
// The eight digits last read from a name of a folder and their number: a folder lists a link's
// files one after another, and their names start alike. Start it zeroed.
struct NodeDigits {
    char Digits[8];
    uint32_t Number;
    bool Known;
};
// The same for the entries of one folder in turn: a name that starts with the digits Last holds
// is not read again; Last takes the digits of a name that it did not hold.
int IsNodeFileEntry(const WIN32_FIND_DATAA *Entry, EntryKind *Kind, Flavor *FileFlavor,
                    uint32_t *Number, NodeDigits *Last);
// Point directory: a directory named eight hex digits and ".PNT", any case. *number: the digits.
int IsPointDirectoryEntry(const WIN32_FIND_DATAA *Entry, uint32_t *Number);
// Zone directory: a directory whose name has exactly three hex digits behind its first dot
// ("OUT.00A" is zone 10), or four for a zone from 4096 up ("OUT.1000"). *zone: that number.
int IsZoneDirectoryEntry(const WIN32_FIND_DATAA *Entry, uint32_t *Zone);
// A folder of the outbound as the walk hands it on: its path, the zone its files belong to, and
// for a point folder the net and node its eight digits give (bits as in SplitNodeNumber).
struct OutboundFolder {
    const char *Path;
    uint32_t Zone;
    bool InRoot; // the outbound itself (the own zone) or a point folder in it
    bool IsPointFolder;
    uint32_t Node;
};
typedef bool (*OutboundFolderVisitor)(const OutboundFolder &Folder, void *Context);

// The one walk of the outbound's folders: Root (the own zone) first, then every zone folder
// beside it with three or four hex digits ("OUT.003", "OUT.1000"; the own zone's and zone 0 too:
// the caller decides about them), each followed by its point folders when WithPointFolders.
// Stops as soon as Visit returns false, and returns false then.
bool WalkOutboundFolders(const char *Root, uint32_t OwnZone, bool WithPointFolders,
                         OutboundFolderVisitor Visit, void *Context);
template <typename Visitor>
bool WalkOutbound(const char *Root, uint32_t OwnZone, bool WithPointFolders, Visitor &Visit) {
    return WalkOutboundFolders(
        Root, OwnZone, WithPointFolders,
        [](const OutboundFolder &Folder, void *Context) {
            return (*static_cast<Visitor *>(Context))(Folder);
        },
        &Visit);
}

// File of one link (found by the link's base path and ".???"): not a directory, a four-
// character extension with the dot at the first dot, accepted by ClassifyOutboundFile.
int IsLinkFileEntry(const WIN32_FIND_DATAA *Entry, EntryKind *Kind, Flavor *FileFlavor);

// Whether the link (its base path, as BuildOutboundPath gives it with no suffix) has a packet or
// flow file of a flavor that makes the mailer call it: any but hold. A request file or
// hold-flavored items alone wait until a call happens for another reason.
bool LinkQueueMakesCall(const char *BasePath);

#endif
