// The link list at the root, listed through the host.
#include "outbound_fixture.h"

#include <gtest/gtest.h>

namespace {

class LinkList : public OutboundPanelTest {};

TEST_F(LinkList, EmptyOutboundListsNothing) {
    ASSERT_TRUE(Open());
    EXPECT_TRUE(Rows().empty());
}

} // namespace
