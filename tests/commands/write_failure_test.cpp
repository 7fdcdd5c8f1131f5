// Writes that fail are never taken for success: the poll, the file request and the attach name
// the file they could not write and the system's reason, the attach answers 0 when nothing was
// attached (the host then keeps the other panel's selection), and the outbound stays as it was.
#include "command_test.h"

#include "commands/file_attach.h"
#include "commands/file_request.h"
#include "commands/poll.h"
#include "shell/messages.h"

#include "wine.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

using standin::Expect;
using standin::Side;

class WriteFailures : public CommandTest {
protected:
    WriteFailures() {
        tree.WriteAttached("a.zip");
        tree.WriteAttached("b.txt");
        a = tree.Line("files/a.zip");
        b = tree.Line("files/b.txt");
        options.rightDirectory = tree.Win("files");
    }
    int CopySelected(const std::vector<std::string> &names) {
        host->SetActive(Side::Right);
        for (const std::string &name : names) EXPECT_TRUE(host->Right().Select(name)) << name;
        int result = host->CopyToPluginPanel(false);
        host->SetActive(Side::Left);
        return result;
    }
    std::vector<std::string> SelectedOnTheRight() {
        host->SetActive(Side::Right);
        std::vector<std::string> names = host->Right().SelectedNames();
        host->SetActive(Side::Left);
        return names;
    }
    void Clear(const std::string &relative) {
        std::filesystem::remove_all(tree.dir.Native() / relative);
    }
    // The path the plugin writes, as its box names it.
    std::string Made(const std::string &relative) { return tree.Win(MadeName(relative)); }
    std::string a, b;
};

struct Obstacle {
    const char *name;
    // Puts the obstacle in the way of the link's files; false: not possible here (skipped).
    std::function<bool(OutboundTree &)> arrange;
    DWORD error;
};

// A directory where the file belongs, and a read-only file (Wine leaves the read-only check to
// the Unix permissions, which root passes).
std::vector<Obstacle> Obstacles(const std::string &relative) {
    return {
        {"a directory in the file's place",
         [relative](OutboundTree &tree) {
             tree.MakeDir(relative);
             return true;
         },
         ERROR_ACCESS_DENIED},
        {"a read-only file",
         [relative](OutboundTree &tree) {
             if (RunningUnderWine()) return false;
             tree.Write(relative, "^Z:\\kept.zip\r\n");
             return SetFileAttributesA(tree.Win(relative).c_str(), FILE_ATTRIBUTE_READONLY) != 0;
         },
         ERROR_ACCESS_DENIED},
    };
}

TEST_F(WriteFailures, AttachNamesTheFlowFileAndTheReasonAndAttachesNothing) {
    for (const Obstacle &obstacle : Obstacles("out/006400C8.FLO")) {
        SCOPED_TRACE(obstacle.name);
        if (!obstacle.arrange(tree)) continue;
        ASSERT_TRUE(Open());
        front.Expect(Expect::Dialog("BSOAttach").Edit(AttachAddress, "100/200").Default());
        // One box for the flow file, not one for each file.
        front.Expect(WriteFailure(MsgAttachTitle, Made("out/006400C8.FLO"), obstacle.error));
        EXPECT_EQ(CopySelected({"a.zip", "b.txt"}), 0);
        EXPECT_EQ(front.Verify(), "");
        EXPECT_EQ(SelectedOnTheRight(), (std::vector<std::string>{"a.zip", "b.txt"}));
        Close();
        SetFileAttributesA(tree.Win("out/006400C8.FLO").c_str(), FILE_ATTRIBUTE_NORMAL);
        if (std::string(obstacle.name) == "a read-only file") {
            EXPECT_EQ(Bytes("out/006400C8.FLO"), "^Z:\\kept.zip\r\n");
        }
        Clear("out/006400C8.FLO");
    }
}

TEST_F(WriteFailures, PollNamesTheFlowFileAndTheReason) {
    for (const Obstacle &obstacle : Obstacles("out/006400C8.CLO")) {
        SCOPED_TRACE(obstacle.name);
        if (!obstacle.arrange(tree)) continue;
        ASSERT_TRUE(Open());
        front.Expect(Expect::Dialog("BSOPoll")
                         .Edit(PollAddress, "100/200")
                         .Radio(PollFirstFlavor + 1)
                         .Press(PollOk));
        front.Expect(WriteFailure(MsgPollTitle, Made("out/006400C8.CLO"), obstacle.error));
        EXPECT_TRUE(Press(VK_F7));
        EXPECT_EQ(front.Verify(), "");
        Close();
        SetFileAttributesA(tree.Win("out/006400C8.CLO").c_str(), FILE_ATTRIBUTE_NORMAL);
        Clear("out/006400C8.CLO");
    }
}

// No editor on a request file that cannot be written: what the user typed would be lost.
TEST_F(WriteFailures, FileRequestNamesTheFileAndOpensNoEditor) {
    for (const Obstacle &obstacle : Obstacles("out/006400C8.REQ")) {
        SCOPED_TRACE(obstacle.name);
        if (!obstacle.arrange(tree)) continue;
        ASSERT_TRUE(Open());
        front.Expect(Expect::Dialog("BSOFREQ").Edit(RequestAddress, "100/200").Press(RequestOk));
        front.Expect(WriteFailure(MsgRequestTitle, Made("out/006400C8.REQ"), obstacle.error));
        EXPECT_TRUE(Press(VK_F4));
        EXPECT_EQ(front.Verify(), "");
        Close();
        SetFileAttributesA(tree.Win("out/006400C8.REQ").c_str(), FILE_ATTRIBUTE_NORMAL);
        Clear("out/006400C8.REQ");
    }
}

#ifndef _WIN32

// A name holding a line break would split into two entries: that file alone is refused with
// its reason, the others are attached; with no other file, nothing is and the answer is 0.
TEST_F(WriteFailures, ANameWithALineBreakIsRefusedAlone) {
    tree.WriteAttached("two\nlines.zip");
    ASSERT_TRUE(Open());
    for (bool withOthers : {true, false}) {
        SCOPED_TRACE(withOthers);
        front.Expect(Expect::Dialog("BSOAttach").Edit(AttachAddress, "100/200").Default());
        front.Expect(WriteFailure(MsgAttachTitle, Made("out/006400C8.FLO"), ERROR_INVALID_NAME));
        std::vector<std::string> names = {"two\nlines.zip"};
        if (withOthers) names.push_back("a.zip");
        EXPECT_EQ(CopySelected(names), withOthers ? 1 : 0);
        EXPECT_EQ(front.Verify(), "");
        host->SetActive(Side::Right);
        host->Right().Update();
        host->SetActive(Side::Left);
    }
    EXPECT_EQ(Bytes("out/006400C8.FLO"), CrLf({a}));
}

// The disk full (a limit on the size of the files the process writes): every append that
// cannot be whole leaves the flow file exactly as it was, and is named with the reason. The
// limits run over every size between the file before and after a good attach of two files.
TEST_F(WriteFailures, AFullDiskLeavesTheFlowFileAsItWas) {
    const std::string before = "^Z:\\old\\one.zip\r\n~Z:\\old\\sent.zip"; // an open last line
    const std::string good = before + "\r\n" + CrLf({a, b});
    signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead of ending the process
    // The history's key exists already, so that the host adding to it under the limit only
    // fails to write a value, which it passes over.
    ASSERT_TRUE(Open());
    host->AddToHistory("FAtt.ToAddr", "100/200");
    Close();
    int points = 0;
    for (size_t limit = before.size(); limit < good.size(); ++limit) {
        SCOPED_TRACE("file size limit " + std::to_string(limit));
        tree.Write("out/006400C8.FLO", before);
        ASSERT_TRUE(Open());
        front.Expect(Expect::Dialog("BSOAttach").Edit(AttachAddress, "100/200").Default());
        front.Expect(WriteFailure(MsgAttachTitle, Made("out/006400C8.FLO"), ERROR_DISK_FULL));
        rlimit unlimited;
        getrlimit(RLIMIT_FSIZE, &unlimited);
        rlimit small = unlimited;
        small.rlim_cur = limit;
        setrlimit(RLIMIT_FSIZE, &small);
        int result = CopySelected({"a.zip", "b.txt"});
        setrlimit(RLIMIT_FSIZE, &unlimited);
        EXPECT_EQ(front.Verify(), "");
        // The first line fits from its own size on, whole: then only the second failed.
        std::string afterFirst = before + "\r\n" + CrLf({a});
        bool firstFits = limit >= afterFirst.size();
        EXPECT_EQ(result, firstFits ? 1 : 0);
        EXPECT_EQ(Bytes("out/006400C8.FLO"), firstFits ? afterFirst : before);
        EXPECT_EQ(OutboundNames(), std::vector<std::string>{"out/006400C8.FLO"});
        ++points;
        Close();
    }
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_GT(points, 0);
}

// An outbound directory that may not be written (root passes such permissions).
TEST_F(WriteFailures, AReadOnlyOutboundIsNamed) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not hold for root";
    std::filesystem::permissions(tree.dir.Native() / "out", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    ASSERT_TRUE(Open());
    front.Expect(Expect::Dialog("BSOAttach").Edit(AttachAddress, "100/200").Default());
    front.Expect(WriteFailure(MsgAttachTitle, Made("out/006400C8.FLO"), ERROR_ACCESS_DENIED));
    EXPECT_EQ(CopySelected({"a.zip"}), 0);
    EXPECT_EQ(front.Verify(), "");
    std::filesystem::permissions(tree.dir.Native() / "out", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
}

#endif

} // namespace
