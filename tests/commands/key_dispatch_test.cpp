// Which keys the plugin takes in which view: every taken key runs its command (seen by the box
// it opens) and then updates and redraws the panel, also when the box is cancelled; every
// other key stays with the host and leaves the panel alone.
#include "command_test.h"

#include "shell/messages.h"

#include <gtest/gtest.h>

namespace {

using standin::Expect;

class KeyTable : public CommandTest {
protected:
    KeyTable() {
        tree.WriteFlowFile("out/006400C8.FLO", {tree.WriteAttached("a.zip")});
        tree.Write("out/00640001.CUT");
    }
};

struct KeyCase {
    const char *name;
    int key;
    unsigned controlState;
    const char *helpTopic;             // the dialog it opens; null: not taken; "": a message box
    int messageTitle = MsgRemoveTitle; // that message box's title
};

TEST_F(KeyTable, AtTheRoot) {
    ASSERT_TRUE(Open());
    ASSERT_TRUE(SetCurrent("2:100/200.0")); // the mailer's actions work on links, not ".."
    const KeyCase cases[] = {
        {"F4", VK_F4, 0, "BSOFREQ"},
        {"Shift+F4", VK_F4, PKF_SHIFT, "BSOFREQ"},
        {"F7", VK_F7, 0, "BSOPoll"},
        {"F5", VK_F5, 0, "BSOHold"},
        {"F6", VK_F6, 0, "", MsgResetTitle},                   // the question first
        {"Shift+F5", VK_F5, PKF_SHIFT, "", MsgReleaseTitle},   // the question first
        {"Shift+F6", VK_F6, PKF_SHIFT, "", MsgStaleBusyTitle}, // no busy flag: a box
        {"F8", VK_F8, 0, "BSOClear"},
        {"Shift+F7", VK_F7, PKF_SHIFT, "BSOHealth"}, // the 0-byte packet is a finding
        {"Ctrl+F7", VK_F7, PKF_CONTROL, nullptr},
        {"Alt+F7", VK_F7, PKF_ALT, nullptr},
        {"Shift+F8", VK_F8, PKF_SHIFT, nullptr},
        {"Ctrl+F4", VK_F4, PKF_CONTROL, nullptr},
        {"Ctrl+Shift+F4", VK_F4, PKF_CONTROL | PKF_SHIFT, nullptr},
        {"Ctrl+F5", VK_F5, PKF_CONTROL, nullptr},
    };
    for (const KeyCase &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.helpTopic && *c.helpTopic)
            front.Expect(Expect::Dialog(c.helpTopic).Esc());
        else if (c.helpTopic)
            front.Expect(Expect::Message(Text(c.messageTitle)).Esc());
        EXPECT_EQ(Press(c.key, c.controlState), c.helpTopic != nullptr);
        EXPECT_EQ(front.Verify(), "");
    }
}

TEST_F(KeyTable, InsideALink) {
    ASSERT_TRUE(OpenLink());
    ASSERT_TRUE(SetCurrent(FileRow("a.zip")));
    const KeyCase cases[] = {
        {"F6", VK_F6, 0, "BSOFlavor"},
        {"Shift+F6", VK_F6, PKF_SHIFT, "BSOFlavor"},
        {"Shift+F4", VK_F4, PKF_SHIFT, "BSOFREQ"},
        {"F7", VK_F7, 0, ""},                 // the removal question, a message box
        {"F8", VK_F8, 0, "", MsgDeleteTitle}, // the plugin's delete, not the host's
        {"F4", VK_F4, 0, nullptr},
        {"Shift+F7", VK_F7, PKF_SHIFT, nullptr},
        {"Ctrl+F7", VK_F7, PKF_CONTROL, nullptr},
        {"Ctrl+F6", VK_F6, PKF_CONTROL, nullptr},
        {"Alt+F6", VK_F6, PKF_ALT, nullptr},
        {"Ctrl+Shift+F6", VK_F6, PKF_CONTROL | PKF_SHIFT, nullptr},
    };
    for (const KeyCase &c : cases) {
        SCOPED_TRACE(c.name);
        if (c.helpTopic && *c.helpTopic)
            front.Expect(Expect::Dialog(c.helpTopic).Esc());
        else if (c.helpTopic)
            front.Expect(Expect::Message(Text(c.messageTitle)).Esc());
        EXPECT_EQ(Press(c.key, c.controlState), c.helpTopic != nullptr);
        EXPECT_EQ(front.Verify(), "");
    }
    // Nothing was answered with a go-on: the outbound is as it was.
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({tree.Win("files/a.zip")}));
    EXPECT_EQ(OutboundNames(), (std::vector<std::string>{"out/00640001.CUT", "out/006400C8.FLO"}));
}

// The cancel buttons too end in an update and a redraw, and ProcessKey still answers 1.
TEST_F(KeyTable, CancelButtonsStillUpdateAndRedraw) {
    ASSERT_TRUE(Open());
    front.Expect(Expect::Dialog("BSOPoll").Press(10));
    EXPECT_TRUE(Press(VK_F7));
    front.Expect(Expect::Dialog("BSOFREQ").Press(6));
    EXPECT_TRUE(Press(VK_F4));
    ASSERT_TRUE(Enter("2:100/200.0"));
    ASSERT_TRUE(SetCurrent(FileRow("a.zip")));
    front.Expect(Expect::Dialog("BSOFlavor").Press(8));
    int updates = Panel().UpdateCount();
    EXPECT_EQ(host->GetExports().ProcessKey(Panel().Handle(), VK_F6, 0), 1);
    EXPECT_EQ(Panel().UpdateCount(), updates + 1);
    EXPECT_EQ(front.Verify(), "");
    EXPECT_EQ(OutboundNames(), (std::vector<std::string>{"out/00640001.CUT", "out/006400C8.FLO"}));
}

} // namespace
