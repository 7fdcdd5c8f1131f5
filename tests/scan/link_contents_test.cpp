// The contents of one link, listed through the host after entering the link: packets, flow
// files, request and busy flags, the files flow files name, and the repair of flow files that
// name missing files. Own address 2:5020/1000; the link is 2:100/200.0 unless said otherwise.
#include "outbound_fixture.h"

#include "shell/messages.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using standin::Expect;
using standin::ShownBox;
using standin::ShownItem;

class LinkContents : public OutboundPanelTest {
protected:
    // The row name of a file in the outbound: the directory in upper case, the name as found.
    std::string OutRow(const std::string &directory, const std::string &name) {
        return tree.Shown(directory) + name;
    }
    std::string FileRow(const std::string &name) { return OutRow("files", name); }

    // Every row as "name [busy|request|netmail|flow|source]", sorted.
    std::vector<std::string> Items() {
        std::vector<std::string> items;
        for (const ShownItem &row : Rows()) {
            EXPECT_EQ(row.columns.size(), 10u) << row.name;
            if (row.columns.size() != 10) continue;
            items.push_back(row.name + " [" + row.columns[BusyColumn] + "|" +
                            row.columns[RequestColumn] + "|" + row.columns[NetmailColumn] + "|" +
                            row.columns[FlowColumn] + "|" + row.columns[SourceColumn] + "]");
        }
        std::sort(items.begin(), items.end());
        return items;
    }
    bool OpenLink(const std::string &link = "2:100/200.0") {
        if (!Open()) return false;
        if (!Enter(link)) {
            ADD_FAILURE() << "cannot enter " << link;
            return false;
        }
        EXPECT_EQ(Panel().CurDir(), link);
        return true;
    }
    // The question about a missing file, answered with the button (the first keeps the line,
    // 1 takes the entry out).
    Expect MissingFileQuestion(const std::string &name, int button) {
        return Expect::Message()
            .Check([this, name](const ShownBox &box) -> std::string {
                std::vector<std::string> lines = {Text(MsgFileNotFound), name,
                                                  Text(MsgDropMissingLine)};
                std::vector<std::string> buttons = {Text(MsgCancel), Text(MsgOk)};
                if (box.title != Text(MsgWarning)) return "title " + box.title;
                if (!(box.flags & FMSG_WARNING)) return "not a warning";
                if (box.texts != lines) return "lines differ, name: " + box.texts.at(1);
                if (box.buttons != buttons) return "buttons differ";
                return "";
            })
            .Press(button);
    }
};

TEST_F(LinkContents, PacketsRequestAndBusyFlagGiveOneRowEach) {
    for (const char *name : {"006400C8.OUT", "006400C8.REQ", "006400C8.BSY"})
        tree.Write(std::string("out/") + name);
    tree.Write("out/00640001.OUT"); // another link
    tree.Write("out/006400C8.TXT"); // no outbound file
    tree.MakeDir("out/006400C8.CUT");
    ASSERT_TRUE(OpenLink());
    std::vector<std::string> expected = {
        OutRow("out", "006400C8.BSY") + " [*||.....|.....|]",
        OutRow("out", "006400C8.OUT") + " [||...F.|.....|]",
        OutRow("out", "006400C8.REQ") + " [|*|.....|.....|]",
    };
    EXPECT_EQ(Items(), expected);
    for (const ShownItem &row : Rows()) EXPECT_FALSE(row.IsDirectory()) << row.name;
}

// Points and other zones: only the directory the link's base path names is searched, so the
// own zone's link lists the root alone even where "out.002" holds its files too.
TEST_F(LinkContents, PointAndZoneLinksListTheirOwnDirectory) {
    tree.Write("out/006400C8.OUT");
    tree.Write("out.002/006400C8.HUT");
    tree.Write("out/006400C8.PNT/0000000A.CUT");
    tree.Write("out.003/006400C8.IUT");
    struct Case {
        const char *link;
        std::string row;
    } cases[] = {
        {"2:100/200.0", OutRow("out", "006400C8.OUT") + " [||...F.|.....|]"},
        {"2:100/200.10", OutRow("out/006400C8.PNT", "0000000A.CUT") + " [||.C...|.....|]"},
        {"3:100/200.0", OutRow("out.003", "006400C8.IUT") + " [||I....|.....|]"},
    };
    ASSERT_TRUE(Open());
    for (const Case &c : cases) {
        SCOPED_TRACE(c.link);
        ASSERT_TRUE(Enter(c.link));
        EXPECT_EQ(Items(), std::vector<std::string>{c.row});
        ASSERT_TRUE(Enter(".."));
    }
}

// A flow file's entries replace the flow file's own row; "~" lines name nothing.
TEST_F(LinkContents, FlowFileListsTheFilesItNames) {
    tree.WriteAttached("A.ZIP");
    tree.WriteAttached("b.zip");
    tree.WriteFlowFile("out/006400C8.CLO",
                       {"^" + tree.Win("files/a.zip"), "~" + tree.Win("files/b.zip")});
    ASSERT_TRUE(OpenLink());
    EXPECT_EQ(Items(), std::vector<std::string>{FileRow("A.ZIP") + " [||.....|.C...|.CLO]"});
}

// Every line gives its own row, even the same file twice; directives, wildcards, directories,
// names relative to the current directory (the panel's), the extension's case as found.
TEST_F(LinkContents, EveryEntryGivesItsOwnRow) {
    tree.WriteAttached("a.zip");
    tree.WriteAttached("b.txt");
    tree.WriteAttached("sub/only.zip");
    tree.MakeDir("files/dir");
    options.leftDirectory = tree.Win("files");
    tree.WriteFlowFile("out/006400c8.hlo", {"#" + tree.Win("files/a.zip"), tree.Win("files/a.zip"),
                                            tree.Win("files/*.txt"), tree.Win("files/sub/*"),
                                            tree.Win("files/dir"), "b.txt"});
    tree.WriteFlowFile("out/006400C8.ILO", {"^" + tree.Win("files/b.txt")});
    ASSERT_TRUE(OpenLink());
    std::vector<std::string> expected = {
        "b.txt [||.....|....H|.hlo]",
        FileRow("a.zip") + " [||.....|....H|.hlo]",
        FileRow("a.zip") + " [||.....|....H|.hlo]",
        FileRow("b.txt") + " [||.....|....H|.hlo]",
        FileRow("b.txt") + " [||.....|I....|.ILO]",
        FileRow("dir") + " [||.....|....H|.hlo]",
        OutRow("files/sub", "only.zip") + " [||.....|....H|.hlo]",
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Items(), expected);
    std::optional<ShownItem> directory = Row(FileRow("dir"));
    ASSERT_TRUE(directory);
    EXPECT_TRUE(directory->IsDirectory());
}

// A flow file from which no row came is listed itself.
TEST_F(LinkContents, FlowFileWithoutEntriesIsListedItself) {
    struct Case {
        const char *what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"only done entries", "~" + tree.Win("files/gone.zip") + "\r\n~x\r\n"},
        {"done entry without a line end", "~" + tree.Win("files/gone.zip")},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        tree.Write("out/006400C8.FLO", c.bytes);
        ASSERT_TRUE(OpenLink());
        EXPECT_EQ(Items(),
                  std::vector<std::string>{OutRow("out", "006400C8.FLO") + " [||.....|...F.|]"});
        EXPECT_EQ(tree.Read("out/006400C8.FLO"), c.bytes);
        Close();
    }
}

// A line of 300 characters is one name, never two: the remainder of a short read would be a
// name of its own and lead to a question or a row of something else. A name too long for a
// panel row still gets a row, shortened in the middle, from its flow file; no question (it
// cannot be looked up), and the entry stays.
TEST_F(LinkContents, LongLineIsOneName) {
    std::string directory = tree.Win("files") + "\\";
    std::string longName = directory + std::string(300 - directory.size() - 4, 'n') + ".zip";
    ASSERT_EQ(longName.size(), 300u);
    // What the rest of the line would name after a read of 255 characters.
    tree.WriteAttached(longName.substr(254));
    std::string bytes = "^" + longName + "\r\n";
    tree.Write("out/006400C8.FLO", bytes);
    options.leftDirectory = tree.Win("files");
    ASSERT_TRUE(OpenLink());
    std::string shortened = ShownLineDirectory(directory) +
                            std::string(128 - directory.size(), 'n') + "..." +
                            std::string(128 - 4, 'n') + ".zip";
    EXPECT_EQ(Items(), std::vector<std::string>{shortened + " [||.....|...F.|.FLO]"});
    EXPECT_EQ(tree.Read("out/006400C8.FLO"), bytes);

    // Beside an entry that gives a row, the flow file is not listed.
    tree.WriteAttached("a.zip");
    bytes += "^" + tree.Win("files/a.zip") + "\r\n";
    tree.Write("out/006400C8.FLO", bytes);
    ASSERT_TRUE(Update());
    std::vector<std::string> expected = {FileRow("a.zip") + " [||.....|...F.|.FLO]",
                                         shortened + " [||.....|...F.|.FLO]"};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Items(), expected);
}

// Keeping the entry (first button, or Esc) leaves the flow file alone and the file a row
// marked missing. Only a listing the user asked for asks: an automatic refresh or a sort does
// not, Ctrl+R does again.
TEST_F(LinkContents, KeepingAMissingEntry) {
    for (int button : {0, -1}) {
        SCOPED_TRACE(button);
        std::string missing = tree.Win("files/gone.zip");
        // Beside a file of the same line's kind: its row differs from the missing one's by
        // the missing mark alone.
        tree.WriteAttached("a.zip");
        std::string bytes = "^" + tree.Win("files/a.zip") + "\r\n^" + missing + "\r\n";
        tree.Write("out/006400C8.CLO", bytes);
        Expect question = MissingFileQuestion(missing, 0);
        front.Expect(button < 0 ? question.Esc() : question.Press(button));
        ASSERT_TRUE(OpenLink());
        EXPECT_EQ(front.Verify(), "");
        std::vector<std::string> row = {FileRow("a.zip") + " [||.....|.C...|.CLO]",
                                        FileRow("gone.zip") + " [||.....|" +
                                            Text(MsgMissingFileMark) + "|.CLO]"};
        EXPECT_EQ(Items(), row);
        ASSERT_TRUE(Row(FileRow("gone.zip")));
        EXPECT_EQ(Row(FileRow("gone.zip"))->description, Text(MsgFileMissingRow));
        EXPECT_FALSE(Row(FileRow("a.zip"))->description);
        ASSERT_TRUE(Update());
        EXPECT_EQ(front.Verify(), "");
        // Ctrl+F3 (0x72, the code of 'r') sorts; it is no re-read the user asked for.
        host->PressKey(VK_F3, PKF_CONTROL);
        ASSERT_TRUE(Update());
        EXPECT_EQ(front.Verify(), "");
        front.Expect(MissingFileQuestion(missing, 0));
        host->PressKey('R', PKF_CONTROL);
        EXPECT_EQ(front.Verify(), "");
        EXPECT_EQ(Items(), row);
        EXPECT_EQ(tree.Read("out/006400C8.CLO"), bytes);
        Close();
    }
}

// Taking the entry out rewrites the flow file without its line and reads it again: the rows
// of that flow file come once, rows of other items stay.
TEST_F(LinkContents, TakingAMissingEntryOut) {
    tree.WriteAttached("a.zip");
    tree.WriteAttached("c.zip");
    tree.WriteAttached("d.zip");
    std::string missing = tree.Win("files/gone.zip");
    tree.Write("out/006400C8.OUT");
    tree.WriteFlowFile("out/006400C8.ILO", {"^" + tree.Win("files/d.zip")});
    tree.WriteFlowFile("out/006400C8.CLO", {"^" + tree.Win("files/a.zip"), "#" + missing, "~done",
                                            tree.Win("files/c.zip")});
    front.Expect(MissingFileQuestion(missing, 1));
    ASSERT_TRUE(OpenLink());
    EXPECT_EQ(front.Verify(), "");
    std::vector<std::string> expected = {
        OutRow("out", "006400C8.OUT") + " [||...F.|.....|]",
        FileRow("a.zip") + " [||.....|.C...|.CLO]",
        FileRow("c.zip") + " [||.....|.C...|.CLO]",
        FileRow("d.zip") + " [||.....|I....|.ILO]",
    };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Items(), expected);
    EXPECT_EQ(tree.ReadLines("out/006400C8.CLO"),
              (std::vector<std::string>{"^" + tree.Win("files/a.zip"), "~done",
                                        tree.Win("files/c.zip")}));
    EXPECT_FALSE(tree.Exists("out/006400C8.TMP"));
}

// Two missing entries: two questions, one re-read each; a blank line is no entry and asks
// nothing. When the last entry naming a file goes, the flow file goes too: left with only a
// blank line it would be a poll, and the mailer would call the link.
TEST_F(LinkContents, TakingEveryEntryOutRemovesTheFlowFile) {
    std::string first = tree.Win("files/one.zip"), second = tree.Win("files/two.zip");
    tree.WriteFlowFile("out/006400C8.FLO", {first, "", "^" + second});
    front.Expect(MissingFileQuestion(first, 1));
    front.Expect(MissingFileQuestion(second, 1));
    ASSERT_TRUE(OpenLink());
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Items(), std::vector<std::string>{});
    EXPECT_FALSE(tree.Exists("out/006400C8.FLO"));
    EXPECT_FALSE(tree.Exists("out/006400C8.TMP"));
    EXPECT_FALSE(tree.Exists("out/006400c8.bsy"));
}

// Only the line of the missing name goes: a wildcard line that covers the name but names an
// existing file stays queued.
TEST_F(LinkContents, TakingOutLeavesWildcardLinesThatCoverTheName) {
    tree.WriteAttached("b.zip");
    std::string missing = tree.Win("files/a.zip");
    std::string wildcard = tree.Win("files/*.zip");
    tree.WriteFlowFile("out/006400C8.FLO", {"^" + missing, wildcard});
    front.Expect(MissingFileQuestion(missing, 1));
    ASSERT_TRUE(OpenLink());
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Items(), std::vector<std::string>{FileRow("b.zip") + " [||.....|...F.|.FLO]"});
    EXPECT_EQ(tree.ReadLines("out/006400C8.FLO"), std::vector<std::string>{wildcard});
}

// A wildcard name that matches nothing is missing like any other name.
TEST_F(LinkContents, WildcardWithoutMatchIsMissing) {
    std::string wildcard = tree.Win("files/*.arj");
    tree.WriteFlowFile("out/006400C8.FLO", {wildcard});
    front.Expect(MissingFileQuestion(wildcard, 0));
    ASSERT_TRUE(OpenLink());
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Items(), std::vector<std::string>{FileRow("*.arj") + " [||.....|" +
                                                Text(MsgMissingFileMark) + "|.FLO]"});
}

// Past 2,048 rows the question is still asked, the removal still happens, and rows met later
// appear: the table grows.
TEST_F(LinkContents, LargeLinkStillRepairs) {
    std::string name = tree.WriteAttached("a.zip");
    std::string missing = tree.Win("files/gone.zip");
    std::vector<std::string> lines(2048, name);
    lines.push_back(missing);
    lines.push_back(tree.WriteAttached("late.zip"));
    tree.WriteFlowFile("out/006400C8.FLO", lines);
    front.Expect(MissingFileQuestion(missing, 1));
    ASSERT_TRUE(OpenLink());
    EXPECT_EQ(front.Verify(), "");
    std::vector<ShownItem> rows = Rows();
    EXPECT_EQ(rows.size(), 2049u);
    EXPECT_TRUE(Row(FileRow("late.zip")));
    std::vector<std::string> left = tree.ReadLines("out/006400C8.FLO");
    EXPECT_EQ(left.size(), 2049u);
    EXPECT_EQ(std::count(left.begin(), left.end(), missing), 0);
}

// A quick listing shows no progress box; one that has run half a second (here: a slow
// answer, then the scan again) shows it, naming the link. With OPM_FIND there is none, and
// the host's walk asks nothing.
TEST_F(LinkContents, ProgressBoxAndFindMode) {
    std::string first = tree.Win("files/one.zip"), second = tree.Win("files/two.zip");
    tree.WriteFlowFile("out/006400C8.FLO", {first, second});
    front.Expect(MissingFileQuestion(first, 1).Check([](const ShownBox &) -> std::string {
        Sleep(600);
        return "";
    }));
    // Both are asked before the repair; the scan after it shows the box, the time the
    // questions were open counted.
    front.Expect(MissingFileQuestion(second, 0).Check([this](const ShownBox &) -> std::string {
        return front.ProgressBoxesOnScreen() == 0 ? "" : "a progress box over the questions";
    }));
    ASSERT_TRUE(OpenLink());
    EXPECT_EQ(front.Verify(), "");
    std::vector<ShownBox> progress = front.BoxesOf(ShownBox::ProgressBox);
    ASSERT_EQ(progress.size(), 1u);
    EXPECT_EQ(progress.back().title, Text(MsgScanTitle));
    std::string format = Text(MsgScanProgressFormat);
    std::string line = format.replace(format.find("%s"), 2, "2:100/200.0");
    EXPECT_EQ(progress.back().texts, std::vector<std::string>{line});

    front.ClearBoxes();
    ASSERT_TRUE(Update());
    EXPECT_TRUE(front.BoxesOf(ShownBox::ProgressBox).empty());
    int saved = front.ScreensSaved();
    std::vector<ShownItem> rows = ListDirectly(OPM_FIND);
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(rows.size(), 1u);
    EXPECT_TRUE(front.BoxesOf(ShownBox::ProgressBox).empty());
    EXPECT_EQ(front.ScreensSaved(), saved);
    EXPECT_EQ(host->OpenScreens(), 0);
}

} // namespace
