// Address histories: kept in the registry, offered to history fields, added by accepted dialogs.
#include "host_test_support.h"

using Names = std::vector<std::string>;

namespace {

class HistoryTest : public HostTest {
protected:
    void SetUp() override { ASSERT_NO_FATAL_FAILURE(Load()); }
};

TEST_F(HistoryTest, NewestFirstWithoutDuplicatesAndBounded) {
    EXPECT_TRUE(host->History("FAtt.ToAddr").empty());
    host->AddToHistory("FAtt.ToAddr", "2:5020/1");
    host->AddToHistory("FAtt.ToAddr", "2:5020/2");
    host->AddToHistory("FAtt.ToAddr", "2:5020/1");
    host->AddToHistory("FAtt.ToAddr", ""); // nothing typed: nothing kept
    EXPECT_EQ(host->History("FAtt.ToAddr"), (Names{"2:5020/1", "2:5020/2"}));
    EXPECT_TRUE(host->History("Other").empty());
    for (int i = 0; i < 17; ++i) host->AddToHistory("Long", std::to_string(i));
    Names kept = host->History("Long");
    ASSERT_EQ(kept.size(), 16u);
    EXPECT_EQ(kept.front(), "16");
    EXPECT_EQ(kept.back(), "1");
}

TEST_F(HistoryTest, KeptAcrossHostsInTheRegistry) {
    host->AddToHistory("FAtt.ToAddr", "1:2/3");
    EXPECT_EQ(host->HistoryKey("FAtt.ToAddr"),
              Options().rootKey.substr(0, Options().rootKey.rfind('\\')) +
                  "\\SavedDialogHistory\\FAtt.ToAddr");
    host.reset();
    standin::ScriptedFrontEnd quiet;
    standin::Host again(quiet, Options());
    EXPECT_EQ(again.History("FAtt.ToAddr"), Names{"1:2/3"});
#ifndef _WIN32
    // On Linux the registry is the file of the test's own.
    EXPECT_NE(work.Read("registry.reg").find("SavedDialogHistory\\FAtt.ToAddr"), std::string::npos)
        << work.Read("registry.reg");
#endif
}

struct DialogCase {
    const char *name;
    bool accept; // the default button, else Cancel or Esc
    bool escape;
    bool kept; // the text went into the history: on any close but Esc
};

class HistoryDialogTest : public HistoryTest, public ::testing::WithParamInterface<DialogCase> {};

TEST_P(HistoryDialogTest, AnyCloseButEscAddsToTheHistory) {
    const DialogCase &c = GetParam();
    host->AddToHistory("Test.History", "earlier");
    Open();
    state->takeKey = VK_F7;
    state->keyAction = ActionDialog;
    standin::Expect answer =
        standin::Expect::Dialog("TestTopic").Title("Test dialog").Edit(1, "typed");
    if (c.accept)
        answer.Default();
    else if (c.escape)
        answer.Esc();
    else
        answer.PressText("Cancel");
    front.Expect(answer);
    EXPECT_TRUE(host->PressKey(VK_F7));
    ASSERT_EQ(front.Boxes().size(), 1u);
    EXPECT_EQ(front.Boxes()[0].histories[1], Names{"earlier"});
    EXPECT_EQ(state->dialogResult, c.accept ? 5 : c.escape ? -1 : 6);
    EXPECT_EQ(host->History("Test.History"),
              c.kept ? (Names{"typed", "earlier"}) : Names{"earlier"});
}

INSTANTIATE_TEST_SUITE_P(Answers, HistoryDialogTest,
                         ::testing::Values(DialogCase{"Accepted", true, false, true},
                                           DialogCase{"Cancelled", false, false, true},
                                           DialogCase{"Escaped", false, true, false}),
                         [](const ::testing::TestParamInfo<DialogCase> &info) {
                             return info.param.name;
                         });

} // namespace
