// A link's rows are real names (OPIF_REALNAMES): the host's own F8 acts on the files they
// name, with the host's question, while the plugin hears nothing of it.
#include "outbound_fixture.h"

#include <gtest/gtest.h>

using standin::Expect;

namespace {

class RealNames : public OutboundPanelTest {};

// The sysop's F8 on a row of a link deletes the attached file itself, not the flow line: the
// line stays behind naming a file that is gone.
TEST_F(RealNames, F8OnALinkRowDeletesTheAttachedFile) {
    std::string attached = tree.WriteAttached("a.zip");
    tree.WriteFlowFile("out/006400C8.FLO", {attached});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Enter("2:100/200.0"));
    ASSERT_TRUE(Panel().Info().flags & OPIF_REALNAMES);
    ASSERT_TRUE(Panel().SetCurrentByName(Panel().Item(1).name));
    front.Expect(Expect::Message("Delete").PressText("Delete"));
    // The listing after the deletion finds the line's file gone and asks about the line.
    front.Expect(Expect::Message().Esc());
    host->PressKey(VK_F8);
    EXPECT_FALSE(tree.Exists("files/a.zip"));
    EXPECT_EQ(tree.ReadLines("out/006400C8.FLO"), std::vector<std::string>{attached});
    EXPECT_EQ(front.Verify(), "");
}

} // namespace
