#include "scan/nodelist.h"

#include "common/grow_array.h"
#include "common/helpers.h"
#include "scan/health_check.h"
#include "scan/scanner.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

static bool SameText(const char *A, const char *B) {
    for (; *A && *B; ++A, ++B)
        if (tolower(static_cast<unsigned char>(*A)) != tolower(static_cast<unsigned char>(*B)))
            return false;
    return *A == *B;
}

// The day number of "<Base>.nnn", or -1 for any other name.
static int DayNumber(const char *Name, const char *Base, size_t BaseLength) {
    if (strlen(Name) != BaseLength + 4 || Name[BaseLength] != '.') return -1;
    for (size_t i = 0; i < BaseLength; ++i)
        if (tolower(static_cast<unsigned char>(Name[i])) !=
            tolower(static_cast<unsigned char>(Base[i])))
            return -1;
    int day = 0;
    for (int i = 1; i <= 3; ++i) {
        char c = Name[BaseLength + i];
        if (c < '0' || c > '9') return -1;
        day = day * 10 + (c - '0');
    }
    return day;
}

bool ChooseNodelistFile(const char *Configured, char (&Chosen)[MAX_PATH]) {
    Chosen[0] = '\0';
    FileIdentity identity;
    if (GetFileIdentity(Configured, &identity) && identity.Regular) {
        if (strlen(Configured) >= MAX_PATH) return false;
        strcpy(Chosen, Configured);
        return true;
    }
    const char *slash = strrchr(Configured, '\\');
    const char *other = strrchr(Configured, '/');
    if (other > slash) slash = other;
    const char *base = slash ? slash + 1 : Configured;
    size_t folderLength = slash ? static_cast<size_t>(slash - Configured) : 0;
    size_t baseLength = strlen(base);
    if (baseLength == 0 || folderLength + baseLength + 6 > MAX_PATH) return false;
    char pattern[MAX_PATH];
    memcpy(pattern, Configured, folderLength);
    strcpy(pattern + folderLength, slash ? "\\*" : "*");

    int days[2] = {-1, -1}; // the highest of all, the highest below the middle of the year
    char names[2][MAX_PATH];
    bool late = false, early = false;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        int day = DayNumber(found.cFileName, base, baseLength);
        if (day < 0) continue;
        late = late || day > 300;
        early = early || day < 60;
        for (int i = 0; i < 2; ++i)
            if (day > days[i] && (i == 0 || day < 183)) {
                days[i] = day;
                strcpy(names[i], found.cFileName);
            }
    } while (FindNextFileA(search, &found));
    FindClose(search);
    // Both ends of the year: the list of January follows the one of December.
    int pick = late && early ? 1 : 0;
    if (days[pick] < 0 || folderLength + 1 + strlen(names[pick]) >= MAX_PATH) return false;
    memcpy(Chosen, Configured, folderLength);
    Chosen[folderLength] = '\0';
    if (slash) strcat(Chosen, "\\");
    strcat(Chosen, names[pick]);
    // Only a plain file is a list: not a pipe or a device of that name.
    if (GetFileIdentity(Chosen, &identity) && identity.Regular) return true;
    Chosen[0] = '\0';
    return false;
}

// The whole file as text with a zero behind it, or null.
static char *ReadWholeFile(const char *Path, unsigned long long Size) {
    if (Size > 0x7FFFFFF0ull) return nullptr;
    char *text = static_cast<char *>(malloc(static_cast<size_t>(Size) + 1));
    if (!text) return nullptr;
    HANDLE file = CreateFileA(Path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        free(text);
        return nullptr;
    }
    size_t got = 0;
    // A list that shrank meanwhile ends where the file ends; one that grew is read next time.
    while (got < Size) {
        DWORD chunk = 0;
        DWORD want = static_cast<DWORD>(Size - got > 0x100000 ? 0x100000 : Size - got);
        if (!ReadFile(file, text + got, want, &chunk, nullptr)) {
            CloseHandle(file);
            free(text);
            return nullptr;
        }
        if (chunk == 0) break;
        got += chunk;
    }
    CloseHandle(file);
    text[got] = '\0';
    return text;
}

namespace {

// Where the lines of one file stand: the zone and net the last Zone, Region or Host line set,
// the boss of a point list's lines.
struct ListReader {
    Nodelist *List;
    bool Points;
    bool HaveNet;
    uint32_t Zone, Net;
    bool HaveBoss;
    FtnAddress Boss;
    int Capacity;
    int Order;
};

struct KeywordName {
    const char *Name;
    NodeKeyword Keyword;
};

} // namespace

static const KeywordName Keywords[] = {
    {"", KeywordNode},     {"Zone", KeywordZone}, {"Region", KeywordRegion},
    {"Host", KeywordHost}, {"Hub", KeywordHub},   {"Pvt", KeywordPvt},
    {"Hold", KeywordHold}, {"Down", KeywordDown}, {"Point", KeywordPoint},
};

static bool FindKeyword(const char *Text, NodeKeyword *Keyword) {
    for (const KeywordName &k : Keywords)
        if (SameText(Text, k.Name)) {
            *Keyword = k.Keyword;
            return true;
        }
    return false;
}

static void Spaced(char *Field) {
    for (; *Field; ++Field)
        if (*Field == '_') *Field = ' ';
}

static bool AddNode(ListReader *Reader, const NodelistNode &Node) {
    Nodelist *list = Reader->List;
    if (!RoomForOneMore(&list->Nodes, list->Count, &Reader->Capacity, 1024)) return false;
    list->Nodes[list->Count++] = Node;
    return true;
}

enum LineResult { LineBad, LineTaken, LineNoMemory };

// One line, cut into its fields in place. A line that sets no node where one belongs, or names
// a number that is no address part, is bad.
static LineResult TakeLine(ListReader *Reader, char *Line) {
    char *fields[8] = {};
    int count = 0;
    fields[count++] = Line;
    for (char *c = Line; *c && count < 8; ++c)
        if (*c == ',') {
            *c = '\0';
            fields[count++] = c + 1;
        }
    for (int i = 0; i < count; ++i)
        if (strlen(fields[i]) >= NodelistFieldLimit) return LineBad;
    if (Reader->Points && count == 2 && SameText(fields[0], "Boss")) {
        TrimLineEnd(fields[1]);
        FtnAddress boss;
        Reader->HaveBoss = ParseAddress(&boss, fields[1], nullptr) && boss.point == 0;
        if (Reader->HaveBoss) Reader->Boss = boss;
        return Reader->HaveBoss ? LineTaken : LineBad;
    }
    NodeKeyword keyword;
    uint32_t number;
    if (count < 7 || !FindKeyword(fields[0], &keyword) || !ParseAddressField(fields[1], &number) ||
        number > AddressFieldMax)
        return LineBad;
    NodelistNode node = {};
    node.Keyword = keyword;
    if (Reader->Points) {
        if (!Reader->HaveBoss || number == 0 || keyword == KeywordZone ||
            keyword == KeywordRegion || keyword == KeywordHost || keyword == KeywordHub)
            return LineBad;
        node.Address = Reader->Boss;
        node.Address.point = number;
    } else {
        switch (keyword) {
        case KeywordPoint:
            return LineBad;
        case KeywordZone:
            Reader->Zone = Reader->Net = number;
            Reader->HaveNet = true;
            break;
        case KeywordRegion:
        case KeywordHost:
            if (!Reader->HaveNet) return LineBad;
            Reader->Net = number;
            break;
        default:
            if (!Reader->HaveNet) return LineBad;
            break;
        }
        bool coordinator =
            keyword == KeywordZone || keyword == KeywordRegion || keyword == KeywordHost;
        node.Address.zone = Reader->Zone;
        node.Address.net = Reader->Net;
        node.Address.node = coordinator ? 0 : number;
    }
    for (int i = 2; i <= 4; ++i) Spaced(fields[i]);
    node.SystemName = fields[2];
    node.Location = fields[3];
    node.Sysop = fields[4];
    node.Order = Reader->Order++;
    return AddNode(Reader, node) ? LineTaken : LineNoMemory;
}

// Reads the lines of Text: comments (";") and blank lines pass, as does the end-of-file mark
// DOS tools leave.
static bool TakeLines(ListReader *Reader, char *Text, int *BadLines) {
    char *line = Text;
    while (*line) {
        char *end = strchr(line, '\n');
        char *next = end ? end + 1 : line + strlen(line);
        if (end) *end = '\0';
        TrimLineEnd(line);
        if (line[0] == '\x1A' && line[1] == '\0') line[0] = '\0';
        if (line[0] != '\0' && line[0] != ';') {
            LineResult result = TakeLine(Reader, line);
            if (result == LineNoMemory) return false;
            if (result == LineBad) ++*BadLines;
        }
        line = next;
    }
    return true;
}

static int CompareAddresses(const FtnAddress &A, const FtnAddress &B) {
    const uint32_t left[4] = {A.zone, A.net, A.node, A.point};
    const uint32_t right[4] = {B.zone, B.net, B.node, B.point};
    for (int i = 0; i < 4; ++i)
        if (left[i] != right[i]) return left[i] < right[i] ? -1 : 1;
    return 0;
}

static int CompareNodes(const void *A, const void *B) {
    const NodelistNode *a = static_cast<const NodelistNode *>(A);
    const NodelistNode *b = static_cast<const NodelistNode *>(B);
    int order = CompareAddresses(a->Address, b->Address);
    if (order != 0) return order;
    return a->Order < b->Order ? -1 : a->Order > b->Order;
}

void FreeNodelist(Nodelist *List) {
    free(List->Nodes);
    free(List->Text[0]);
    free(List->Text[1]);
    memset(List, 0, sizeof(*List));
}

// Where a setting leads: its file and that file's identity; Source->Read stays false.
static void LocateSource(NodelistSource *Source, const char *Configured) {
    memset(Source, 0, sizeof(*Source));
    size_t length = FittingLength(Configured, MAX_PATH - 1);
    memcpy(Source->Configured, Configured, length);
    Source->Configured[length] = '\0';
    if (Source->Configured[0] && ChooseNodelistFile(Source->Configured, Source->Path))
        GetFileIdentity(Source->Path, &Source->Seen);
}

bool ReadNodelist(Nodelist *List, const char *NodelistPath, const char *PointlistPath) {
    FreeNodelist(List);
    const char *settings[2] = {NodelistPath, PointlistPath};
    ListReader reader = {List, false, false, 0, 0, false, {}, 0, 0};
    for (int i = 0; i < 2; ++i) {
        NodelistSource *source = &List->Lists[i];
        LocateSource(source, settings[i]);
        if (!source->Path[0]) continue;
        List->Text[i] = ReadWholeFile(source->Path, source->Seen.Size);
        if (!List->Text[i]) continue;
        reader.Points = i == PointlistFile;
        reader.HaveNet = reader.HaveBoss = false;
        // Out of memory: no list at all (a half list would call every other node unlisted),
        // and nothing kept, so that the next listing tries again.
        if (!TakeLines(&reader, List->Text[i], &source->BadLines)) {
            FreeNodelist(List);
            return false;
        }
        source->Read = true;
    }
    if (List->Count > 1)
        qsort(List->Nodes, static_cast<size_t>(List->Count), sizeof(NodelistNode), CompareNodes);
    return true;
}

bool RefreshNodelist(Nodelist *List, const char *NodelistPath, const char *PointlistPath) {
    const char *settings[2] = {NodelistPath, PointlistPath};
    bool same = true;
    for (int i = 0; i < 2 && same; ++i) {
        NodelistSource now;
        LocateSource(&now, settings[i]);
        const NodelistSource &kept = List->Lists[i];
        same = strcmp(now.Configured, kept.Configured) == 0 && strcmp(now.Path, kept.Path) == 0 &&
               SameFile(&now.Seen, &kept.Seen) && now.Seen.Size == kept.Seen.Size &&
               now.Seen.WriteTime == kept.Seen.WriteTime;
    }
    return same || ReadNodelist(List, NodelistPath, PointlistPath);
}

const NodelistNode *FindNode(const Nodelist *List, const FtnAddress *Address) {
    // The lowest match: of two lines for one address the first one counts.
    int low = 0, high = List->Count;
    while (low < high) {
        int middle = low + (high - low) / 2;
        if (CompareAddresses(List->Nodes[middle].Address, *Address) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    if (low < List->Count && CompareAddresses(List->Nodes[low].Address, *Address) == 0)
        return &List->Nodes[low];
    return nullptr;
}

NodeStanding JudgeNode(const Nodelist *List, const FtnAddress *Address, const NodelistNode **Node) {
    *Node = nullptr;
    int file = Address->point ? PointlistFile : NodelistFile;
    if (!List->Lists[file].Read) return NodeNotJudged;
    *Node = FindNode(List, Address);
    if (!*Node) return NodeUnlisted;
    if ((*Node)->Keyword == KeywordDown) return NodeDown;
    if ((*Node)->Keyword == KeywordHold) return NodeHeld;
    return NodeListed;
}

int AddNodelistFindings(const Nodelist *List, const OutboundConfig &Config, HealthReport *Report) {
    for (int i = 0; i < 2; ++i) {
        const NodelistSource &source = List->Lists[i];
        if (!source.Read || source.BadLines == 0) continue;
        HealthFinding *finding = AddHealthFinding(Report, HealthNodelistLines, source.Path);
        if (!finding) return 0;
        finding->Size = static_cast<unsigned long long>(source.BadLines);
    }
    if (!List->Lists[NodelistFile].Read && !List->Lists[PointlistFile].Read) return 1;
    ScanResult links;
    FlowCache *cache = nullptr;
    ScanOutbound(Config, "", &cache, &links);
    int done = 1;
    for (int i = 0; i < links.RowCount && done; ++i) {
        const OutboundEntry &row = links.Rows[i];
        FtnAddress address;
        const NodelistNode *node;
        if (row.Status.Oldest == 0 || !ParseAddress(&address, row.Name, nullptr)) continue;
        NodeStanding standing = JudgeNode(List, &address, &node);
        if (standing != NodeDown && standing != NodeUnlisted) continue;
        char text[AddressTextSize];
        HealthFinding *finding =
            AddHealthFinding(Report, standing == NodeDown ? HealthDownNode : HealthUnlistedNode,
                             FormatAddress(&address, text));
        if (!finding) {
            done = 0;
            break;
        }
        finding->Link = address;
        if (node && node->SystemName[0]) {
            finding->LineLength = strlen(node->SystemName);
            finding->Line = static_cast<char *>(malloc(finding->LineLength + 1));
            if (finding->Line) memcpy(finding->Line, node->SystemName, finding->LineLength + 1);
        }
    }
    FreeScanResult(&links);
    FreeFlowCache(&cache);
    return done;
}
