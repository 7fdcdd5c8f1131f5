// Nodelist names: the lists read as published (every keyword, bad lines, the day files), kept
// until a file changes; and through the host the link rows' names and marks, the question
// before a poll, the health check's findings and the unreadable list named once.
#include "command_test.h"

#include "commands/poll.h"
#include "scan/nodelist.h"
#include "shell/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

namespace {

using standin::Expect;

const char NodelistText[] =
    ";A FidoNet Nodelist for a test\r\n"
    ";S comment\r\n"
    "Hub,9,Before_Any_Zone,Nowhere,Nobody,-Unpublished-,300,CM\r\n" // bad: no zone yet
    "Zone,2,Europe,Europe,Zone_Coordinator,-Unpublished-,300,CM\r\n"
    "Region,50,Russia,Moscow,Region_Coordinator,-Unpublished-,300,CM\r\n"
    "Host,5020,Moscow_Net,Moscow,Net_Coordinator,-Unpublished-,300,CM\r\n"
    "Hub,1,Moscow_Hub,Moscow,Ivan_Petrov,-Unpublished-,300,CM\r\n"
    "Pvt,2,Quiet_Corner,Moscow,Olga_Ivanova,-Unpublished-,300\r\n"
    "Hold,3,Summer_House,Tver,Sergey_Smirnov,-Unpublished-,300\r\n"
    "Down,4,Gone_Fishing,Moscow,Anna_K,-Unpublished-,300\r\n"
    ",5,Plain_Node,Moscow,Dmitry_S,7-495-555-0105,33600,CM,IBN\r\n"
    ",5,Second_Line,Moscow,Twice,-Unpublished-,300\r\n"        // the first line counts
    "Boss,6,No_Such_Keyword,Moscow,X,-Unpublished-,300\r\n"    // bad: keyword
    ",7x,Bad_Number,Moscow,X,-Unpublished-,300\r\n"            // bad: number
    ",70000,Too_Big,Moscow,X,-Unpublished-,300\r\n"            // bad: no address part
    ",8,Short\r\n"                                             // bad: fields missing
    "Zone,3,Asia,Asia,Zone_Coordinator,-Unpublished-,300,CM\n" // LF only
    ",10,Zone_Three_Node,Perth,Bruce,-Unpublished-,300\n"
    "\x1a";
const char PointlistText[] = ",1,Orphan_Point,Moscow,X,-Unpublished-,300\r\n" // bad: no boss
                             "Boss,2:5020/1\r\n"
                             ",5,Hub_Point,Moscow,Pavel_Orlov,-Unpublished-,300\r\n"
                             "Down,6,Point_Down,Moscow,Pyotr,-Unpublished-,300\r\n"
                             "Point,7,Keyword_Point,Moscow,Boris,-Unpublished-,300\r\n"
                             "Boss,2:5020\r\n"; // bad: no node

TEST(Nodelist, EveryKeywordAndTheBadLines) {
    OutboundTree tree;
    tree.Write("nl/nodelist.338", NodelistText);
    tree.Write("nl/points.lst", PointlistText);
    Nodelist list = {};
    ASSERT_TRUE(
        ReadNodelist(&list, tree.Win("nl/nodelist").c_str(), tree.Win("nl/points.lst").c_str()));
    EXPECT_EQ(list.Lists[NodelistFile].BadLines, 5);
    EXPECT_EQ(list.Lists[PointlistFile].BadLines, 2);
    struct Case {
        FtnAddress address;
        NodeStanding standing;
        const char *description; // name|location|sysop
    } cases[] = {
        {{2, 2, 0, 0}, NodeListed, "Europe|Europe|Zone Coordinator"},
        {{2, 50, 0, 0}, NodeListed, "Russia|Moscow|Region Coordinator"},
        {{2, 5020, 0, 0}, NodeListed, "Moscow Net|Moscow|Net Coordinator"},
        {{2, 5020, 1, 0}, NodeListed, "Moscow Hub|Moscow|Ivan Petrov"},
        {{2, 5020, 2, 0}, NodeListed, "Quiet Corner|Moscow|Olga Ivanova"},
        {{2, 5020, 3, 0}, NodeHeld, "Summer House|Tver|Sergey Smirnov"},
        {{2, 5020, 4, 0}, NodeDown, "Gone Fishing|Moscow|Anna K"},
        {{2, 5020, 5, 0}, NodeListed, "Plain Node|Moscow|Dmitry S"},
        {{3, 3, 10, 0}, NodeListed, "Zone Three Node|Perth|Bruce"},
        {{2, 5020, 9, 0}, NodeUnlisted, nullptr},
        {{2, 5020, 6, 0}, NodeUnlisted, nullptr},
        {{2, 5020, 1, 5}, NodeListed, "Hub Point|Moscow|Pavel Orlov"},
        {{2, 5020, 1, 6}, NodeDown, "Point Down|Moscow|Pyotr"},
        {{2, 5020, 1, 7}, NodeListed, "Keyword Point|Moscow|Boris"},
        {{2, 5020, 1, 1}, NodeUnlisted, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.description ? c.description : "unlisted");
        const NodelistNode *node;
        EXPECT_EQ(JudgeNode(&list, &c.address, &node), c.standing);
        std::string shown =
            node ? std::string(node->SystemName) + "|" + node->Location + "|" + node->Sysop
                 : std::string();
        EXPECT_EQ(shown, c.description ? c.description : "");
    }
    // Without a point list points are not judged; nodes still are.
    ASSERT_TRUE(ReadNodelist(&list, tree.Win("nl/nodelist.338").c_str(), ""));
    const NodelistNode *node;
    FtnAddress point = {2, 5020, 1, 5}, down = {2, 5020, 4, 0};
    EXPECT_EQ(JudgeNode(&list, &point, &node), NodeNotJudged);
    EXPECT_EQ(JudgeNode(&list, &down, &node), NodeDown);
    FreeNodelist(&list);
}

TEST(Nodelist, TheNewestPlainDayFileIsTaken) {
    struct Case {
        std::vector<std::string> files; // "name" a file, "name/" a folder
        const char *configured;
        const char *chosen; // "" none
    } cases[] = {
        {{"NODELIST.331", "NODELIST.338", "NODELIST.Z45", "NODELIST.345/"},
         "NODELIST",
         "NODELIST.338"},
        {{"nodelist.362", "NODELIST.005"}, "NodeList", "NODELIST.005"}, // the new year's
        {{"nodelist.100", "nodelist.099"}, "nodelist", "nodelist.100"},
        {{"nodelist.1000", "nodelist.a49", "nodelistx.338"}, "nodelist", ""},
        {{"mylist.txt"}, "mylist.txt", "mylist.txt"}, // a file named whole
        {{"NODELIST.338"}, "NODELIST.337", ""},
    };
    int n = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.configured);
        OutboundTree tree;
        std::string folder = "nl" + std::to_string(n++) + "/";
        for (const std::string &file : c.files)
            if (file.back() == '/')
                tree.MakeDir(folder + file);
            else
                tree.Write(folder + file, "x");
        char chosen[MAX_PATH];
        bool found = ChooseNodelistFile(tree.Win(folder + c.configured).c_str(), chosen);
        EXPECT_EQ(found, c.chosen[0] != '\0');
        EXPECT_EQ(found ? std::string(chosen) : std::string(),
                  found ? tree.Win(folder + c.chosen) : "");
    }
}

// A list unchanged in name, size and write time is not read again; a new day file is.
TEST(Nodelist, ReadAgainOnlyWhenTheFileChanged) {
    OutboundTree tree;
    const std::string line = "Zone,2,Europe,Europe,Zone_Coordinator,-Unpublished-,300\r\n";
    tree.Write("nl/nodelist.338", line);
    // Whole seconds: the file system library of some platforms keeps no finer time.
    const auto written = std::chrono::floor<std::chrono::seconds>(
        std::filesystem::last_write_time(tree.Native("nl/nodelist.338")));
    std::filesystem::last_write_time(tree.Native("nl/nodelist.338"), written);
    std::string base = tree.Win("nl/nodelist");
    Nodelist list = {};
    FtnAddress zone = {2, 2, 0, 0};
    auto name = [&] {
        const NodelistNode *node = FindNode(&list, &zone);
        return node ? std::string(node->SystemName) : std::string();
    };
    ASSERT_TRUE(RefreshNodelist(&list, base.c_str(), ""));
    EXPECT_EQ(name(), "Europe");
    struct Step {
        const char *file, *system;
        int hours; // the write time: the first file's moved by this much
        const char *shown;
    } steps[] = {
        {"nl/nodelist.338", "Europa", 0, "Europe"}, // the same size and time: unchanged
        {"nl/nodelist.338", "Europa", 1, "Europa"},
        {"nl/nodelist.345", "Eurasia", 1, "Eurasia"}, // the next week's file
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.shown);
        std::string text = line;
        text.replace(7, 6, step.system);
        tree.Write(step.file, text);
        std::filesystem::last_write_time(tree.Native(step.file),
                                         written + std::chrono::hours(step.hours));
        ASSERT_TRUE(RefreshNodelist(&list, base.c_str(), ""));
        EXPECT_EQ(name(), step.shown);
    }
    FreeNodelist(&list);
}

class NodelistThroughHost : public CommandTest {
protected:
    void SetUp() override {
        tree.Write("nl/nodelist.338", NodelistText);
        tree.Write("out/139C0004.CUT", std::string(100, 'x')); // 2:5020/4, Down
        tree.Write("out/139C0009.CUT", std::string(100, 'x')); // 2:5020/9, not listed
        tree.Write("out/139C0001.CUT", std::string(100, 'x')); // 2:5020/1, listed
        WriteSettingText("NodelistPath", tree.Win("nl/nodelist"));
    }
    Expect Question(int lineId, const std::string &address, int button) {
        return Expect::Message(Text(MsgPollTitle))
            .Warning()
            .Contains(Text(lineId))
            .Contains(address)
            .Press(button);
    }
};

TEST_F(NodelistThroughHost, RowsShowWhoEachLinkIs) {
    ASSERT_TRUE(Open());
    struct Case {
        const char *row, *description, *sysop, *system;
        int mark;
    } cases[] = {
        {"2:5020/1.0", "Moscow Hub, Ivan Petrov, Moscow", "Ivan Petrov", "Moscow Hub", -1},
        {"2:5020/4.0", "Gone Fishing, Anna K, Moscow", "Anna K", "Gone Fishing",
         MsgNodelistDownMark},
        {"2:5020/9.0", nullptr, nullptr, "", MsgNodelistUnlistedMark},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.row);
        std::optional<standin::ShownItem> row = Row(c.row);
        ASSERT_TRUE(row);
        EXPECT_EQ(row->description,
                  c.description ? std::optional<std::string>(c.description) : std::nullopt);
        EXPECT_EQ(row->owner, c.sysop ? std::optional<std::string>(c.sysop) : std::nullopt);
        ASSERT_EQ(row->columns.size(), 10u);
        EXPECT_EQ(row->columns[8], c.mark < 0 ? "" : Text(c.mark));
        EXPECT_EQ(row->columns[9], c.system);
    }
}

// A Down or unlisted node is asked about once; Cancel makes nothing, OK polls.
TEST_F(NodelistThroughHost, PollAsksBeforeADownOrUnlistedNode) {
    ASSERT_TRUE(Open());
    struct Case {
        const char *typed, *address, *flow;
        int lineId, button;
    } cases[] = {
        {"2:5020/4", "2:5020/4.0", "out/139C0004.FLO", MsgNodeDownQuestion, 1},
        {"2:5020/9", "2:5020/9.0", "out/139C0009.FLO", MsgNodeUnlistedQuestion, 0},
        {"2:5020/1", "2:5020/1.0", "out/139C0001.FLO", -1, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.typed);
        front.Expect(Expect::Dialog("BSOPoll").Edit(PollAddress, c.typed).Press(PollOk));
        if (c.lineId >= 0) front.Expect(Question(c.lineId, c.address, c.button));
        EXPECT_TRUE(Press(VK_F7));
        EXPECT_EQ(front.Verify(), "");
        EXPECT_EQ(Has(c.flow), c.button == 0);
    }
}

TEST_F(NodelistThroughHost, HealthCheckNamesQueuesForDownAndUnlistedNodes) {
    ASSERT_TRUE(Open());
    std::vector<std::string> entries;
    front.Expect(Expect::Dialog("BSOHealth")
                     .Check([&](const standin::ShownBox &box) {
                         for (size_t i = 0; i < box.itemTypes.size(); ++i)
                             if (box.itemTypes[i] == DI_RADIOBUTTON)
                                 entries.push_back(box.drawnTexts[i]);
                         return std::string();
                     })
                     .Esc());
    EXPECT_TRUE(Press(VK_F7, PKF_SHIFT));
    EXPECT_EQ(front.Verify(), "");
    ASSERT_EQ(entries.size(), 3u);
    std::sort(entries.begin() + 1, entries.end()); // Down before Unlisted
    EXPECT_EQ(entries[0].rfind(Text(MsgHealthNodelistLines), 0), 0u) << entries[0];
    EXPECT_NE(entries[0].find(CountText(MsgNodelistSkippedFormat, 5)), std::string::npos);
    EXPECT_EQ(entries[1].rfind(Text(MsgHealthDownNode), 0), 0u) << entries[1];
    EXPECT_NE(entries[1].find("2:5020/4.0"), std::string::npos) << entries[1];
    EXPECT_EQ(entries[2].rfind(Text(MsgHealthUnlistedNode), 0), 0u) << entries[2];
}

// A list that cannot be read is named once; the panel lists as without one.
TEST_F(NodelistThroughHost, AnUnreadableListIsNamedOnce) {
    WriteSettingText("NodelistPath", tree.Win("nl/nolist"));
    // Its texts are the host's, looked at when the box comes.
    front.Expect(Warning(MsgNodelistTitle, MsgNodelistUnreadable, tree.Win("nl/nolist")));
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Update());
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(Row("2:5020/9.0")->columns[8], "");
}

} // namespace
