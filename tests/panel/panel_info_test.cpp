// What GetOpenPluginInfo tells the host in both views: read back from the host's copy of the
// answer, after opening, entering a link and coming back.
#include "panel/panel_info.h"
#include "shell/messages.h"

#include "in_process_host.h"
#include "outbound_fixture.h"

#include <gtest/gtest.h>

#include <map>
#include <string.h>

namespace {

using standin::KeyBarAlt;
using standin::KeyBarCtrl;
using standin::KeyBarPlain;
using standin::KeyBarShift;
using standin::OpenPluginInfoCopy;

const char LinkName[] = "2:100/200.0";

enum FunctionKey { F1, F2, F3, F4, F5, F6, F7, F8 };

class PanelInfo : public OutboundPanelTest {
protected:
    PanelInfo() { tree.Write("out/006400C8.OUT", "packet"); }

    // (group, key) to the expected label: a message id, or -1 for the empty label. Keys not
    // listed must be left to the host.
    using KeyLabels = std::map<std::pair<int, int>, int>;

    void ExpectKeyBar(const OpenPluginInfoCopy &info, const KeyLabels &labels) {
        ASSERT_TRUE(info.hasKeyBar);
        for (int group = 0; group < 4; ++group) {
            for (int key = 0; key < 12; ++key) {
                auto found = labels.find({group, key});
                std::optional<std::string> expected;
                if (found != labels.end())
                    expected = found->second < 0 ? std::string() : Text(found->second);
                EXPECT_EQ(info.keyBar[group][key], expected)
                    << "group " << group << " F" << key + 1;
            }
        }
    }

    void ExpectView(bool insideLink, const std::string &curDir) {
        SCOPED_TRACE(insideLink ? "inside a link" : "at the root");
        const OpenPluginInfoCopy &info = Panel().Info();
        EXPECT_EQ(info.structSize, static_cast<int>(sizeof(OpenPluginInfo)));
        EXPECT_EQ(info.flags, insideLink ? 623u : 527u);
        EXPECT_EQ(info.hostFile, std::nullopt);
        EXPECT_EQ(info.curDir, curDir);
        EXPECT_EQ(info.format, Text(MsgPanelFormat));
        // Alike at the root and in a link: " Outbound: " and " Outbound: 2:5020/1.0 ".
        EXPECT_EQ(info.panelTitle,
                  " " + Text(MsgPanelFormat) + ": " + curDir + (curDir.empty() ? "" : " "));
        EXPECT_EQ(info.infoLinesNumber, 0);
        EXPECT_TRUE(info.descrFiles.empty());
        EXPECT_EQ(info.startPanelMode, '3');
        EXPECT_EQ(info.startSortMode, 0);
        EXPECT_EQ(info.startSortOrder, 0);
        EXPECT_EQ(info.shortcutData, std::nullopt);

        ASSERT_EQ(info.panelModes.size(), 10u);
        struct DefinedMode {
            int mode;
            const char *rootTypes, *linkTypes, *widths;
            int fullScreen;
        };
        const DefinedMode defined[] = {
            {3, "NR,SC,C0,C1,C2,C3", "NO,SC,C0,C1,C2,C3", "0,8,1,1,5,5", 0},
            {4, "NR,SC,C0", "NO,SC,C0", "0,8,1", 0},
            {5, "NR,SC,C0,C1,C2,C3,D,T", "NR,SC,C0,C1,C2,C3,D,T", "0,8,1,1,5,5,0,0", 1},
            {6, "NR,C5,C6,C0,C1,C2,C3,C7", "NO,SC,C0,C1,C2,C3", nullptr, 0},
            {7, "NR,C9,O,C5,C8", nullptr, "13,0,0,7,8", 1}};
        for (int m = 0; m < 10; ++m) {
            const standin::PanelModeCopy &mode = info.panelModes[m];
            const DefinedMode *expected = nullptr;
            for (const DefinedMode &d : defined)
                if (d.mode == m) expected = &d;
            SCOPED_TRACE("mode " + std::to_string(m));
            if (!expected) {
                EXPECT_FALSE(mode.hasColumnTypes);
                EXPECT_EQ(mode.columnWidths, "");
                EXPECT_EQ(mode.fullScreen, 0);
                EXPECT_EQ(mode.caseConversion, 0);
                continue;
            }
            // Mode 7: the nodelist's names at the root, the host's own mode inside a link.
            if (m == 7) {
                EXPECT_EQ(mode.hasColumnTypes, !insideLink);
                if (insideLink) continue;
                EXPECT_EQ(mode.statusColumnTypes, std::optional<std::string>("NR,Z"));
                const int titles[] = {MsgColumnName, MsgColumnSystem, MsgColumnSysop,
                                      MsgColumnQueued, MsgColumnNodelist};
                ASSERT_GE(mode.columnTitles.size(), 5u);
                for (size_t c = 0; c < 5; ++c)
                    EXPECT_EQ(mode.columnTitles[c], Text(titles[c])) << c;
                EXPECT_EQ(mode.columnTypes, expected->rootTypes);
                EXPECT_EQ(mode.columnWidths, expected->widths);
                EXPECT_EQ(mode.fullScreen, 1);
                continue;
            }
            EXPECT_EQ(mode.columnTypes, insideLink ? expected->linkTypes : expected->rootTypes);
            // Mode 6: the queue columns at the root, mode 3's columns inside a link.
            if (m == 6) {
                EXPECT_EQ(mode.columnWidths, insideLink ? "0,8,1,1,5,5" : "13,7,6,1,1,5,5,0");
                // Full screen at the root, the mailer's state whole in the status line.
                EXPECT_EQ(mode.fullScreen, insideLink ? 0 : 1);
                EXPECT_EQ(mode.statusColumnTypes,
                          insideLink ? std::nullopt : std::optional<std::string>("NR,C7"));
                const int rootTitles[] = {MsgColumnName,        MsgColumnQueued,
                                          MsgColumnAge,         MsgColumnBusy,
                                          MsgColumnRequest,     MsgColumnNetmailFlavors,
                                          MsgColumnFlowFlavors, MsgColumnMailer};
                for (size_t c = 0; c < mode.columnTitles.size() && c < 8; ++c)
                    EXPECT_EQ(
                        mode.columnTitles[c],
                        Text(insideLink ? MsgColumnName + static_cast<int>(c) : rootTitles[c]))
                        << c;
                continue;
            }
            EXPECT_EQ(mode.columnWidths, expected->widths);
            EXPECT_EQ(mode.fullScreen, expected->fullScreen);
            EXPECT_EQ(mode.caseConversion, 1);
            EXPECT_EQ(mode.detailedStatus, 0);
            EXPECT_EQ(mode.alignExtensions, 0);
            EXPECT_EQ(mode.statusColumnTypes, std::nullopt);
            EXPECT_EQ(mode.statusColumnWidths, std::nullopt);
            // name, size, busy, request, netmail, flow, date, time: as many as the mode has.
            for (size_t c = 0; c < mode.columnTitles.size(); ++c)
                EXPECT_EQ(mode.columnTitles[c], Text(MsgColumnName + static_cast<int>(c))) << c;
        }

        if (insideLink)
            ExpectKeyBar(info, {{{KeyBarPlain, F3}, MsgKeyView},
                                {{KeyBarPlain, F6}, MsgKeyFlavor},
                                {{KeyBarPlain, F7}, MsgKeyRemove},
                                {{KeyBarPlain, F8}, MsgKeyDelete},
                                {{KeyBarShift, F4}, MsgKeyRequest}});
        else
            ExpectKeyBar(info, {{{KeyBarPlain, F3}, -1},
                                {{KeyBarPlain, F4}, MsgKeyRequest},
                                {{KeyBarPlain, F5}, MsgKeyHold},
                                {{KeyBarPlain, F6}, MsgKeyResetTries},
                                {{KeyBarPlain, F7}, MsgKeyPoll},
                                {{KeyBarPlain, F8}, MsgKeyClear},
                                {{KeyBarAlt, F3}, -1},
                                {{KeyBarAlt, F4}, -1},
                                {{KeyBarAlt, F5}, -1},
                                {{KeyBarAlt, F6}, -1},
                                {{KeyBarShift, F1}, -1},
                                {{KeyBarShift, F2}, -1},
                                {{KeyBarShift, F3}, -1},
                                {{KeyBarShift, F4}, MsgKeyRequest},
                                {{KeyBarShift, F5}, MsgKeyRelease},
                                {{KeyBarShift, F6}, MsgKeyStaleBusy},
                                {{KeyBarShift, F7}, MsgKeyCheck},
                                {{KeyBarShift, F8}, -1}});
    }
};

// Modes 3 and 4 switch their name column and the key bar follows the view, both ways.
TEST_F(PanelInfo, BothViewsAsTheHostSeesThem) {
    ASSERT_TRUE(Open());
    ExpectView(false, "");
    EXPECT_EQ(Panel().ViewMode(), 3);
    ASSERT_TRUE(Enter(LinkName));
    ExpectView(true, LinkName);
    ASSERT_TRUE(Enter(".."));
    ExpectView(false, "");
    EXPECT_EQ(Panel().ViewColumnTypes(), "NR,SC,C0,C1,C2,C3");
}

TEST_F(PanelInfo, StartModeComesFromLinksPanelModeInBothViewsUnlessChangingIsOff) {
    struct Case {
        std::optional<int> linksMode, noChange;
        int expected; // 0: left as the host passed it
    } cases[] = {{5, std::nullopt, '5'}, {0, 0, '0'}, {9, 0, '9'}, {5, 1, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE("LinksPanelMode " + std::to_string(c.linksMode.value_or(-1)) +
                     " NoChangePanelMode " + std::to_string(c.noChange.value_or(-1)));
        settings.linksPanelMode = c.linksMode;
        settings.noChangePanelMode = c.noChange;
        settings.filesPanelMode = 7; // not the start mode of either view
        ASSERT_TRUE(Open());
        EXPECT_EQ(Panel().Info().startPanelMode, c.expected);
        EXPECT_EQ(Panel().ViewMode(), c.expected ? c.expected - '0' : 2); // the host's own: 2
        ASSERT_TRUE(Enter(LinkName));
        EXPECT_EQ(Panel().Info().startPanelMode, c.expected);
        Close();
    }
}

// The fields the answer must leave alone keep what the host put there.
TEST_F(PanelInfo, LeavesSortModeShortcutAndANoChangeStartModeAsTheHostPassedThem) {
    settings.noChangePanelMode = 1;
    ASSERT_TRUE(Open());
    static const char shortcut[] = "host's";
    for (const char *dir : {"", LinkName}) {
        if (*dir) {
            ASSERT_TRUE(Enter(dir));
        }
        OpenPluginInfo info;
        memset(&info, 0, sizeof(info));
        info.StartPanelMode = '7';
        info.StartSortMode = SM_SIZE;
        info.StartSortOrder = 1;
        info.ShortcutData = shortcut;
        host->GetExports().GetOpenPluginInfo(Panel().Handle(), &info);
        EXPECT_EQ(info.StartPanelMode, '7') << dir;
        EXPECT_EQ(info.StartSortMode, SM_SIZE) << dir;
        EXPECT_EQ(info.StartSortOrder, 1) << dir;
        EXPECT_EQ(info.ShortcutData, shortcut) << dir;
        EXPECT_EQ(info.CurDir, std::string(dir));
    }
}

// A stored mode that is no digit would give the host a mode that does not exist.
TEST_F(PanelInfo, AStoredModeOutsideTheTenLeavesTheHostsMode) {
    for (int stored : {10, -1, 0x7FFFFFFF}) {
        settings.linksPanelMode = stored;
        ASSERT_TRUE(Open());
        EXPECT_EQ(Panel().Info().startPanelMode, 0) << stored;
        EXPECT_EQ(Panel().ViewMode(), 2) << stored;
        Close();
    }
}

// No language file holds a title this long, and CurDir is an address when the host sets it:
// the title buffer is filled here directly.
TEST(PanelTitle, StaysWithinItsBufferForAnyNameAndDirectory) {
    const std::string longName(200, 'M'), longDir(259, '9');
    // "Ж" in UTF-8 (the host's texts on POSIX): a cut must not split it there.
    std::string wideName;
    for (int i = 0; i < 100; ++i) wideName += "\xD0\x96";
    struct Case {
        std::string name, dir, expected;
    } cases[] = {
        {"BSO", "", " BSO: "},
        {"BSO", "1:2/3.0", " BSO: 1:2/3.0 "},
        // The name gives way to the directory.
        {longName, "1:2/3.0", " " + std::string(88, 'M') + ": 1:2/3.0 "},
        {"BSO", longDir, " : " + std::string(96, '9')},
        {longName, longDir, " : " + std::string(96, '9')},
#ifdef _WIN32
        {wideName, "1:2/30.0", " " + wideName.substr(0, 87) + ": 1:2/30.0 "},
#else
        {wideName, "1:2/30.0", " " + wideName.substr(0, 86) + ": 1:2/30.0 "},
#endif
    };
    for (const Case &c : cases) {
        InProcessHost host;
        host.SetMessage(MsgPanelFormat, c.name);
        BSOBrowser browser;
        memcpy(browser.CurDir, c.dir.c_str(), c.dir.size() + 1);
        OpenPluginInfo info;
        memset(&info, 0, sizeof(info));
        DescribePanel(&browser, &info);
        ASSERT_NE(info.PanelTitle, nullptr);
        ASSERT_NE(memchr(info.PanelTitle, 0, 100), nullptr) << c.name.size() << " " << c.dir;
        EXPECT_EQ(std::string(info.PanelTitle), c.expected) << c.name.size() << " " << c.dir;
        EXPECT_EQ(info.CurDir, browser.CurDir);
    }
}

} // namespace
