#include "bso/outbound.h"

#include <gtest/gtest.h>

#include <ctype.h>
#include <string.h>

#include <string>

#include "bso/text_file.h"
#include "file_faults.h"
#include "temp_dir.h"
#include "test_files.h"

namespace {

const FtnAddress OwnZone2 = {2, 5020, 1000, 0};

FtnAddress Address(const char *text) {
    FtnAddress address;
    EXPECT_EQ(ParseAddress(&address, text, nullptr), 1) << text;
    return address;
}

std::string PathInCase(const FtnAddress &link, const char *suffix, OutboundNameCase nameCase) {
    char buffer[OutboundPathSize];
    if (!BuildOutboundPathInCase(&link, buffer, sizeof buffer, "D:\\FIDO\\OUT", suffix, &OwnZone2,
                                 nameCase))
        return "(none)";
    return buffer;
}

struct PathRow {
    FtnAddress address;
    const char *suffix;
    const char *upper;
    const char *lower;
};

// Root D:\FIDO\OUT, own zone 2. Records, since names can hold numbers that text cannot.
const PathRow PathTable[] = {
    {{2, 100, 200, 0}, "", "D:\\FIDO\\OUT\\006400C8", "D:\\FIDO\\OUT\\006400c8"},
    {{3, 100, 200, 0}, "", "D:\\FIDO\\OUT.003\\006400C8", "D:\\FIDO\\OUT.003\\006400c8"},
    {{2, 100, 200, 5},
     "",
     "D:\\FIDO\\OUT\\006400C8.PNT\\00000005",
     "D:\\FIDO\\OUT\\006400c8.pnt\\00000005"},
    {{1, 65535, 65535, 300},
     "",
     "D:\\FIDO\\OUT.001\\FFFFFFFF.PNT\\0000012C",
     "D:\\FIDO\\OUT.001\\ffffffff.pnt\\0000012c"},
    {{2, 100, 200, 10},
     ".CLO",
     "D:\\FIDO\\OUT\\006400C8.PNT\\0000000A.CLO",
     "D:\\FIDO\\OUT\\006400c8.pnt\\0000000a.clo"},
    {{10, 1, 10, 0}, ".BSY", "D:\\FIDO\\OUT.00A\\0001000A.BSY", "D:\\FIDO\\OUT.00a\\0001000a.bsy"},
    {{4095, 100, 200, 0},
     ".REQ",
     "D:\\FIDO\\OUT.FFF\\006400C8.REQ",
     "D:\\FIDO\\OUT.fff\\006400c8.req"},
    {{4096, 100, 200, 0},
     ".CLO",
     "D:\\FIDO\\OUT.1000\\006400C8.CLO",
     "D:\\FIDO\\OUT.1000\\006400c8.clo"},
    {{65535, 65535, 65535, 65535},
     "",
     "D:\\FIDO\\OUT.FFFF\\FFFFFFFF.PNT\\0000FFFF",
     "D:\\FIDO\\OUT.ffff\\ffffffff.pnt\\0000ffff"},
    {{2, 100, 200, 0}, ".flo", "D:\\FIDO\\OUT\\006400C8.FLO", "D:\\FIDO\\OUT\\006400c8.flo"},
    {{0, 0, 0, 0}, "", "D:\\FIDO\\OUT.000\\00000000", "D:\\FIDO\\OUT.000\\00000000"},
    {{2, 0, 0, 4294967295u},
     ".HLO",
     "D:\\FIDO\\OUT\\00000000.PNT\\FFFFFFFF.HLO",
     "D:\\FIDO\\OUT\\00000000.pnt\\ffffffff.hlo"},
};

TEST(BuildOutboundPath, ExamplesInBothCases) {
    for (const PathRow &row : PathTable) {
        EXPECT_EQ(PathInCase(row.address, row.suffix, UpperCaseNames), row.upper) << row.upper;
        EXPECT_EQ(PathInCase(row.address, row.suffix, LowerCaseNames), row.lower) << row.lower;
    }
}

// The product has one switch: upper case on Windows, lower case elsewhere; the root is kept.
TEST(BuildOutboundPath, ProductUsesThePlatformsCase) {
    FtnAddress link = Address("10:100/200.10");
    char buffer[OutboundPathSize];
    ASSERT_NE(BuildOutboundPath(&link, buffer, "D:\\Fido\\Out", ".CLO", &OwnZone2), nullptr);
#ifdef _WIN32
    EXPECT_STREQ(buffer, "D:\\Fido\\Out.00A\\006400C8.PNT\\0000000A.CLO");
#else
    EXPECT_STREQ(buffer, "D:\\Fido\\Out.00a\\006400c8.pnt\\0000000a.clo");
#endif
}

TEST(BuildOutboundPath, OnlyTheOwnZoneIsRead) {
    FtnAddress link = Address("2:100/200");
    FtnAddress own = {2, 1, 2, 3};
    char buffer[OutboundPathSize];
    BuildOutboundPathInCase(&link, buffer, sizeof buffer, "R", "", &own, UpperCaseNames);
    EXPECT_STREQ(buffer, "R\\006400C8");
}

// A root too long for the path: nothing is built, nothing is written past the buffer, and
// the caller sees null and an empty text.
TEST(BuildOutboundPath, PathThatDoesNotFitIsNotBuilt) {
    FtnAddress point = Address("3:100/200.5");
    // ".003" + "\006400C8" + ".PNT\00000005" + ".BSY": 30 characters behind the root.
    std::string root = "D:\\" + std::string(222, 'R');
    char buffer[OutboundPathSize + 16];
    memset(buffer, '#', sizeof buffer);
    ASSERT_NE(BuildOutboundPath(&point, buffer, root.c_str(), ".BSY", &OwnZone2), nullptr);
    EXPECT_EQ(strlen(buffer), 255u);

    root += "R";
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(BuildOutboundPath(&point, buffer, root.c_str(), ".BSY", &OwnZone2), nullptr);
    EXPECT_STREQ(buffer, "");
    for (size_t i = OutboundPathSize; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << i;

    // The longest root the settings hold (254 characters).
    std::string longest = "D:\\" + std::string(251, 'R');
    EXPECT_EQ(BuildOutboundPath(&point, buffer, longest.c_str(), "", &OwnZone2), nullptr);
}

TEST(BuildOutboundPath, EveryBufferSizeIsRespected) {
    FtnAddress point = Address("3:100/200.5");
    const std::string whole = "R.003\\006400C8.PNT\\00000005.BSY";
    for (size_t size = 1; size <= whole.size() + 1; ++size) {
        char buffer[64];
        memset(buffer, '#', sizeof buffer);
        char *built =
            BuildOutboundPathInCase(&point, buffer, size, "R", ".BSY", &OwnZone2, UpperCaseNames);
        if (size <= whole.size()) {
            EXPECT_EQ(built, nullptr) << size;
            EXPECT_EQ(buffer[0], '\0') << size;
        } else {
            EXPECT_EQ(std::string(buffer), whole);
        }
        for (size_t i = size; i < sizeof buffer; ++i) ASSERT_EQ(buffer[i], '#') << size;
    }
}

struct ClassifyRow {
    const char *extension;
    int result;
    EntryKind kind;
    Flavor flavor;
};

const ClassifyRow ClassifyTable[] = {
    {".REQ", 1, FileRequest, Normal},    {".BSY", 1, BusyFlag, Normal},
    {".ILO", 1, FlowFile, Immediate},    {".CLO", 1, FlowFile, Crash},
    {".DLO", 1, FlowFile, Direct},       {".FLO", 1, FlowFile, Normal},
    {".NLO", 1, FlowFile, Normal},       {".HLO", 1, FlowFile, Hold},
    {".IUT", 1, Netmail, Immediate},     {".CUT", 1, Netmail, Crash},
    {".DUT", 1, Netmail, Direct},        {".OUT", 1, Netmail, Normal},
    {".NUT", 1, Netmail, Normal},        {".HUT", 1, Netmail, Hold},
    {".out", 1, Netmail, Normal},        {".Flo", 1, FlowFile, Normal},
    {".req", 1, FileRequest, Normal},    {".bsy", 1, BusyFlag, Normal},
    {".hLo", 1, FlowFile, Hold},         {".iuT", 1, Netmail, Immediate},
    {".OLO", 0, FlowFile, NoFlavor},     {".FUT", 0, Netmail, NoFlavor},
    {".XLO", 0, FlowFile, NoFlavor},     {".BLO", 0, FlowFile, NoFlavor},
    {".BSYX", 0, NoEntryKind, NoFlavor}, {".REQ.", 0, NoEntryKind, NoFlavor},
    {".LO", 0, NoEntryKind, NoFlavor},   {".CLOX", 0, NoEntryKind, NoFlavor},
    {".TXT", 0, NoEntryKind, NoFlavor},  {".", 0, NoEntryKind, NoFlavor},
    {"", 0, NoEntryKind, NoFlavor},      {"FLO", 0, NoEntryKind, NoFlavor},
    {"XCLO", 0, NoEntryKind, NoFlavor},
};

TEST(ClassifyOutboundFile, EveryExtension) {
    for (const ClassifyRow &row : ClassifyTable) {
        EntryKind kind = BusyFlag;
        Flavor flavor = Hold;
        EXPECT_EQ(ClassifyOutboundFile(row.extension, &kind, &flavor), row.result) << row.extension;
        EXPECT_EQ(kind, row.kind) << row.extension;
        EXPECT_EQ(flavor, row.flavor) << row.extension;
    }
    EntryKind kind;
    Flavor flavor;
    EXPECT_EQ(ClassifyOutboundFile(nullptr, &kind, &flavor), 0);
}

TEST(MarkFlavor, LettersAtTheirPositions) {
    char flavors[FlavorStringSize];
    memcpy(flavors, EmptyFlavorString, FlavorStringSize);
    MarkFlavor(flavors, Immediate);
    MarkFlavor(flavors, Direct);
    MarkFlavor(flavors, Hold);
    MarkFlavor(flavors, Hold);
    EXPECT_STREQ(flavors, "I.D.H");
    MarkFlavor(flavors, NoFlavor);
    MarkFlavor(flavors, 6);
    MarkFlavor(flavors, -1);
    EXPECT_STREQ(flavors, "I.D.H");
    MarkFlavor(flavors, Crash);
    MarkFlavor(flavors, Normal);
    EXPECT_STREQ(flavors, "ICDFH");
}

WIN32_FIND_DATAA Entry(const char *name, bool directory) {
    WIN32_FIND_DATAA entry;
    memset(&entry, 0, sizeof entry);
    entry.dwFileAttributes = directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    snprintf(entry.cFileName, sizeof entry.cFileName, "%s", name);
    return entry;
}

TEST(NameChecks, NodeFiles) {
    struct {
        const char *name;
        bool directory;
        int result;
        uint32_t number;
    } const rows[] = {
        {"0001000A.OUT", false, 1, 0x1000A},
        {"0001000a.out", false, 1, 0x1000A},
        {"006400C8.CLO", false, 1, 0x6400C8},
        {"FFFFFFFF.bsy", false, 1, 0xFFFFFFFF},
        {"1000A.OUT", false, 0, 0},
        {"0001000A.OU", false, 0, 0},
        {"0001000A.OUT.BAK", false, 0, 0},
        {"G001000A.OUT", false, 0, 0},
        {"006400C8.OUT", true, 0, 0},
        {"006400C8.TXT", false, 0, 0},
        {"6400C8.OUT", false, 0, 0},
        {"0x01000A.OUT", false, 0, 0},
        {" 001000A.OUT", false, 0, 0},
        {"0001000AB.OUT", false, 0, 0},
        {"0001000A.BLO", false, 0, 0},
        {"0001000A_OUT", false, 0, 0},
        {"89ABCDEF.out", false, 1, 0x89ABCDEF},
        {"0001000/.OUT", false, 0, 0},
        {"0001000:.OUT", false, 0, 0},
        {"0001000@.OUT", false, 0, 0},
        {"0001000G.OUT", false, 0, 0},
        {"0001000`.OUT", false, 0, 0},
        {"g001000a.OUT", false, 0, 0},
        {"0001000\xC1.OUT", false, 0, 0},
    };
    for (const auto &row : rows) {
        WIN32_FIND_DATAA entry = Entry(row.name, row.directory);
        EntryKind kind = NoEntryKind;
        Flavor flavor = NoFlavor;
        uint32_t number = 0;
        EXPECT_EQ(IsNodeFileEntry(&entry, &kind, &flavor, &number), row.result) << row.name;
        EXPECT_EQ(number, row.number) << row.name;
        // After a name whose digits it shares, or after one whose it does not.
        for (const char *before : {"0001000A.FLO", "0064000C.OUT"}) {
            WIN32_FIND_DATAA first = Entry(before, false);
            NodeDigits digits = {};
            uint32_t again = 0;
            ASSERT_EQ(IsNodeFileEntry(&first, nullptr, nullptr, nullptr, &digits), 1);
            EXPECT_EQ(IsNodeFileEntry(&entry, &kind, &flavor, &again, &digits), row.result)
                << before << ", " << row.name;
            EXPECT_EQ(again, row.number) << before << ", " << row.name;
        }
    }
    WIN32_FIND_DATAA entry = Entry("0001000A.OUT", false);
    EntryKind kind;
    Flavor flavor;
    uint32_t number, net, node;
    ASSERT_EQ(IsNodeFileEntry(&entry, &kind, &flavor, &number), 1);
    EXPECT_EQ(kind, Netmail);
    EXPECT_EQ(flavor, Normal);
    SplitNodeNumber(number, &net, &node);
    EXPECT_EQ(net, 1u);
    EXPECT_EQ(node, 10u);
    EXPECT_EQ(IsNodeFileEntry(&entry, nullptr, nullptr, nullptr), 1);
}

TEST(NameChecks, PointDirectories) {
    struct {
        const char *name;
        bool directory;
        int result;
        uint32_t number;
    } const rows[] = {
        {"006400C8.PNT", true, 1, 0x6400C8}, {"006400c8.pnt", true, 1, 0x6400C8},
        {"006400C8.PNT", false, 0, 0},       {"6400C8.PNT", true, 0, 0},
        {"006400C8.PN", true, 0, 0},         {"006400C8.PNTX", true, 0, 0},
        {"006400CX.PNT", true, 0, 0},        {"006400C8.OUT", true, 0, 0},
    };
    for (const auto &row : rows) {
        WIN32_FIND_DATAA entry = Entry(row.name, row.directory);
        uint32_t number = 0;
        EXPECT_EQ(IsPointDirectoryEntry(&entry, &number), row.result) << row.name;
        EXPECT_EQ(number, row.number) << row.name;
    }
}

TEST(NameChecks, ZoneDirectories) {
    struct {
        const char *name;
        bool directory;
        int result;
        uint32_t zone;
    } const rows[] = {
        {"OUT.00A", true, 1, 10},
        {"out.fff", true, 1, 4095},
        {"OUT.003", true, 1, 3},
        {"OUT.A", true, 0, 0},
        {"OUT.XYZ", true, 0, 0},
        {"OUT.003", false, 0, 0},
        {"OUT", true, 0, 0},
        {"OUT.0003", true, 0, 0},
        {"A.B.003", true, 0, 0},
        {"OUT.00 ", true, 0, 0},
        // Zones from 4096 up have four digits; fewer is a second spelling of a lower zone.
        {"out.1000", true, 1, 4096},
        {"OUT.FFFF", true, 1, 65535},
        {"out.0fff", true, 0, 0},
        {"OUT.10000", true, 0, 0},
        {"OUT.1000", false, 0, 0},
        {"OUT.100G", true, 0, 0},
    };
    for (const auto &row : rows) {
        WIN32_FIND_DATAA entry = Entry(row.name, row.directory);
        uint32_t zone = 0;
        EXPECT_EQ(IsZoneDirectoryEntry(&entry, &zone), row.result) << row.name;
        EXPECT_EQ(zone, row.zone) << row.name;
    }
}

TEST(NameChecks, FilesOfOneLink) {
    struct {
        const char *name;
        bool directory;
        int result;
        EntryKind kind;
    } const rows[] = {
        {"006400C8.CLO", false, 1, FlowFile},    {"006400c8.req", false, 1, FileRequest},
        {"anything.hut", false, 1, Netmail},     {"006400C8.CLO", true, 0, NoEntryKind},
        {"006400C8.TXT", false, 0, NoEntryKind}, {"006400C8.CLO.BAK", false, 0, NoEntryKind},
        {"006400C8", false, 0, NoEntryKind},     {"006400C8.BSYX", false, 0, NoEntryKind},
    };
    for (const auto &row : rows) {
        WIN32_FIND_DATAA entry = Entry(row.name, row.directory);
        EntryKind kind = NoEntryKind;
        Flavor flavor = NoFlavor;
        EXPECT_EQ(IsLinkFileEntry(&entry, &kind, &flavor), row.result) << row.name;
        EXPECT_EQ(kind, row.kind) << row.name;
    }
}

TEST(DirectoryPart, CutsAfterTheLastSeparator) {
    struct {
        const char *path;
        const char *directory;
    } const rows[] = {
        {"FILE.ZIP", ""},
        {"D:\\IN\\FILE.ZIP", "D:\\IN\\"},
        {"D:\\OUT\\006400C8.FLO", "D:\\OUT\\"},
        {"D:\\IN\\", "D:\\IN\\"},
        {"D:/IN/FILE.ZIP", "D:/IN/"},
        {"", ""},
    };
    for (const auto &row : rows) {
        char path[MAX_PATH];
        snprintf(path, sizeof path, "%s", row.path);
        EXPECT_STREQ(DirectoryPart(path), row.directory) << row.path;
        EXPECT_STREQ(path, row.directory);
    }
}

TEST(NormalizePath, RemovesParentComponentsAndKeepsTheRest) {
    struct {
        const char *path;
        const char *normalized;
    } const rows[] = {
        {"D:\\A\\B\\..\\C\\F.TXT", "D:\\A\\C\\F.TXT"},
        {"D:\\A\\.\\B\\F.TXT", "D:\\A\\.\\B\\F.TXT"},
        {"D:\\..\\F.TXT", "D:\\F.TXT"},
        {"D:\\A\\..\\..\\..\\F.TXT", "D:\\F.TXT"},
        {"D:\\A..\\..B\\...\\F.TXT", "D:\\A..\\..B\\...\\F.TXT"},
        {"D:\\A\\B\\..", "D:\\A\\B\\.."},
        {"D:\\A\\B\\..\\..\\", "D:\\"},
        {"D:\\FIDO\\OUT\\006400C8.FLO", "D:\\FIDO\\OUT\\006400C8.FLO"},
        {"D:/A/B/../C/F.TXT", "D:/A/C/F.TXT"},
        {"\\\\server\\share\\a\\..\\b.txt", "\\\\server\\share\\b.txt"},
        {"\\\\server\\share\\..\\..\\b.txt", "\\\\server\\share\\b.txt"},
    };
    for (const auto &row : rows) {
        char path[MAX_PATH];
        snprintf(path, sizeof path, "%s", row.path);
        EXPECT_EQ(NormalizePath(path), path) << row.path;
        EXPECT_STREQ(path, row.normalized) << row.path;
    }
}

// Drive and directory come from the process: the current drive, and that drive's current
// directory for a relative path.
TEST(NormalizePath, RelativePathsTakeTheCurrentDirectory) {
    TempDir dir;
    CurrentDirectory current(dir.Win());
    const std::string drive = dir.Win().substr(0, 2);
    struct {
        std::string path;
        std::string normalized;
    } const rows[] = {
        {"F.TXT", dir.Win("F.TXT")},
        {"A\\B\\..\\F.TXT", dir.Win("A\\F.TXT")},
        {"..\\F.TXT", WinPath(dir.Native().parent_path() / "F.TXT")},
        {drive + "F.TXT", dir.Win("F.TXT")},
        {"\\A\\F.TXT", drive + "\\A\\F.TXT"},
        {".\\F.TXT", dir.Win(".\\F.TXT")},
    };
    for (const auto &row : rows) {
        char path[MAX_PATH];
        snprintf(path, sizeof path, "%s", row.path.c_str());
        ASSERT_NE(NormalizePath(path), nullptr) << row.path;
        EXPECT_STREQ(path, row.normalized.c_str()) << row.path;
    }
}

TEST(NormalizePath, ResultThatDoesNotFitLeavesThePath) {
    TempDir dir;
    CurrentDirectory current(dir.Win());
    std::string relative(259 - 1, 'N');
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%s", relative.c_str());
    EXPECT_EQ(NormalizePath(path), nullptr);
    EXPECT_EQ(std::string(path), relative);
}

TEST(EnsureDirectory, RootOfTheDriveNeedsNothing) {
    TempDir dir;
    FileFaults faults;
    std::string onRoot = dir.Win().substr(0, 3) + "X.FLO";
    EXPECT_EQ(EnsureDirectory(onRoot.c_str()), WriteDone);
    EXPECT_TRUE(faults.CreatedDirectories.empty());
}

TEST(EnsureDirectory, CreatesMissingParentsOutermostFirst) {
    TempDir dir;
    FileFaults faults;
    EXPECT_EQ(EnsureDirectory(dir.Win("A\\B\\C.FLO").c_str()), WriteDone);
    ASSERT_EQ(faults.CreatedDirectories.size(), 2u);
    EXPECT_EQ(faults.CreatedDirectories[0], dir.Win("A"));
    EXPECT_EQ(faults.CreatedDirectories[1], dir.Win("A\\B"));
    EXPECT_TRUE(std::filesystem::is_directory(dir.Native("A/B")));
    EXPECT_FALSE(dir.Exists("A/B/C.FLO"));

    faults.CreatedDirectories.clear();
    EXPECT_EQ(EnsureDirectory(dir.Win("A\\B\\D.FLO").c_str()), WriteDone);
    EXPECT_TRUE(faults.CreatedDirectories.empty());
}

TEST(EnsureDirectory, ExistingFileCountsAsTheDirectory) {
    TempDir dir;
    dir.Write("F", "not a directory");
    FileFaults faults;
    EXPECT_EQ(EnsureDirectory(dir.Win("F\\C.FLO").c_str()), WriteDone);
    EXPECT_TRUE(faults.CreatedDirectories.empty());
    // Below the file nothing can be made.
    EXPECT_EQ(EnsureDirectory(dir.Win("F\\G\\C.FLO").c_str()), WriteFailed);
    EXPECT_EQ(dir.Read("F"), "not a directory");
}

TEST(EnsureDirectory, RelativeAndParentComponents) {
    TempDir dir;
    CurrentDirectory current(dir.Win());
    EXPECT_EQ(EnsureDirectory("X\\Y\\C.FLO"), WriteDone);
    EXPECT_TRUE(std::filesystem::is_directory(dir.Native("X/Y")));
    EXPECT_EQ(EnsureDirectory(dir.Win("P\\..\\Q\\C.FLO").c_str()), WriteDone);
    EXPECT_TRUE(std::filesystem::is_directory(dir.Native("Q")));
    EXPECT_FALSE(dir.Exists("P"));
}

TEST(EnsureDirectory, FailedCreationAndTooLongPath) {
    TempDir dir;
    {
        FileFaults faults;
        faults.FailAt(FileCall::MakeDirectory, 2);
        EXPECT_EQ(EnsureDirectory(dir.Win("A\\B\\C.FLO").c_str()), WriteFailed);
        EXPECT_TRUE(faults.Triggered());
    }
    EXPECT_TRUE(dir.Exists("A"));
    EXPECT_FALSE(dir.Exists("A/B"));
    std::string tooLong = dir.Win() + "\\" + std::string(300, 'L') + "\\C.FLO";
    EXPECT_EQ(EnsureDirectory(tooLong.c_str()), WriteFailed);
}

// What the poll and request commands do with the built names, on a real file system: on
// Linux every name the plugin makes is lower case (the mailer's form), on Windows upper case.
TEST(OutboundNames, CreatedNamesHaveThePlatformsCase) {
    TempDir dir;
    FtnAddress own = Address("2:5020/1000");
    FtnAddress link = Address("10:100/200.10");
    char path[OutboundPathSize];
    std::string root = dir.Win("Out");
    ASSERT_NE(BuildOutboundPath(&link, path, root.c_str(), ".CLO", &own), nullptr);
    EXPECT_EQ(EnsureDirectory(path), WriteDone);
    EXPECT_EQ(CreateFileIfMissing(path), WriteDone);
#ifdef _WIN32
    EXPECT_TRUE(dir.Exists("Out.00A/006400C8.PNT/0000000A.CLO"));
    EXPECT_EQ(NamesIn(dir.Native().string()), std::set<std::string>{"Out.00A"});
    EXPECT_EQ(NamesIn(dir.Native("Out.00A").string()), std::set<std::string>{"006400C8.PNT"});
    EXPECT_EQ(NamesIn(dir.Native("Out.00A/006400C8.PNT").string()),
              std::set<std::string>{"0000000A.CLO"});
#else
    EXPECT_EQ(NamesIn(dir.Native().string()), std::set<std::string>{"Out.00a"});
    EXPECT_EQ(NamesIn(dir.Native("Out.00a").string()), std::set<std::string>{"006400c8.pnt"});
    EXPECT_EQ(NamesIn(dir.Native("Out.00a/006400c8.pnt").string()),
              std::set<std::string>{"0000000a.clo"});
#endif
}

// A directory that exists in the other case is used, not made a second time beside it.
TEST(OutboundNames, ExistingDirectoriesInTheOtherCaseAreUsed) {
    TempDir dir;
    dir.MakeDir("OUT/006400C8.PNT");
    dir.MakeDir("out.00a");
    FileFaults faults;
    EXPECT_EQ(EnsureDirectory(dir.Win("OUT\\006400c8.pnt\\0000000a.clo").c_str()), WriteDone);
    EXPECT_EQ(EnsureDirectory(dir.Win("OUT.00A\\0000000A.CLO").c_str()), WriteDone);
    EXPECT_TRUE(faults.CreatedDirectories.empty());
    EXPECT_EQ(NamesIn(dir.Native().string()), (std::set<std::string>{"OUT", "out.00a"}));
    EXPECT_EQ(NamesIn(dir.Native("OUT").string()), std::set<std::string>{"006400C8.PNT"});
}

struct IsLinkBusyTest : ::testing::Test {
    TempDir dir;
    OutboundSettings settings{dir.Win("OUT"), "2:5020/1000"};

    int Busy(const char *address) {
        FtnAddress link = Address(address);
        OutboundConfig config;
        LoadOutboundConfig(&config);
        return IsLinkBusy(config, &link);
    }
};

TEST_F(IsLinkBusyTest, FlagInEitherCase) {
    struct {
        const char *address;
        const char *flag;
    } const rows[] = {
        {"2:100/200", "OUT/006400C8.BSY"},
        {"2:100/200", "OUT/006400c8.bsy"},
        {"2:100/200.5", "OUT/006400C8.PNT/00000005.BSY"},
        {"2:100/200.10", "OUT/006400c8.pnt/0000000a.bsy"},
        {"3:100/200", "OUT.003/006400C8.BSY"},
        {"10:1/10", "OUT.00A/0001000A.BSY"},
        {"10:1/10", "OUT.00a/0001000a.bsy"},
    };
    for (const auto &row : rows) {
        TempDir outbound;
        OutboundSettings moved(outbound.Win("OUT"), "2:5020/1000");
        EXPECT_EQ(Busy(row.address), 0) << row.flag;
        outbound.Write(row.flag, "");
        EXPECT_EQ(Busy(row.address), 1) << row.flag;
        FtnAddress link = Address(row.address);
        OutboundConfig config;
        LoadOutboundConfig(&config);
        LinkLock lock;
        EXPECT_EQ(LockLink(config, &link, &lock), WriteBusy) << row.flag;
        // The plugin's own flag holds its process id and a line end, as binkd's does.
        std::filesystem::remove(outbound.Native(row.flag));
        ASSERT_EQ(LockLink(config, &link, &lock), WriteDone) << row.flag;
        std::string made = row.flag; // the name in lower case on Linux, as binkd's
        for (size_t i = made.rfind('/') + 1; i < made.size(); ++i) made[i] = std::tolower(made[i]);
        EXPECT_EQ(outbound.Read(made), std::to_string(GetCurrentProcessId()) + "\n");
        EXPECT_EQ(UnlockLink(&lock), WriteDone);
    }
}

TEST_F(IsLinkBusyTest, OtherFlagsDoNotCount) {
    dir.Write("OUT/006400C8.CSY", "");
    dir.Write("OUT/006400C9.BSY", "");
    dir.Write("OUT.003/006400C8.BSY", "");
    dir.Write("OUT/006400C8.PNT/00000001.BSY", "");
    EXPECT_EQ(Busy("2:100/200"), 0);
    EXPECT_EQ(Busy("2:100/200.2"), 0);
    EXPECT_EQ(Busy("4:100/200"), 0);
}

// An own address that does not parse is replaced by the placeholder, in zone 2: zone 2's links
// are in the root, never in a directory of zone 0's making.
TEST_F(IsLinkBusyTest, UnparsedOwnAddressMeansThePlaceholdersZone) {
    OutboundSettings broken(dir.Win("OUT"), "not an address");
    dir.Write("OUT.002/006400C8.BSY", "");
    EXPECT_EQ(Busy("2:100/200"), 0);
    dir.Write("OUT/006400C8.BSY", "");
    EXPECT_EQ(Busy("2:100/200"), 1);
}

TEST_F(IsLinkBusyTest, RootTooLongIsNotBusy) {
    std::string longRoot = dir.Win() + "\\" + std::string(240, 'R');
    OutboundSettings longer(longRoot, "2:5020/1000");
    EXPECT_EQ(Busy("3:100/200.5"), 0);
}

} // namespace

namespace {

// One table gives every flavor its letter and its dialog position; whatever names no flavor
// (a value outside 1 to 5, a position outside the group) is Normal.
TEST(FlavorTable, LettersPositionsAndFallback) {
    const struct {
        int flavor;
        char letter;
        int position;
    } rows[] = {{Immediate, 'I', 0}, {Crash, 'C', 1},    {Direct, 'D', 2}, {Normal, 'F', 3},
                {Hold, 'H', 4},      {NoFlavor, 'F', 3}, {6, 'F', 3},      {-1, 'F', 3}};
    for (const auto &row : rows) {
        EXPECT_EQ(FlavorRowOf(row.flavor).Letter, row.letter) << row.flavor;
        EXPECT_EQ(FlavorRowOf(row.flavor).DialogPosition, row.position) << row.flavor;
    }
    EXPECT_EQ(FlavorAtPosition(0, 4), Immediate);
    EXPECT_EQ(FlavorAtPosition(3, 4), Normal);
    EXPECT_EQ(FlavorAtPosition(4, 4), Normal); // the poll has no hold
    EXPECT_EQ(FlavorAtPosition(4, 5), Hold);
    EXPECT_EQ(FlavorAtPosition(-1, 5), Normal);
    EXPECT_EQ(FlavorAtPosition(5, 5), Normal);
}

} // namespace
