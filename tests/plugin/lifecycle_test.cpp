// Panel instances called through the exports directly, with a host table that records every
// Control call: what an instance sends when it closes, and when.
#include "settings/settings.h"
#include "shell/browser.h"
#include "shell/host.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

namespace {

struct ControlCall {
    HANDLE plugin;
    int command;
    std::string text;
    std::string startDirectoryDuringCall;
    bool paramIsSharedText;
};
std::vector<ControlCall> controlCalls;
int dialogCalls;

int WINAPI RecordControl(HANDLE hPlugin, int Command, void *Param) {
    const char *text = static_cast<const char *>(Param);
    controlCalls.push_back({hPlugin, Command, text ? text : "", StartDirectory,
                            Param == static_cast<void *>(StartDirectory)});
    return 1;
}

int WINAPI CountDialog(int, int, int, int, int, const char *, FarDialogItem *, int) {
    ++dialogCalls;
    return -1;
}

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override {
        savedHost = HostInfo;
        savedSettings = Settings;
        memset(&HostInfo, 0, sizeof(HostInfo));
        HostInfo.Control = RecordControl;
        HostInfo.Dialog = CountDialog;
        controlCalls.clear();
        dialogCalls = 0;
        Settings.PathToOutbound[0] = 0;
        strcpy(Settings.Address, "2:5020/1000");
        strcpy(StartDirectory, NoStartDirectory);
        char current[MAX_PATH];
        GetCurrentDirectoryA(sizeof(current), current);
        savedCurrent = current;
    }
    void TearDown() override {
        SetCurrentDirectoryA(savedCurrent.c_str());
        HostInfo = savedHost;
        Settings = savedSettings;
        strcpy(StartDirectory, NoStartDirectory);
    }
    HANDLE OpenFrom(const std::string &directory) {
        EXPECT_TRUE(SetCurrentDirectoryA(directory.c_str())) << directory;
        HANDLE handle = OpenPlugin(OPEN_DISKMENU, 0);
        EXPECT_NE(handle, INVALID_HANDLE_VALUE);
        return handle;
    }

    TempDir dir;
    PluginStartupInfo savedHost;
    PluginSettings savedSettings;
    std::string savedCurrent;
};

TEST_F(Lifecycle, NewInstanceStartsEmptyAtTheRoot) {
    HANDLE handle = OpenFrom(dir.Win());
    BSOBrowser *browser = static_cast<BSOBrowser *>(handle);
    EXPECT_EQ(browser->Entries, nullptr);
    EXPECT_EQ(browser->EntryCount, 0);
    EXPECT_STREQ(browser->CurDir, "");
    EXPECT_FALSE(browser->IsInsideLink());
    EXPECT_EQ(browser->ChangeHandle, INVALID_HANDLE_VALUE); // no outbound configured
    EXPECT_EQ(std::string(StartDirectory), dir.Win());
    ClosePlugin(handle);
}

TEST_F(Lifecycle, LaterOpeningIsSentByTheFirstClosingOnly) {
    dir.MakeDir("first");
    dir.MakeDir("second");
    HANDLE first = OpenFrom(dir.Win("first"));
    HANDLE second = OpenFrom(dir.Win("second"));

    ClosePlugin(first);
    ASSERT_EQ(controlCalls.size(), 1u);
    EXPECT_EQ(controlCalls[0].plugin, first);
    EXPECT_EQ(controlCalls[0].command, FCTL_SETPANELDIR);
    EXPECT_EQ(controlCalls[0].text, dir.Win("second"));
    // The marker is back before the host runs, and the host never gets the shared text.
    EXPECT_EQ(controlCalls[0].startDirectoryDuringCall, "**");
    EXPECT_FALSE(controlCalls[0].paramIsSharedText);

    ClosePlugin(second);
    EXPECT_EQ(controlCalls.size(), 1u);

    HANDLE third = OpenFrom(dir.Win("first"));
    ClosePlugin(third);
    ASSERT_EQ(controlCalls.size(), 2u);
    EXPECT_EQ(controlCalls[1].plugin, third);
    EXPECT_EQ(controlCalls[1].text, dir.Win("first"));
}

TEST_F(Lifecycle, OutboundIsWatchedWhenItExists) {
    dir.MakeDir("out");
    strcpy(Settings.PathToOutbound, dir.Win("out").c_str());
    HANDLE watched = OpenFrom(dir.Win());
    EXPECT_NE(static_cast<BSOBrowser *>(watched)->ChangeHandle, INVALID_HANDLE_VALUE);

    strcpy(Settings.PathToOutbound, dir.Win("missing").c_str());
    HANDLE unwatched = OpenFrom(dir.Win());
    EXPECT_EQ(static_cast<BSOBrowser *>(unwatched)->ChangeHandle, INVALID_HANDLE_VALUE);
    ClosePlugin(unwatched);
    ClosePlugin(watched);
}

TEST_F(Lifecycle, ClosingReleasesTheRows) {
    // The sanitizer build's leak check fails the run if any of this stays.
    HANDLE handle = OpenFrom(dir.Win());
    BSOBrowser *browser = static_cast<BSOBrowser *>(handle);
    browser->EntryCount = 2;
    browser->Entries = static_cast<OutboundEntry *>(calloc(2, sizeof(OutboundEntry)));
    SetEntryStrings(browser->Entries[0], "2:5020/1.0", nullptr, ".....", "....F", nullptr);
    SetEntryStrings(browser->Entries[1], "2:5020/2.0", nullptr, ".....", ".....", ".HLO");
    ClosePlugin(handle);

    // Listed rows, one given strings of its own, then listed again: each of them once.
    dir.Write("out/139C0001.OUT", "");
    dir.Write("out/139C0002.OUT", "");
    strcpy(Settings.PathToOutbound, dir.Win("out").c_str());
    handle = OpenFrom(dir.Win());
    browser = static_cast<BSOBrowser *>(handle);
    for (int listing = 0; listing < 2; ++listing) {
        PluginPanelItem *items = nullptr;
        int count = 0;
        ASSERT_EQ(GetFindData(handle, &items, &count, 0), 1);
        FreeFindData(handle, items, count);
        ASSERT_EQ(browser->EntryCount, 2);
        EXPECT_STREQ(browser->Entries[1].Name, "2:5020/2.0");
        FreeEntryStrings(browser->Entries[1]);
        SetEntryStrings(browser->Entries[1], "2:5020/3.0", nullptr, ".....", ".....", nullptr);
    }
    ClosePlugin(handle);
}

TEST_F(Lifecycle, InsideALinkWhenCurDirStartsWithADigit) {
    const std::pair<const char *, bool> cases[] = {
        {"", false},  {"2:5020/1.0", true}, {"0", true},   {"9:1/1.0", true},
        {"a", false}, {"\\", false},        {"..", false}, {" 1:2/3.0", false}};
    BSOBrowser browser;
    for (const auto &[curDir, inside] : cases) {
        strcpy(browser.CurDir, curDir);
        EXPECT_EQ(browser.IsInsideLink(), inside) << '"' << curDir << '"';
    }
    controlCalls.clear();
}

TEST_F(Lifecycle, ConfigureRunsTheDialogForItemZeroOnly) {
    EXPECT_EQ(Configure(1), 0);
    EXPECT_EQ(Configure(-1), 0);
    EXPECT_EQ(dialogCalls, 0);
    EXPECT_EQ(Configure(0), 0); // the recording host answers Esc
    EXPECT_EQ(dialogCalls, 1);
}

} // namespace
