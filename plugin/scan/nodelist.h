// The nodelist and point list: who a link is (system name, sysop, location) and whether the
// list marks it Down or Hold. Read into an index by address, kept between listings and read
// again only when the file changed. No host calls: the panel and the commands say what they
// find.
#ifndef BSOPANEL_SCAN_NODELIST_H
#define BSOPANEL_SCAN_NODELIST_H

#include "bso/address.h"
#include "bso/text_file.h"

#include <windows.h>

#include <stddef.h>

// The keyword a line starts with; an empty one is a plain node.
enum NodeKeyword {
    KeywordNode,
    KeywordZone,
    KeywordRegion,
    KeywordHost,
    KeywordHub,
    KeywordPvt,
    KeywordHold,
    KeywordDown,
    KeywordPoint,
};

struct NodelistNode {
    FtnAddress Address;
    NodeKeyword Keyword;
    // Underscores already turned into spaces; they point into the list's text block.
    const char *SystemName;
    const char *Location;
    const char *Sysop;
    int Order; // the line's place in its file, so that the first of two alike lines wins
};

// One file as it was read: its name and identity, to tell whether it changed.
struct NodelistSource {
    char Configured[MAX_PATH]; // the setting as given
    char Path[MAX_PATH];       // the file chosen (the newest day file for a base name)
    FileIdentity Seen;
    bool Read;    // the file was found and read
    int BadLines; // lines skipped because they do not parse
};

struct Nodelist {
    NodelistNode *Nodes; // sorted by address
    int Count;
    char *Text[2];           // the files' text, which the nodes' strings point into
    NodelistSource Lists[2]; // the nodelist, the point list
};

enum { NodelistFile = 0, PointlistFile = 1 };

// A longer field makes its line a bad one: no published list has one that long.
const size_t NodelistFieldLimit = 128;

// The file a setting names: the path itself when it is a plain file; else, read as a base name
// ("C:\FIDO\NODELIST\NODELIST"), the "NODELIST.nnn" beside it (base name in any case, three
// digits) with the newest day number. Day numbers run through the year: when both ends of the
// year are there (one above 300, one below 60), the low ones are the new year's. False when
// there is none or the name does not fit MAX_PATH (Chosen is then empty).
bool ChooseNodelistFile(const char *Configured, char (&Chosen)[MAX_PATH]);

// Brings List up to date with the two settings (either may be empty: none). A file whose
// chosen name, identity, size and write time are unchanged is not read again. Returns false
// when memory ran out (List then holds no nodes).
bool RefreshNodelist(Nodelist *List, const char *NodelistPath, const char *PointlistPath);

// Reads the two files into List anew, whatever was kept.
bool ReadNodelist(Nodelist *List, const char *NodelistPath, const char *PointlistPath);

void FreeNodelist(Nodelist *List);

// What the lists say about one address.
enum NodeStanding {
    NodeNotJudged, // no list for it: no nodelist read, or a point with no point list read
    NodeListed,
    NodeHeld,     // listed Hold
    NodeDown,     // listed Down
    NodeUnlisted, // a list was read and does not hold it
};

// The entry of Address, or null. A point is looked up in the point list only.
const NodelistNode *FindNode(const Nodelist *List, const FtnAddress *Address);
NodeStanding JudgeNode(const Nodelist *List, const FtnAddress *Address, const NodelistNode **Node);

struct HealthReport;
struct OutboundConfig;
// The health check's findings from the lists: each link of the outbound at Config with
// something waiting that the lists mark Down or do not hold (Line: the system name, if any),
// and each list with lines it skipped. 0 when memory ran out (what was found is kept).
int AddNodelistFindings(const Nodelist *List, const OutboundConfig &Config, HealthReport *Report);

#endif
