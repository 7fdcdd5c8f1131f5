// Closing the panel: the instance hands its start directory back with FCTL_SETPANELDIR from
// inside ClosePlugin, and the real host then closes the panel again (FE_CLOSE and ClosePlugin)
// while the instance is going away. Both calls must do nothing.
#include "outbound_fixture.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

class Closing : public OutboundPanelTest {};

TEST_F(Closing, TheHostsReentryIsHarmless) {
    tree.Write("out/006400C8.OUT", "packet");
    ASSERT_TRUE(Open());
    const std::string before = Panel().Directory();
    struct Case {
        const char *how;
        std::function<void()> close;
    };
    const Case cases[] = {
        {"the host closes it", [&] { host->ClosePanel(); }},
        {"Enter on \"..\" at the root",
         [&] {
             ASSERT_TRUE(Panel().SetCurrent(0));
             ASSERT_TRUE(Panel().IsDotsItem(0));
             host->PressKey(VK_RETURN);
         }},
    };
    int reentered = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.how);
        if (!Panel().IsPlugin()) {
            ASSERT_TRUE(host->OpenPanel(OPEN_DISKMENU));
        }
        c.close();
        EXPECT_FALSE(Panel().IsPlugin());
        EXPECT_EQ(host->ReenteredCloses(), ++reentered);
        EXPECT_EQ(Panel().Directory(), before);
        EXPECT_TRUE(host->Failures().empty()) << host->Failures().front();
    }
}

} // namespace
