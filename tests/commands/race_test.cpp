// The mailer's side of the outbound while the panel works: a child process appends lines to a
// link's flow file the way a mailer or tosser does (the link's busy flag made exclusively,
// the line appended, the flag removed), while the panel lists the link again and again,
// takes out the lines of missing files (answering OK) and moves files to another flavor.
// Afterwards every line the child appended is still queued, once, or was taken out on purpose.
#include "command_test.h"

#include "commands/flavor_change.h"
#include "shell/messages.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <map>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char **environ;
#endif

namespace {

const char AppenderVariable[] = "BSOPANEL_RACE_APPENDER";
const int AppendedLines = 400;
const int QueuedBefore = 8;

// Line i of the child: every fourth names a file that does not exist (the repair's work).
std::string AppendedName(int i) {
    return (i % 4 == 3 ? "gone" : "c") + std::to_string(i) + ".zip";
}

// The child's side, through the Win32 calls: what a mailer that honours the flag does.
// Arguments: the flag's path, the flow file's path, the files directory (all Win32 paths).
bool AppendUnderTheFlag(const std::string &flag, const std::string &flow,
                        const std::string &files) {
    for (int i = 0; i < AppendedLines; ++i) {
        HANDLE held = INVALID_HANDLE_VALUE;
        for (int tries = 0; held == INVALID_HANDLE_VALUE; ++tries) {
            held = CreateFileA(flag.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
            if (held == INVALID_HANDLE_VALUE) {
                if (tries > 20000) return false;
                Sleep(1);
            }
        }
        CloseHandle(held);
        std::string line = "^" + files + "\\" + AppendedName(i) + "\r\n";
        HANDLE file = CreateFileA(flow.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        SetFilePointer(file, 0, nullptr, FILE_END);
        // In two writes, so that a listing may meet half a line.
        DWORD written = 0;
        size_t half = line.size() / 2;
        bool ok = WriteFile(file, line.data(), static_cast<DWORD>(half), &written, nullptr) &&
                  WriteFile(file, line.data() + half, static_cast<DWORD>(line.size() - half),
                            &written, nullptr);
        CloseHandle(file);
        if (!ok || !DeleteFileA(flag.c_str())) return false;
        if (i % 3 == 0) Sleep(1);
    }
    return true;
}

// Runs only as the child that the race test starts (the variable holds its three paths).
TEST(RaceChild, AppendsUnderTheBusyFlag) {
    const char *paths = getenv(AppenderVariable);
    if (!paths) GTEST_SKIP() << "only as the race test's child process";
    std::string text = paths;
    size_t first = text.find('|'), second = text.find('|', first + 1);
    ASSERT_NE(second, std::string::npos);
    EXPECT_TRUE(AppendUnderTheFlag(text.substr(0, first),
                                   text.substr(first + 1, second - first - 1),
                                   text.substr(second + 1)));
}

// This test program again, running only the child's test.
class ChildProcess {
public:
    bool Start(const std::string &paths) {
#ifdef _WIN32
        SetEnvironmentVariableA(AppenderVariable, paths.c_str());
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, sizeof self);
        std::string command =
            "\"" + std::string(self) + "\" --gtest_filter=RaceChild.AppendsUnderTheBusyFlag";
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &process);
        SetEnvironmentVariableA(AppenderVariable, nullptr);
        if (!started) return false;
        CloseHandle(process.hThread);
        process_ = process.hProcess;
        return true;
#else
        setenv(AppenderVariable, paths.c_str(), 1);
        char filter[] = "--gtest_filter=RaceChild.AppendsUnderTheBusyFlag";
        char self[] = "/proc/self/exe";
        char *argv[] = {self, filter, nullptr};
        int failed = posix_spawn(&pid_, self, nullptr, nullptr, argv, environ);
        unsetenv(AppenderVariable);
        return failed == 0;
#endif
    }
    bool Running() {
#ifdef _WIN32
        return WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
#else
        if (done_) return false;
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
        done_ = true;
        succeeded_ = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        return false;
#endif
    }
    // Waits for the end; true when the child's test passed.
    bool Succeeded() {
#ifdef _WIN32
        WaitForSingleObject(process_, INFINITE);
        DWORD code = 1;
        GetExitCodeProcess(process_, &code);
        CloseHandle(process_);
        return code == 0;
#else
        while (Running()) usleep(1000);
        return succeeded_;
#endif
    }

private:
#ifdef _WIN32
    HANDLE process_ = nullptr;
#else
    pid_t pid_ = 0;
    bool done_ = false, succeeded_ = false;
#endif
};

class Race : public CommandTest {};

TEST_F(Race, EveryAppendedLineIsAccountedFor) {
    for (int i = 0; i < AppendedLines; ++i)
        if (AppendedName(i)[0] == 'c') tree.WriteAttached(AppendedName(i));
    // A few files queued before the child starts, so that moves have rows to take even where
    // the panel empties the flow file faster than the child fills it (as under Wine).
    std::string flow = MadeName("out/006400C8.FLO");
    std::vector<std::string> queuedBefore = {"^" + tree.WriteAttached("first.zip")};
    for (int i = 0; i < QueuedBefore; ++i)
        queuedBefore.push_back("^" + tree.WriteAttached("cbefore" + std::to_string(i) + ".zip"));
    tree.WriteFlowFile(flow, queuedBefore);
    ASSERT_TRUE(OpenLink());

    // Missing files are taken out; a busy link's question is declined; any warning taken.
    int repairs = 0, busyQuestions = 0;
    std::map<std::string, int> otherBoxes; // warnings, printed at the end
    front.answerMessages = [&](const standin::MessageRequest &box) {
        if (!box.lines.empty() && box.lines[0] == Text(MsgFileNotFound)) {
            ++repairs;
            return 1;
        }
        if (!box.lines.empty() && box.lines[0] == Text(MsgLinkBusy)) {
            // Cancel, wherever the box puts it: going on would write beside the mailer.
            ++busyQuestions;
            for (size_t b = 0; b < box.buttons.size(); ++b)
                if (box.buttons[b] == Text(MsgCancel)) return static_cast<int>(b);
            ADD_FAILURE() << "a busy question without Cancel";
            return -1;
        }
        ++otherBoxes[box.lines.empty() ? box.title : box.lines[0]];
        return 0;
    };

    ChildProcess child;
    ASSERT_TRUE(child.Start(tree.Win(MadeName("out/006400C8.BSY")) + "|" + tree.Win(flow) + "|" +
                            tree.Win("files")));
    int listings = 0;
    // Ctrl+R: only a listing the user asked for asks about missing files.
    while (child.Running()) {
        host->PressKey('R', PKF_CONTROL);
        ++listings;
        if (listings % 4 != 0) continue;
        // Two files queued in the normal flow file move to Crash. A move the busy link
        // stopped before its dialog leaves the dialog's answer for the next one.
        int selected = 0;
        std::string queuedFile = tree.Shown("files") + "c";
        for (const standin::ShownItem &row : Rows())
            if (selected < 2 && row.name.compare(0, queuedFile.size(), queuedFile) == 0 &&
                UpperCase(row.columns.at(SourceColumn)) == ".FLO" && Select(row.name))
                ++selected;
        if (selected == 0) continue;
        if (front.PendingExpectations() == 0)
            front.Expect(
                standin::Expect::Dialog("BSOFlavor").Radio(FlavorFirstChoice + 1).Press(FlavorOk));
        host->PressKey(VK_F6, 0);
    }
    EXPECT_TRUE(child.Succeeded());
    // One Ctrl+R more, with the mailer gone, takes out what is left of the missing files.
    host->PressKey('R', PKF_CONTROL);
    front.answerMessages = nullptr;
    if (front.PendingExpectations() > 0) front.Verify(); // a move the busy link stopped

    std::map<std::string, int> queued;
    std::string contents; // printed when a line is missing
    int moved = 0;
    for (const std::string &name : OutboundNames()) {
        if (name.back() == '/') continue;
        std::string upper = UpperCase(name);
        EXPECT_EQ(upper.find(".BSY"), std::string::npos) << name;
        EXPECT_EQ(upper.find(".TMP"), std::string::npos) << name;
        if (upper.size() < 4 || upper.compare(upper.size() - 2, 2, "LO") != 0) continue;
        bool crash = upper.compare(upper.size() - 3, 3, "CLO") == 0;
        contents += name + ": " + tree.Read(name) + "\n";
        for (const std::string &line : tree.ReadLines(name)) {
            moved += crash;
            size_t slash = line.rfind('\\');
            ++queued[slash == std::string::npos ? line : line.substr(slash + 1)];
        }
    }
    int missingLeft = 0;
    for (int i = 0; i < AppendedLines; ++i) {
        std::string name = AppendedName(i);
        if (name[0] == 'c')
            EXPECT_EQ(queued[name], 1) << name;
        else
            missingLeft += queued[name];
    }
    EXPECT_EQ(queued["first.zip"], 1);
    for (int i = 0; i < QueuedBefore; ++i)
        EXPECT_EQ(queued["cbefore" + std::to_string(i) + ".zip"], 1) << i;
    if (HasFailure()) printf("%s", contents.c_str());
    EXPECT_EQ(missingLeft, 0);
    // The race did happen: listings met the child, some files moved, some lines were repaired.
    EXPECT_GT(listings, 2);
    EXPECT_GT(moved, 0);
    EXPECT_GT(repairs, 0);
    for (const auto &box : otherBoxes)
        printf("race: box \"%s\" %d times\n", box.first.c_str(), box.second);
    printf("race: %d listings, %d lines moved, %d repairs, %d busy questions\n", listings, moved,
           repairs, busyQuestions);
}

} // namespace
