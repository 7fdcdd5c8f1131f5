// The scripted front end: answers from its queue, records every box, fails on the unexpected.
#include "host_test_support.h"

using standin::Expect;
using standin::ShownBox;

namespace {

class ScriptedTest : public HostTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(Load());
        Open();
        state->takeKey = VK_F7;
    }
    void Run(int action) {
        state->keyAction = action;
        EXPECT_TRUE(host->PressKey(VK_F7));
    }
};

TEST_F(ScriptedTest, DialogAnswerFillsTheItems) {
    front.Expect(Expect::Dialog("TestTopic")
                     .Title("Test dialog")
                     .Contains("Check")
                     .ItemText(1, "")
                     .Selected(3, 1)
                     .Edit(1, "2:5020/1")
                     .SetCheck(2)
                     .Radio(4)
                     .PressText("OK"));
    Run(ActionDialog);
    EXPECT_EQ(state->dialogResult, 5);
    EXPECT_STREQ(state->dialogEdit, "2:5020/1");
    EXPECT_EQ(state->dialogCheck, 1);
    EXPECT_EQ(state->dialogRadio1, 0); // the group's other button goes off
    EXPECT_EQ(state->dialogRadio2, 1);
    ASSERT_EQ(front.Boxes().size(), 1u);
    const ShownBox &box = front.Boxes()[0];
    EXPECT_EQ(box.kind, ShownBox::DialogBox);
    EXPECT_EQ(box.texts[2], "&Check");
    EXPECT_EQ(box.buttons, (std::vector<std::string>{"&OK", "Cancel"}));
    EXPECT_EQ(box.result, 5);
    EXPECT_EQ(box.answeredTexts[1], "2:5020/1");
    EXPECT_EQ(box.width, 40);
    EXPECT_EQ(front.Verify(), "");
}

TEST_F(ScriptedTest, MessageAnsweredByButton) {
    front.Expect(Expect::Message("Title").Warning().Contains("Line one").Press(1));
    Run(ActionMessage);
    EXPECT_EQ(state->messageResult, 1);
    front.Expect(Expect::Message().PressText("OK"));
    Run(ActionMessage);
    EXPECT_EQ(state->messageResult, 0);
    front.Expect(Expect::Message().Esc());
    Run(ActionMessage);
    EXPECT_EQ(state->messageResult, -1);
    EXPECT_EQ(front.BoxesOf(ShownBox::MessageBox).size(), 3u);
    EXPECT_EQ(front.Verify(), "");
}

// Failures are checked here instead of failing this test.
class QuietScriptedTest : public ScriptedTest {
protected:
    QuietScriptedTest() {
        front.OnFailure([this](const std::string &what) { seen.push_back(what); });
    }
    std::vector<std::string> seen;
};

TEST_F(QuietScriptedTest, UnexpectedBoxFailsAndIsAnsweredWithEsc) {
    Run(ActionMessage);
    EXPECT_EQ(state->messageResult, -1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].find("no answer expects"), std::string::npos) << seen[0];
    EXPECT_NE(seen[0].find("Line one"), std::string::npos) << seen[0]; // its texts are shown
    std::string report = front.Verify();
    EXPECT_NE(report.find("Line one"), std::string::npos) << report;
    EXPECT_EQ(front.Verify(), ""); // reported once
}

TEST_F(QuietScriptedTest, WrongBoxFailsAndIsAnsweredWithEsc) {
    front.Expect(Expect::Dialog("OtherTopic").Press(5));
    Run(ActionDialog);
    EXPECT_EQ(state->dialogResult, -1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_NE(seen[0].find("help topic is not \"OtherTopic\""), std::string::npos) << seen[0];
    front.Expect(Expect::Message("Title").Press(0));
    Run(ActionDialog); // a dialog where a message box was expected
    EXPECT_EQ(seen.size(), 2u);
    front.Expect(Expect::Dialog().Edit(2, "no edit field").Press(3));
    Run(ActionDialog);
    EXPECT_EQ(seen.size(), 4u); // the item is no edit field, nor is item 3 a button
    front.Verify();
}

TEST_F(QuietScriptedTest, ExpectationsNeverUsedAreReported) {
    front.Expect(Expect::Message("Never"));
    front.ExpectEditor(nullptr);
    EXPECT_EQ(front.PendingExpectations(), 2);
    std::string report = front.Verify();
    EXPECT_NE(report.find("never shown: message title \"Never\""), std::string::npos) << report;
    EXPECT_NE(report.find("editor"), std::string::npos) << report;
    EXPECT_EQ(front.PendingExpectations(), 0);
}

TEST_F(ScriptedTest, ProgressBoxesNeedNoAnswerAndGoWithTheScreen) {
    Run(ActionProgress);
    ASSERT_EQ(front.BoxesOf(ShownBox::ProgressBox).size(), 1u);
    EXPECT_EQ(front.Boxes()[0].title, "Wait");
    EXPECT_EQ(front.Boxes()[0].texts, std::vector<std::string>{"Scanning"});
    EXPECT_EQ(front.ProgressBoxesOnScreen(), 0);
    EXPECT_EQ(host->OpenScreens(), 0);
    state->keepProgress = 1;
    Run(ActionProgress);
    EXPECT_EQ(front.ProgressBoxesOnScreen(), 1);
    EXPECT_EQ(host->OpenScreens(), 1);
}

TEST_F(ScriptedTest, EditorRunsTheCallback) {
    std::snprintf(state->editorFile, sizeof state->editorFile, "%s", work.Win("note.req").c_str());
    std::string seenName, seenTitle;
    front.ExpectEditor(
        [&](const standin::EditorRequest &editor) {
            seenName = editor.fileName;
            seenTitle = editor.title;
            FILE *file = std::fopen(editor.nativePath.c_str(), "wb");
            ASSERT_NE(file, nullptr);
            std::fputs("FILE.ZIP\r\n", file);
            std::fclose(file);
        },
        2);
    Run(ActionEditor);
    EXPECT_EQ(state->editorResult, 2);
    EXPECT_EQ(seenName, work.Win("note.req"));
    EXPECT_EQ(seenTitle, "Edit title");
    EXPECT_EQ(work.Read("note.req"), "FILE.ZIP\r\n");
    EXPECT_EQ(front.BoxesOf(ShownBox::EditorSession).size(), 1u);
}

TEST(StripHotKeyTest, Labels) {
    EXPECT_EQ(standin::StripHotKey("&OK"), "OK");
    EXPECT_EQ(standin::StripHotKey("Save && quit"), "Save & quit");
    EXPECT_EQ(standin::StripHotKey("Plain"), "Plain");
    EXPECT_EQ(standin::StripHotKey("End&"), "End&");
}

} // namespace
