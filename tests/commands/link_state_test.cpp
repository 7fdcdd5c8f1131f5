// The actions on the mailer's state through the host at the root: F5 holds (the hold file as
// binkd writes it, under the link's busy flag), Shift+F5 releases, F6 resets the tries, and
// Shift+F6 removes a busy flag only once it is stale, after a question with its age and process.
#include "command_test.h"

#include "commands/link_state.h"
#include "shell/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <time.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace {

using standin::Expect;
using standin::ShownBox;

void SetWriteTime(const std::filesystem::path &Path, int64_t At) {
#ifdef _WIN32
    HANDLE file = CreateFileW(Path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Path;
    uint64_t ticks = (static_cast<uint64_t>(At) + 11644473600ull) * 10000000ull;
    FILETIME time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
#else
    struct timespec times[2] = {{static_cast<time_t>(At), 0}, {static_cast<time_t>(At), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, Path.c_str(), times, 0), 0) << Path;
#endif
}

class LinkState : public CommandTest {
protected:
    LinkState() {
        tree.Write("out/006400C8.OUT", "packet");
        tree.Write("out/00640001.OUT", "packet");
    }
    int64_t Now() const { return static_cast<int64_t>(time(nullptr)); }
    // The hold file's name on disk in the platform's case.
    std::string Hold() const { return MadeName("out/006400C8.HLD"); }
    Expect Question(int titleId) { return Expect::Message(Text(titleId)); }
};

// Minutes typed: the hold file holds the end as digits only; a second hold replaces it, and
// neither leaves the busy flag or a temporary file behind. Junk is refused and asked again.
TEST_F(LinkState, HoldWritesTheTimeAsBinkdDoes) {
    ASSERT_TRUE(Open());
    ASSERT_TRUE(SetCurrent("2:100/200.0"));
    front.Expect(Expect::Dialog("BSOHold").Edit(HoldTimeField, "later").Press(HoldOk));
    front.Expect(Warning(MsgHoldTitle, MsgHoldBadTime, "later"));
    front.Expect(Expect::Dialog("BSOHold").Edit(HoldTimeField, "90").Press(HoldOk));
    int64_t before = Now();
    EXPECT_TRUE(Press(VK_F5));
    EXPECT_EQ(front.Verify(), "");
    std::string digits = Bytes("out/006400C8.HLD");
    ASSERT_NE(digits, "<missing>");
    EXPECT_EQ(digits.find_first_not_of("0123456789"), std::string::npos) << digits;
    int64_t until = std::stoll(digits);
    EXPECT_GE(until, before + 5400);
    EXPECT_LE(until, Now() + 5400);

    front.Expect(Expect::Dialog("BSOHold").Edit(HoldTimeField, "5").Press(HoldOk));
    EXPECT_TRUE(Press(VK_F5));
    EXPECT_LE(std::stoll(Bytes("out/006400C8.HLD")), Now() + 300);
    std::vector<std::string> names = OutboundNames();
    EXPECT_EQ(names.size(), 3u); // the two packets and the hold file
    EXPECT_NE(std::find(names.begin(), names.end(), Hold()), names.end());
    // The column says so.
    std::optional<standin::ShownItem> row = Row("2:100/200.0");
    ASSERT_TRUE(row);
    EXPECT_EQ(row->columns.at(7).rfind("held till ", 0), 0u) << row->columns.at(7);
}

// Release and reset work on the selected links after one question; Cancel changes nothing.
TEST_F(LinkState, ReleaseAndResetTheSelectedLinks) {
    for (const char *link : {"006400C8", "00640001"}) {
        tree.Write(std::string("out/") + link + ".hld", std::to_string(Now() + 3600));
        tree.Write(std::string("out/") + link + ".try", std::string("\x01\x00\x00\x00\x00", 5));
    }
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Select("2:100/200.0"));
    ASSERT_TRUE(Select("2:100/1.0"));
    struct Case {
        int key;
        unsigned state;
        int title;
        const char *extension;
    } cases[] = {{VK_F5, PKF_SHIFT, MsgReleaseTitle, ".hld"}, {VK_F6, 0, MsgResetTitle, ".try"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.extension);
        front.Expect(Question(c.title)
                         .Contains(c.title == MsgReleaseTitle
                                       ? "Release the hold of 2 links?"
                                       : "Reset the failed-call counter of 2 links?")
                         .PressText(Text(MsgCancel)));
        EXPECT_TRUE(Press(c.key, c.state));
        EXPECT_TRUE(Has(std::string("out/006400C8") + c.extension));
        front.Expect(Question(c.title).PressText(Text(MsgOk)));
        EXPECT_TRUE(Press(c.key, c.state));
        EXPECT_EQ(front.Verify(), "");
        EXPECT_FALSE(Has(std::string("out/006400C8") + c.extension));
        EXPECT_FALSE(Has(std::string("out/00640001") + c.extension));
    }
    EXPECT_FALSE(Has("out/006400C8.bsy"));
}

// A fresh flag naming no process is refused with its age; one naming a process that is gone
// goes after the question that names its age and process; a link with no flag is told so.
TEST_F(LinkState, OnlyAStaleBusyFlagIsRemoved) {
    tree.Write("out/006400C8.bsy", "");
    SetWriteTime(tree.dir.Native(OnDisk("out/006400C8.bsy").value()), Now() - 1800 - 10);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(SetCurrent("2:100/200.0"));
    front.Expect(Warning(MsgStaleBusyTitle, MsgBusyNotStale, "2:100/200.0 (30m)"));
    EXPECT_TRUE(Press(VK_F6, PKF_SHIFT));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_TRUE(Has("out/006400C8.bsy"));

    tree.Write("out/006400C8.bsy", "99999999\n");
    SetWriteTime(tree.dir.Native(OnDisk("out/006400C8.bsy").value()), Now() - 1800 - 10);
    auto stale = [this](const ShownBox &box) -> std::string {
        std::vector<std::string> lines = {"Remove the busy flag of 2:100/200.0?",
                                          "It was set 30m ago", "by process 99999999"};
        return box.texts == lines ? "" : "lines differ";
    };
    front.Expect(Question(MsgStaleBusyTitle).Check(stale).PressText(Text(MsgCancel)));
    EXPECT_TRUE(Press(VK_F6, PKF_SHIFT));
    EXPECT_TRUE(Has("out/006400C8.bsy"));
    front.Expect(Question(MsgStaleBusyTitle).Check(stale).PressText(Text(MsgOk)));
    EXPECT_TRUE(Press(VK_F6, PKF_SHIFT));
    EXPECT_EQ(front.Verify(), "");
    EXPECT_FALSE(Has("out/006400C8.bsy"));

    front.Expect(Warning(MsgStaleBusyTitle, MsgNoBusyFlag, "2:100/200.0"));
    EXPECT_TRUE(Press(VK_F6, PKF_SHIFT));
    EXPECT_EQ(front.Verify(), "");
}

} // namespace
