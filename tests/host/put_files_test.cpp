// Copying from the file panel onto the plugin panel, and the file panel itself.
#include "host_test_support.h"

#include <functional>

using standin::Panel;
using Names = std::vector<std::string>;

namespace {

class PutFilesTest : public HostTest {
protected:
    void SetUp() override {
        source.Write("one.txt", "1");
        source.Write("two.txt", "22");
        source.Write("three.txt", "333");
        source.MakeDir("folder");
        standin::HostOptions options;
        options.rightDirectory = source.Win();
        ASSERT_NO_FATAL_FAILURE(Load(options));
        state->putFilesResult = 1;
        Open();
        host->SetActive(standin::Side::Right);
    }
    TempDir source;
};

TEST_F(PutFilesTest, FilePanelListsTheDirectory) {
    Panel &files = host->Right();
    EXPECT_FALSE(files.IsPlugin());
    EXPECT_EQ(files.Names(), (Names{"..", "folder", "one.txt", "three.txt", "two.txt"}));
    EXPECT_EQ(files.Item(files.IndexOf("three.txt")).size, 3u);
    EXPECT_EQ(files.CurDir(), source.Win());
    files.SetCurrentByName("folder");
    EXPECT_TRUE(files.Enter());
    EXPECT_EQ(files.Directory(), source.Win("folder"));
    EXPECT_EQ(files.Names(), (Names{".."}));
    EXPECT_TRUE(files.Enter());
    EXPECT_EQ(files.Directory(), source.Win());
    EXPECT_EQ(files.CurrentName(), "folder");
    EXPECT_FALSE(files.ChangeDirectory(source.Win("missing")));
    EXPECT_EQ(files.Directory(), source.Win());
}

TEST_F(PutFilesTest, SelectedItemsWithNamesRelativeToTheirDirectory) {
    Panel &files = host->Right();
    files.Select("one.txt");
    files.Select("two.txt");
    int pluginUpdates = host->Left().UpdateCount();
    EXPECT_EQ(host->CopyToPluginPanel(false), 1);
    EXPECT_STREQ(state->putNames, "one.txt|two.txt");
    EXPECT_EQ(state->putCount, 2);
    EXPECT_EQ(state->putMove, 0);
    EXPECT_EQ(state->putOpMode, 0);
    // Done: the selection is cleared and the plugin panel listed again.
    EXPECT_TRUE(files.SelectedNames().empty());
    EXPECT_EQ(host->Left().UpdateCount(), pluginUpdates + 1);
}

TEST_F(PutFilesTest, F6MovesTheCurrentItemWhenNoneIsSelected) {
    Panel &files = host->Right();
    files.SetCurrentByName("three.txt");
    front.Expect(standin::Expect::Dialog("MoveFiles").ItemText(2, "Test:").Default());
    EXPECT_FALSE(host->PressKey(VK_F6));
    EXPECT_STREQ(state->putNames, "three.txt");
    EXPECT_EQ(state->putMove, 1);
    // During PutFiles the process's current directory is the source panel's.
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    EXPECT_EQ(std::string(current), source.Win());
    EXPECT_EQ(front.Verify(), "");
}

// F5 through the host's Copy dialog: Esc and Cancel call nothing, a target edited into a path
// copies on disk without the plugin, the "Format:" target puts the files into the plugin.
TEST_F(PutFilesTest, TheCopyDialogComesFirst) {
    source.MakeDir("elsewhere");
    Panel &files = host->Right();
    files.SetCurrentByName("one.txt");
    struct Case {
        const char *what;
        std::function<standin::Expect(standin::Expect)> answer;
        int putCount;
        bool onDisk;
    };
    const Case cases[] = {
        {"Esc", [](standin::Expect e) { return e.Esc(); }, 0, false},
        {"Cancel", [](standin::Expect e) { return e.Press(4); }, 0, false},
        {"a path", [](standin::Expect e) { return e.Edit(2, "elsewhere").Default(); }, 0, true},
        {"the plugin", [](standin::Expect e) { return e.Default(); }, 1, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        front.Expect(c.answer(standin::Expect::Dialog("CopyFiles").ItemText(2, "Test:")));
        EXPECT_FALSE(host->PressKey(VK_F5));
        EXPECT_EQ(front.Verify(), "");
        EXPECT_EQ(state->putCount, c.putCount);
        EXPECT_EQ(source.Exists("elsewhere/one.txt"), c.onDisk);
    }
}

TEST_F(PutFilesTest, FailedPutKeepsTheSelection) {
    state->putFilesResult = 0;
    Panel &files = host->Right();
    files.Select("one.txt");
    EXPECT_EQ(host->CopyToPluginPanel(false), 0);
    EXPECT_EQ(files.SelectedNames(), Names{"one.txt"});
}

TEST_F(PutFilesTest, NothingToPut) {
    Panel &files = host->Right();
    files.SetCurrent(0); // ".."
    EXPECT_EQ(host->CopyToPluginPanel(false), -1);
    host->SetActive(standin::Side::Left); // from the plugin panel: not a copy onto it
    EXPECT_EQ(host->CopyToPluginPanel(false), -1);
    EXPECT_EQ(state->putCount, 0);
}

} // namespace
