// The link list at the root: the built plugin lists real outbound trees through the host.
// Own address 2:5020/1000, so the root holds zone 2 and "out.003" beside it zone 3.
#include "outbound_fixture.h"

#include <gtest/gtest.h>

#include <stdio.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

using standin::ShownItem;

class LinkList : public OutboundPanelTest {
protected:
    // Every row as "name [busy|request|netmail|flow]", sorted by name: the host's order is
    // the panel's business.
    std::vector<std::string> Links() {
        std::vector<std::string> links;
        for (const ShownItem &row : Rows()) {
            EXPECT_EQ(row.columns.size(), 10u) << row.name;
            if (row.columns.size() != 10) continue;
            EXPECT_TRUE(row.IsDirectory()) << row.name;
            EXPECT_EQ(row.columns[SourceColumn], "") << row.name;
            links.push_back(row.name + " [" + row.columns[BusyColumn] + "|" +
                            row.columns[RequestColumn] + "|" + row.columns[NetmailColumn] + "|" +
                            row.columns[FlowColumn] + "]");
        }
        std::sort(links.begin(), links.end());
        return links;
    }
};

TEST_F(LinkList, FilesOfOneAddressMergeIntoOneRow) {
    for (const char *name : {"006400C8.CUT", "006400C8.HUT", "006400C8.FLO", "006400C8.BSY"})
        tree.Write(std::string("out/") + name);
    ASSERT_TRUE(Open());
    EXPECT_EQ(Links(), std::vector<std::string>{"2:100/200.0 [*||.C..H|...F.]"});
}

// Which rows a tree gives: points, zones, the own zone's directory, names in any case.
TEST_F(LinkList, PointsZonesAndMarks) {
    const char *files[] = {
        "out/006400C8.OUT",                  // 2:100/200.0
        "out/006400C8.PNT/0000000A.OUT",     // 2:100/200.10
        "out/006400C8.PNT/00000000.CLO",     // point 0 merges into the node's row
        "out/006400C8.PNT/0000000A.REQ",     //
        "out.003/006400C8.IUT",              // the same net/node in zone 3: its own row
        "out.003/006400C8.PNT/00000001.DLO", // 3:100/200.1
        "out.002/006400C8.HLO",              // the own zone's directory merges into the root's rows
        "out.00a/0001000a.nut",              // zone 10, lower-case names
        "out/0001000a.pnt/0000000b.ilo",     // 2:1/10.11
        "out/FFFFFFFF.hut",                  // 2:65535/65535.0
    };
    for (const char *file : files) tree.Write(file);
    ASSERT_TRUE(Open());
    std::vector<std::string> expected = {
        "10:1/10.0 [||...F.|.....]",       "2:1/10.11 [||.....|I....]",
        "2:100/200.0 [||...F.|.C..H]",     "2:100/200.10 [|*|...F.|.....]",
        "2:65535/65535.0 [||....H|.....]", "3:100/200.0 [||I....|.....]",
        "3:100/200.1 [||.....|..D..]",
    };
    EXPECT_EQ(Links(), expected);
}

// Names the outbound layout does not know are passed over, silently.
TEST_F(LinkList, NamesThatAreNoOutboundFilesAreIgnored) {
    tree.MakeDir("out/006400C8.OUT");        // a directory with a packet's name
    tree.Write("out/006400C8.TXT");          // no outbound extension
    tree.Write("out/6400C8.OUT");            // seven digits
    tree.Write("out/G001000A.OUT");          // no hex digit
    tree.Write("out/0001000A.OU");           // two-letter extension
    tree.Write("out/0001000A.OUT.BAK");      // two extensions
    tree.Write("out/0001000A.BLO");          // no such flavor
    tree.Write("out/0001000A.PNT");          // a file with a point directory's name
    tree.Write("out/0001000B.PNT/junk.out"); // no point name
    tree.Write("out/0001000B.PNT/0000000C.TXT");
    tree.Write("out/subdir/0001000D.OUT"); // not a point directory
    tree.Write("out.A/0001000E.OUT");      // zone directories need three hex digits
    tree.Write("out.XYZ/0001000E.OUT");
    tree.Write("out.0003/0001000E.OUT");
    tree.Write("out.004"); // a file, not a directory
    ASSERT_TRUE(Open());
    EXPECT_EQ(RowNames(), std::vector<std::string>{});
}

TEST_F(LinkList, MissingOrUnsetOutboundListsNothing) {
    for (const char *path : {"nowhere", ""}) {
        SCOPED_TRACE(path);
        tree.Write("out/006400C8.OUT");
        settings.pathToOutbound = *path ? tree.Win(path) : std::string();
        ASSERT_TRUE(Open());
        EXPECT_TRUE(Rows().empty());
        Close();
    }
}

// The row's size is what waits for the link: here both netmail packets, the root's and the one
// in its point directory (point 0 is the node itself).
TEST_F(LinkList, RowSizeIsTheBacklogOfAllTheLinksFiles) {
    tree.Write("out/006400C8.OUT", "12345");
    tree.Write("out/006400C8.PNT/00000000.HUT", "123456789");
    ASSERT_TRUE(Open());
    std::optional<ShownItem> row = Row("2:100/200.0");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->size, 14u);
    EXPECT_EQ(row->attributes, static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    EXPECT_EQ(row->columns[NetmailColumn], "...FH");
}

// The scan takes every link however many there are (2,048 was once a limit), and files met
// later for links already listed still mark them.
TEST_F(LinkList, ManyLinksAreListedWhole) {
    for (int node = 1; node <= 2048; ++node) {
        char name[32];
        snprintf(name, sizeof name, "out/0001%04X.OUT", node);
        tree.Write(name);
    }
    tree.Write("out/00010001.PNT/00000000.HUT"); // point 0 of 2:1/1: met after the root's files
    tree.Write("out.002/00010002.BSY");          // the own zone's directory, after the root
    tree.Write("out.003/00010001.OUT");          // a 2049th link
    ASSERT_TRUE(Open());
    std::vector<ShownItem> rows = Rows();
    ASSERT_EQ(rows.size(), 2049u);
    EXPECT_TRUE(Row("3:1/1.0"));
    std::optional<ShownItem> first = Row("2:1/1.0"), second = Row("2:1/2.0");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->columns[NetmailColumn], "...FH");
    EXPECT_EQ(second->columns[BusyColumn], "*");
    EXPECT_TRUE(Row("2:1/2048.0"));
}

} // namespace
