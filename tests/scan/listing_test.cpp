// The panel listing through the host: items and their five column texts, an empty listing,
// the selection kept across updates in both views, the progress box and the find mode.
#include "outbound_fixture.h"

#include "shell/messages.h"
#include "wine.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

using standin::ShownBox;
using standin::ShownItem;

class Listing : public OutboundPanelTest {
protected:
    std::string FileRow(const std::string &name) { return tree.Shown("files") + name; }
    bool OpenLink(const std::string &link = "2:100/200.0") {
        if (!Open()) return false;
        if (!Enter(link)) {
            ADD_FAILURE() << "cannot enter " << link;
            return false;
        }
        return true;
    }
    // Netmail for link 2:100/(i+1).
    static std::string NetmailOf(int i) {
        char name[32];
        std::snprintf(name, sizeof name, "out/0064%04X.OUT", i + 1);
        return name;
    }
    std::vector<std::string> Selected() {
        std::vector<std::string> names = Panel().SelectedNames();
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(Listing, ItemsCarryTenColumnTexts) {
    tree.Write("out/006400C8.FLO");
    tree.Write("out/006400C8.PNT/00000001.CUT");
    tree.Write("out/006400C8.PNT/00000001.REQ");
    tree.Write("out/006400C8.PNT/00000001.BSY");
    // Larger than a DWORD: the item's size has a high part.
    std::string attached = tree.WriteAttached("a.zip");
    std::filesystem::resize_file(tree.dir.Native("files/a.zip"), (5ull << 30) + 1);
    tree.WriteFlowFile("out/00640001.ILO", {"^" + attached});
    WIN32_FIND_DATAA found;
    FindClose(FindFirstFileA(attached.c_str(), &found));
    ASSERT_TRUE(Open());
    std::optional<ShownItem> link = Row("2:100/200.0"), point = Row("2:100/200.1");
    ASSERT_TRUE(link && point);
    // A poll and an empty packet and request wait for nothing: no queue, no age.
    EXPECT_EQ(link->columns,
              (std::vector<std::string>{"", "", ".....", "...F.", "", "", "", "", "", ""}));
    EXPECT_EQ(point->columns,
              (std::vector<std::string>{"*", "*", ".C...", ".....", "", "", "", "", "", ""}));

    ASSERT_TRUE(Enter("2:100/1.0"));
    std::optional<ShownItem> file = Row(FileRow("a.zip"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->columns,
              (std::vector<std::string>{"", "", ".....", "I....", ".ILO", "", "", "", "", ""}));
    EXPECT_EQ(file->size, (5ull << 30) + 1);
    EXPECT_EQ(file->lastWriteTime.dwHighDateTime, found.ftLastWriteTime.dwHighDateTime);
    EXPECT_EQ(file->lastWriteTime.dwLowDateTime, found.ftLastWriteTime.dwLowDateTime);
    EXPECT_FALSE(file->IsDirectory());
}

// An empty view is a valid, empty array that FreeFindData takes back.
TEST_F(Listing, EmptyOutboundGivesAnEmptyArray) {
    ASSERT_TRUE(Open());
    EXPECT_TRUE(Rows().empty());
    const standin::Host::Exports &exports = host->GetExports();
    PluginPanelItem *items = nullptr;
    int count = -1;
    ASSERT_EQ(exports.GetFindData(Panel().Handle(), &items, &count, 0), 1);
    EXPECT_NE(items, nullptr);
    EXPECT_EQ(count, 0);
    exports.FreeFindData(Panel().Handle(), items, count);
    EXPECT_EQ(host->OpenDirLists(), 0);
}

// A listing reuses the arrays the host gave back and its rows' strings' memory: a view that
// shrinks, grows past what it had (3,000 rows' strings take more than one block), empties and
// fills again shows every row and its columns as a first listing would.
TEST_F(Listing, ViewsThatShrinkAndGrowKeepEveryRow) {
    ASSERT_TRUE(Open());
    int written = 0;
    for (int count : {30, 2, 50, 3000, 2, 0, 3}) {
        for (int i = count; i < written; ++i) tree.Remove(NetmailOf(i));
        // Packets of different sizes, so that a row given another's texts shows.
        for (int i = written; i < count; ++i) tree.Write(NetmailOf(i), std::string(i + 1, 'x'));
        written = count;
        ASSERT_TRUE(Update());
        std::vector<ShownItem> rows = Rows();
        ASSERT_EQ(static_cast<int>(rows.size()), count);
        // Link n's packet is n bytes: every name once, each with its own size.
        std::set<std::string> names;
        for (const ShownItem &row : rows) {
            ASSERT_EQ(row.columns.size(), 10u) << row.name;
            const std::string &size = row.columns[5];
            EXPECT_EQ(row.name, "2:100/" + size + ".0") << count << " links";
            EXPECT_EQ(row.columns, (std::vector<std::string>{"", "", "...F.", ".....", "", size,
                                                             "0d", "", "", ""}));
            names.insert(row.name);
        }
        EXPECT_EQ(static_cast<int>(names.size()), count);
    }
}

// The selection of rows still there survives an update; new rows come unselected, and rows
// that went take their selection with them.
TEST_F(Listing, SelectionSurvivesAnUpdateAtTheRoot) {
    tree.Write("out/006400C8.OUT");
    tree.Write("out/00640001.OUT");
    tree.Write("out/00640002.OUT");
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Select("2:100/200.0"));
    ASSERT_TRUE(Select("2:100/2.0"));
    tree.Remove("out/00640002.OUT");
    tree.Write("out/00640003.OUT");
    ASSERT_TRUE(Update());
    EXPECT_EQ(Selected(), std::vector<std::string>{"2:100/200.0"});
    EXPECT_EQ(RowNames().size(), 3u);
    EXPECT_EQ(host->OpenDirLists(), 0);
}

// Inside a link the names are full paths: they are matched whole, not by their last part,
// so two files of one name in different directories keep their own selection.
TEST_F(Listing, SelectionSurvivesAnUpdateInsideALink) {
    tree.WriteFlowFile("out/006400C8.FLO",
                       {tree.WriteAttached("a.zip"), tree.WriteAttached("sub/a.zip"),
                        tree.WriteAttached("b.zip")});
    ASSERT_TRUE(OpenLink());
    ASSERT_TRUE(Select(FileRow("a.zip")));
    ASSERT_TRUE(Select(FileRow("b.zip")));
    ASSERT_TRUE(Update());
    EXPECT_EQ(Selected(), (std::vector<std::string>{FileRow("a.zip"), FileRow("b.zip")}));
    EXPECT_EQ(Rows().size(), 3u);
}

// The host keeps the selection by name: the same file named twice gives two rows of one name,
// and either one selected selects both after the next listing.
TEST_F(Listing, RowsOfOneNameAreSelectedTogether) {
    std::string name = tree.WriteAttached("a.zip");
    tree.WriteFlowFile("out/006400C8.FLO", {name, name});
    ASSERT_TRUE(OpenLink());
    ASSERT_EQ(Rows().size(), 2u);
    int first = Panel().IndexOf(FileRow("a.zip"));
    ASSERT_GE(first, 0);
    for (int selectedItem : {first, first + 1}) {
        SCOPED_TRACE(selectedItem);
        Panel().SelectAll(false);
        Panel().ToggleSelection(selectedItem);
        ASSERT_TRUE(Update());
        EXPECT_EQ(Panel().SelectedNames().size(), 2u);
    }
}

#ifndef _WIN32
// Linux names differ by case: each file keeps its own selection.
TEST_F(Listing, NamesThatDifferInCaseKeepTheirOwnSelection) {
    tree.WriteFlowFile("out/006400C8.FLO",
                       {tree.WriteAttached("a.zip"), tree.WriteAttached("A.ZIP")});
    ASSERT_TRUE(OpenLink());
    ASSERT_TRUE(Select(FileRow("A.ZIP")));
    ASSERT_TRUE(Update());
    EXPECT_EQ(Selected(), std::vector<std::string>{FileRow("A.ZIP")});
}
#endif

// A name outside ASCII is shown in its OEM form and keeps its selection: under Wine the
// conversion is real (code page 1252 to 437: E0 E1 become 85 A0); natively names are UTF-8
// and shown as they are.
TEST_F(Listing, NonAsciiNameIsShownInOemAndKeepsItsSelection) {
#ifdef _WIN32
    const std::string ansi = "\xE0\xE1.zip";
    const std::string shown = RunningUnderWine() ? "\x85\xA0.zip" : "";
    if (shown.empty()) GTEST_SKIP() << "the OEM code page of this Windows is not known here";
#else
    const std::string ansi = "\xC3\xA0\xC3\xA1.zip";
    const std::string shown = ansi;
#endif
    // With ANSI file functions (the real host sets them to OEM) the plugin converts the names it
    // reads. The file is made through the Win32 API, which takes the name in the ANSI code page
    // as the plugin reads it (the C++ library may take a narrow name as UTF-8).
    options.ansiFileApis = true;
    std::string path = tree.Win("files") + "\\" + ansi;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    tree.WriteFlowFile("out/006400C8.FLO", {path, tree.WriteAttached("b.zip")});
    ASSERT_TRUE(OpenLink());
    ASSERT_TRUE(Row(FileRow(shown))) << ::testing::PrintToString(RowNames());
    ASSERT_TRUE(Select(FileRow(shown)));
    ASSERT_TRUE(Update());
    EXPECT_EQ(Selected(), std::vector<std::string>{FileRow(shown)});
}

// A quick listing shows no progress box and saves no screen (the box comes after half a
// second; see the link's contents), nor does a listing for the host's find-file operation.
TEST_F(Listing, ProgressBoxAndFindModeAtTheRoot) {
    tree.Write("out/006400C8.OUT");
    ASSERT_TRUE(Open());
    EXPECT_TRUE(front.BoxesOf(ShownBox::ProgressBox).empty());
    EXPECT_EQ(front.ScreensSaved(), 0);
    for (int mode : {int(OPM_FIND), OPM_SILENT | OPM_VIEW | OPM_TOPLEVEL}) {
        std::vector<ShownItem> rows = ListDirectly(mode);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].name, "2:100/200.0");
        EXPECT_TRUE(front.Boxes().empty());
        EXPECT_EQ(front.ScreensSaved(), 0);
    }
    EXPECT_EQ(host->OpenScreens(), 0);
}

} // namespace
