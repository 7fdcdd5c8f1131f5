// The scan's corners that no language file or address text reaches through the host: message
// texts that are no plain "%s" format, a current directory of any length, rows that do not fit.
// The plugin's functions run in this process behind a small host table of the test's own.
#include "panel/listing.h"
#include "scan/scanner.h"

#include "settings/settings.h"
#include "shell/host.h"
#include "shell/messages.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <string>
#include <vector>

namespace {

// What the scan showed through the host table.
struct ShownMessage {
    DWORD flags;
    std::vector<std::string> items;
    int buttons;
};

std::map<int, std::string> messageTexts;
std::vector<ShownMessage> shownMessages;
int screensSaved = 0, screensRestored = 0;

const char *WINAPI GetMsg(int, int id) {
    auto found = messageTexts.find(id);
    if (found == messageTexts.end())
        found = messageTexts.emplace(id, "Message " + std::to_string(id)).first;
    return found->second.c_str();
}

int WINAPI ShowMessage(int, DWORD flags, const char *, const char *const *items, int count,
                       int buttons) {
    ShownMessage shown = {flags, {}, buttons};
    for (int i = 0; i < count; ++i) shown.items.push_back(items[i]);
    shownMessages.push_back(shown);
    return -1;
}

HANDLE WINAPI SaveScreen(int, int, int, int) {
    ++screensSaved;
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(screensSaved));
}

void WINAPI RestoreScreen(HANDLE) {
    ++screensRestored;
}

int WINAPI Control(HANDLE, int, void *) {
    return 1;
}

class ScanInProcess : public ::testing::Test {
protected:
    ScanInProcess() : savedHostInfo(HostInfo), savedSettings(Settings) {
        messageTexts.clear();
        shownMessages.clear();
        screensSaved = screensRestored = 0;
        memset(&HostInfo, 0, sizeof(HostInfo));
        HostInfo.StructSize = sizeof(HostInfo);
        HostInfo.ModuleNumber = 1;
        HostInfo.GetMsg = GetMsg;
        HostInfo.Message = ShowMessage;
        HostInfo.SaveScreen = SaveScreen;
        HostInfo.RestoreScreen = RestoreScreen;
        HostInfo.Control = Control;
        dir.MakeDir("out");
        strcpy(Settings.PathToOutbound, dir.Win("out").c_str());
        strcpy(Settings.Address, "2:5020/1000");
        Settings.AutoRefresh = 0;
    }
    ~ScanInProcess() override {
        HostInfo = savedHostInfo;
        Settings = savedSettings;
    }
    // The text line of the progress box of one scan with this message 11 and CurDir.
    std::string ProgressLine(const std::string &format, const std::string &curDir) {
        messageTexts[MsgScanProgressFormat] = format;
        shownMessages.clear();
        BSOBrowser browser;
        strcpy(browser.CurDir, curDir.c_str());
        DWORD delay = ProgressDelayMilliseconds;
        ProgressDelayMilliseconds = 0; // the box at once
        ScanPanelRows(&browser, 0);
        ProgressDelayMilliseconds = delay;
        EXPECT_EQ(shownMessages.size(), 1u);
        if (shownMessages.size() != 1 || shownMessages[0].items.size() != 2) return "(no box)";
        EXPECT_EQ(shownMessages[0].items[0], GetMsg(1, MsgScanTitle));
        EXPECT_EQ(shownMessages[0].buttons, 0);
        EXPECT_EQ(shownMessages[0].flags, 0u);
        return shownMessages[0].items[1];
    }

    TempDir dir;
    PluginStartupInfo savedHostInfo;
    PluginSettings savedSettings;
};

// The message is a translator's text: only its first "%s" takes the directory and "%%" is a
// percent sign; every other "%" stands as it is. The line holds 63 bytes at most.
TEST_F(ScanInProcess, ProgressLineIsPrintedSafely) {
    const std::string longLink = "2:100/200.0" + std::string(248, '9'); // 259 characters
    struct Case {
        const char *what;
        std::string format, curDir, line;
    } cases[] = {
        {"plain", "Scanning %s", "2:100/200.0", "Scanning 2:100/200.0"},
        {"root", "Scanning %s", "", "Scanning "},
        {"conversions", "%n%d %s %s %% %x%", "2:1/2.0", "%n%d 2:1/2.0 %s % %x%"},
        {"no argument", "%%%", "", "%%"},
        {"long format", std::string(100, 'x') + "%s", "", std::string(63, 'x')},
        {"long directory", "Scanning %s", longLink, "Scanning " + longLink.substr(0, 54)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(ProgressLine(c.format, c.curDir), c.line);
    }
    EXPECT_EQ(screensSaved, screensRestored);
}

#ifndef _WIN32
// Where texts are UTF-8 a cut never leaves part of a character.
TEST_F(ScanInProcess, ProgressLineIsCutBetweenCharacters) {
    std::string wide;
    for (int i = 0; i < 10; ++i) wide += "\xC3\xA0"; // "à", two bytes
    // 52 bytes in front: five characters fit, the lead byte of a sixth does not stay.
    std::string line = ProgressLine(std::string(41, 'x') + "%s" + wide, "2:100/200.0");
    EXPECT_EQ(line, std::string(41, 'x') + "2:100/200.0" + wide.substr(0, 10));
    // Three-byte characters: 61 bytes in front leave room for none of them.
    line = ProgressLine(std::string(61, 'x') + "\xE2\x82\xAC", "");
    EXPECT_EQ(line, std::string(61, 'x'));
}
#endif

// A row inside a link: the directory in upper case on Windows (ASCII letters only: other bytes
// belong to the code page), its native path on Linux (a path of another drive names nothing
// there and stays as it is), the found name behind it, as long as the whole fits a row's name.
// The table grows under rows that came before, and their strings stay as they were when a
// row's go into a new chunk.
TEST(AddFileEntry, NamesMarksAndLimits) {
    WIN32_FIND_DATAA found;
    memset(&found, 0, sizeof found);
    found.nFileSizeLow = 7;
    strcpy(found.cFileName, "Report.txt");
    strcpy(found.cAlternateFileName, "REPORT~1.TXT");
    struct Case {
        const char *what;
        std::string directory;
        int before;
        EntryKind kind;
        int added;
        std::string name;
    } cases[] = {
        {"flow entry",
         "d:\\files\\\xE0"
         "x\\",
         0, FlowFile, 1,
         "D:\\FILES\\\xE0"
         "X\\Report.txt"},
        {"no directory", "", 1, Netmail, 1, "Report.txt"},
        {"after a full first block", "d:\\", 256, FlowFile, 1, "D:\\Report.txt"},
        {"fits exactly", std::string(249, 'd'), 0, BusyFlag, 1,
         std::string(249, 'D') + "Report.txt"},
        {"one too long", std::string(250, 'd'), 0, FlowFile, 0, ""},
        {"the root of drive Z:", "z:\\", 0, FlowFile, 1, "Z:\\Report.txt"},
        {"the longest name past 64 KiB of rows", std::string(249, 'd'), 2000, FlowFile, 1,
         std::string(249, 'D') + "Report.txt"},
    };
    // What a Linux row shows for the case.
    auto shown = [](const Case &c) {
#ifdef _WIN32
        return c.name;
#else
        return c.directory == "z:\\" ? std::string("/Report.txt") : c.directory + "Report.txt";
#endif
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ScanTable table;
        StartScanTable(&table);
        char directory[MAX_PATH];
        for (int i = 0; i < c.before; ++i) {
            strcpy(directory, "d:\\");
            ASSERT_EQ(AddFileEntry(&table, directory, &found, nullptr, Netmail, Crash), 1);
        }
        strcpy(directory, c.directory.c_str());
        const char *source = ".CLO";
        EXPECT_EQ(AddFileEntry(&table, directory, &found, source, c.kind, Crash), c.added);
        EXPECT_EQ(table.Count, c.before + c.added);
        for (int i = 0; i < c.before; ++i)
            ASSERT_STREQ(EntryAlternateName(table.Rows[i]), "REPORT~1.TXT") << "row " << i;
        if (c.added) {
            OutboundEntry &row = table.Rows[c.before];
            EXPECT_EQ(std::string(row.Name), shown(c));
            EXPECT_EQ(row.Size, 7u);
            EXPECT_STREQ(EntryAlternateName(row), "REPORT~1.TXT");
            ASSERT_TRUE(row.SourceText && row.NetmailFlavors && row.FlowFlavors);
            EXPECT_NE(row.SourceText, source);
            EXPECT_STREQ(row.SourceText, ".CLO");
            EXPECT_STREQ(row.NetmailFlavors, c.kind == Netmail ? ".C..." : ".....");
            EXPECT_STREQ(row.FlowFlavors, c.kind == FlowFile ? ".C..." : ".....");
            EXPECT_EQ(row.BusyMark, c.kind == BusyFlag ? '*' : 0);
            EXPECT_EQ(row.RequestMark, 0);
            EXPECT_EQ(row.Problem, NoEntryProblem);
        }
        FreeScanTable(&table);
    }
}

// A name too long for a row keeps its start and its end, and a cut never splits a character
// where names are UTF-8.
TEST(ShortenRowName, KeepsStartAndEnd) {
    char row[MAX_PATH];
    std::string fits(MAX_PATH - 1, 'f');
    ShortenRowName(row, fits.c_str(), fits.size());
    EXPECT_EQ(std::string(row), fits);
    std::string name = "C:\\" + std::string(400, 'a') + "\\tail.zip";
    ShortenRowName(row, name.c_str(), name.size());
    std::string shown = row;
    EXPECT_EQ(shown.size(), size_t(MAX_PATH - 1));
    EXPECT_EQ(shown.substr(0, 3), "C:\\");
    EXPECT_NE(shown.find("..."), std::string::npos);
    EXPECT_EQ(shown.substr(shown.size() - 9), "\\tail.zip");
#ifndef _WIN32
    std::string wide;
    for (int i = 0; i < 200; ++i) wide += "\xC3\xA0";
    ShortenRowName(row, wide.c_str(), wide.size());
    shown = row;
    size_t gap = shown.find("...");
    ASSERT_NE(gap, std::string::npos);
    EXPECT_EQ(gap % 2, 0u);
    EXPECT_EQ((shown.size() - gap - 3) % 2, 0u);
    EXPECT_EQ(static_cast<unsigned char>(shown[gap + 3]), 0xC3);
#endif
}

} // namespace
