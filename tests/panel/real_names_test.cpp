// A link's rows are real names (OPIF_REALNAMES), so the host's own F8 would delete the files
// they name and leave their flow lines behind: the plugin takes F8 itself.
#include "outbound_fixture.h"

#include "shell/messages.h"

#include <gtest/gtest.h>

using standin::Expect;

namespace {

class RealNames : public OutboundPanelTest {};

// The sysop's F8 on a row of a link never reaches the host's delete: "also delete" takes the
// line out first and then the file, so no line names a file that is gone.
TEST_F(RealNames, F8OnALinkRowTakesTheLineWithTheFile) {
    std::string attached = tree.WriteAttached("a.zip");
    tree.WriteFlowFile("out/006400C8.FLO", {attached});
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Enter("2:100/200.0"));
    ASSERT_TRUE(Panel().Info().flags & OPIF_REALNAMES);
    ASSERT_TRUE(Panel().SetCurrentByName(Panel().Item(1).name));
    front.Expect(Expect::Message(Text(MsgDeleteTitle)).Press(1));
    EXPECT_TRUE(host->PressKey(VK_F8));
    EXPECT_FALSE(tree.Exists("files/a.zip"));
    EXPECT_FALSE(tree.Exists("out/006400C8.FLO")); // its only line went: no poll left
    EXPECT_EQ(front.Verify(), "");
}

} // namespace
