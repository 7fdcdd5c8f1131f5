// One whole session with the plugin through the stand-in host, for memcheck: open the panel,
// list the links, enter one, remove a queued file from it, go back and poll another link,
// close the panel and unload the module. Every step is checked, so a run that passes under
// valgrind has taken the plugin's real paths (listing, scan, dialogs, flow file rewrite).
#include "outbound_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace {

using standin::Expect;

bool EndsWithIgnoringCase(const std::string &text, const std::string &end) {
    return text.size() >= end.size() &&
           std::equal(end.rbegin(), end.rend(), text.rbegin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// The name of the shown row that ends in the text, or "".
std::string RowEndingIn(const std::vector<std::string> &names, const std::string &end) {
    for (const std::string &name : names)
        if (EndsWithIgnoringCase(name, end)) return name;
    return "";
}

class Cycle : public OutboundPanelTest {};

TEST_F(Cycle, OpenListEnterCommandClose) {
    std::string kept = tree.WriteAttached("kept.zip");
    std::string removed = tree.WriteAttached("removed.zip");
    tree.WriteFlowFile("out/006400C8.FLO", {"^" + kept, "#" + removed, "~done"});
    tree.Write("out/006400C8.CUT", "packet");

    ASSERT_TRUE(Open());
    EXPECT_TRUE(Row("2:100/200.0").has_value());

    ASSERT_TRUE(Enter("2:100/200.0"));
    std::vector<std::string> names = RowNames();
    std::string row = RowEndingIn(names, "removed.zip");
    ASSERT_NE(row, "");
    EXPECT_NE(RowEndingIn(names, "kept.zip"), "");

    // F7 inside the link: confirmed, the line of the file under the cursor leaves the flow file.
    ASSERT_TRUE(Panel().SetCurrentByName(row));
    front.Expect(Expect::Message().Press(0));
    EXPECT_TRUE(host->PressKey(VK_F7));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(tree.ReadLines("out/006400C8.FLO"), (std::vector<std::string>{"^" + kept, "~done"}));
    EXPECT_TRUE(tree.Exists("files/removed.zip"));

    // Back at the root, F7 polls another link: a normal flow file appears.
    ASSERT_TRUE(Enter(".."));
    front.Expect(Expect::Dialog("BSOPoll").Edit(2, "2:100/300").Radio(7).Press(9));
    EXPECT_TRUE(host->PressKey(VK_F7));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_TRUE(Row("2:100/300.0").has_value());

    host->ClosePanel();
    EXPECT_FALSE(Panel().IsPlugin());
    Close();
}

} // namespace
