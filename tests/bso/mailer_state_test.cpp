// The mailer's files as binkd writes them: the hold time, the try counters with their comment
// (little-endian, the length byte wrapping), the busy flag's process id, and the times the
// hold dialog takes; then a hold written and read back from a real file.
#include "bso/mailer_state.h"
#include "bso/text_file.h"
#include "commands/link_state.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <time.h>

namespace {

TEST(MailerFiles, HoldText) {
    struct Case {
        std::string text;
        bool valid;
        int64_t until;
    } cases[] = {
        {"1796849036", true, 1796849036},     // as binkd writes it
        {"1796849036\r\n", true, 1796849036}, // an editor's line end
        {"1796849036  \n", true, 1796849036},
        {"", false, 0},
        {" 1796849036", true, 1796849036}, // binkd's fscanf skips blanks first
        {"17968x9036", true, 17968},       // and stops at the first non-digit
        {"1796849036\ntrailing junk", true, 1796849036},
        {"abc", false, 0},
        {"-5", false, 0},
        {"9999999999999999999999", false, 0}, // beyond 64 bits
    };
    for (const Case &c : cases) {
        int64_t until = 0;
        EXPECT_EQ(ParseHoldText(c.text.data(), c.text.size(), &until), c.valid ? 1 : 0) << c.text;
        if (c.valid) {
            EXPECT_EQ(until, c.until) << c.text;
        }
    }
}

// The counters are little-endian, good calls first; a comment of 300 bytes has the length byte 44
// (300 mod 256): the rest of the file is taken, cut to what a row keeps.
TEST(MailerFiles, TryBytesAsBinkdWritesThem) {
    auto tryFile = [](unsigned good, unsigned bad, const std::string &comment, int lengthByte) {
        std::string bytes;
        bytes += static_cast<char>(good & 0xFF);
        bytes += static_cast<char>(good >> 8);
        bytes += static_cast<char>(bad & 0xFF);
        bytes += static_cast<char>(bad >> 8);
        bytes += static_cast<char>(lengthByte);
        return bytes + comment;
    };
    struct Case {
        std::string bytes;
        bool valid;
        unsigned successes, failures;
        std::string result;
    } cases[] = {
        {tryFile(0, 1, "Connection refused", 18), true, 0, 1, "Connection refused"},
        {tryFile(300, 2, "timeout", 7), true, 300, 2, "timeout"},
        {tryFile(1, 0, std::string(300, 'r'), 300 & 0xFF), true, 1, 0, std::string(255, 'r')},
        {tryFile(1, 0, std::string(100, 'r'), 44), true, 1, 0, std::string(100, 'r')},
        {tryFile(2, 0, "", 0), true, 2, 0, ""},
        {tryFile(2, 0, "a\nb", 3), true, 2, 0, "a"},
        {std::string("\x01\x00\x00\x00", 4), false, 0, 0, ""},
    };
    for (const Case &c : cases) {
        MailerState state = {};
        EXPECT_EQ(ParseTryBytes(reinterpret_cast<const unsigned char *>(c.bytes.data()),
                                c.bytes.size(), &state),
                  c.valid ? 1 : 0);
        if (!c.valid) continue;
        EXPECT_EQ(state.Successes, c.successes);
        EXPECT_EQ(state.Failures, c.failures);
        EXPECT_EQ(std::string(state.LastResult), c.result);
    }
}

TEST(MailerFiles, BusyTextAndNames) {
    EXPECT_EQ(ParseBusyText(" 12345\n", 7), 12345ul);
    EXPECT_EQ(ParseBusyText("", 0), 0ul);
    EXPECT_EQ(ParseBusyText("binkd", 5), 0ul);
    // A flag whose process runs is never stale; one naming a gone process always is.
    EXPECT_TRUE(ProcessRuns(GetCurrentProcessId()));
    EXPECT_FALSE(IsBusyFlagStale(1, true, 1000000, 3600));
    EXPECT_TRUE(IsBusyFlagStale(1, false, 0, 3600));
    EXPECT_FALSE(IsBusyFlagStale(0, false, 3600, 3600));
    EXPECT_TRUE(IsBusyFlagStale(0, false, 3601, 3600));
    struct Case {
        const char *name;
        MailerFile kind;
    } names[] = {{"139c07d0.hld", HoldFile},     {"139C07D0.TRY", TryFile},
                 {"0000000a.csy", CallFlag},     {"139c07d0.bsy", BusyFlagFile},
                 {"139c07d0.flo", NoMailerFile}, {"139c07dx.hld", NoMailerFile},
                 {"139c07d0.hldx", NoMailerFile}};
    for (const Case &c : names) {
        WIN32_FIND_DATAA entry = {};
        strcpy(entry.cFileName, c.name);
        uint32_t number = 0;
        EXPECT_EQ(IsMailerFileEntry(&entry, &number), c.kind) << c.name;
    }
}

TEST(MailerFiles, HoldTimesTheDialogTakes) {
    // Noon of a day in local time, so that "13:00" is later today and "11:00" tomorrow.
    struct tm noon = {};
    noon.tm_year = 2026 - 1900;
    noon.tm_mon = 5;
    noon.tm_mday = 15;
    noon.tm_hour = 12;
    noon.tm_isdst = -1;
    int64_t now = static_cast<int64_t>(mktime(&noon));
    struct tm at = noon;
    at.tm_hour = 13;
    at.tm_isdst = -1;
    int64_t thirteen = static_cast<int64_t>(mktime(&at));
    at = noon;
    at.tm_mday = 16;
    at.tm_hour = 11;
    at.tm_isdst = -1;
    int64_t elevenTomorrow = static_cast<int64_t>(mktime(&at));
    at = noon;
    at.tm_mon = 11;
    at.tm_mday = 24;
    at.tm_hour = 8;
    at.tm_min = 30;
    at.tm_isdst = -1;
    int64_t christmasEve = static_cast<int64_t>(mktime(&at));
    struct Case {
        const char *text;
        bool valid;
        int64_t until;
    } cases[] = {
        {"90", true, now + 5400},
        {"  5 ", true, now + 300},
        {"13:00", true, thirteen},
        {"11:00", true, elevenTomorrow},
        {"24.12.2026 08:30", true, christmasEve},
        {"24.12.2025 08:30", false, 0}, // passed
        {"31.02.2026 08:30", false, 0}, // no such day
        {"0", false, 0},
        {"25:00", false, 0},
        {"12:60", false, 0},
        {"soon", false, 0},
        {"", false, 0},
        {"10 minutes", false, 0},
    };
    for (const Case &c : cases) {
        int64_t until = 0;
        EXPECT_EQ(ParseHoldTime(c.text, now, &until), c.valid ? 1 : 0) << c.text;
        if (c.valid) {
            EXPECT_EQ(until, c.until) << c.text;
        }
    }
}

// A hold written replaces the earlier one whole: the digits only, as binkd writes them, no
// temporary file left; read back, a past hold holds nothing.
TEST(MailerFiles, HoldWrittenAndReadBack) {
    TempDir dir;
    dir.Write("out/139c07d0.hld", "1");
    std::string base = dir.Win("out") + "\\139c07d0";
    ASSERT_EQ(WriteHold(base.c_str(), 1796849036), WriteDone);
    EXPECT_EQ(dir.Read("out/139c07d0.hld"), "1796849036");
    int files = 0;
    for (auto &entry : std::filesystem::directory_iterator(dir.Native("out"))) {
        (void)entry;
        ++files;
    }
    EXPECT_EQ(files, 1);
    MailerState state;
    ReadMailerState(base.c_str(), 1796849000, &state);
    EXPECT_TRUE(state.Held);
    EXPECT_EQ(state.HeldUntil, 1796849036);
    ReadMailerState(base.c_str(), 1796849036, &state);
    EXPECT_FALSE(state.Held);
    EXPECT_EQ(RemoveMailerFile(base.c_str(), HoldFile), WriteDone);
    EXPECT_FALSE(dir.Exists("out/139c07d0.hld"));
    EXPECT_EQ(RemoveMailerFile(base.c_str(), HoldFile), WriteDone); // none left: done
}

} // namespace

namespace {

BOOL WINAPI FailingWrite(HANDLE, const void *, DWORD, LPDWORD Written, LPOVERLAPPED) {
    if (Written) *Written = 0;
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
}

BOOL WINAPI FailingReplace(LPCSTR, LPCSTR, DWORD) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

// A hold that cannot be written whole (a full disk, a replace refused) leaves the earlier one
// as it was and no file of its own behind, and says why.
TEST(MailerFiles, AFailedHoldLeavesTheEarlierOne) {
    struct Case {
        const char *name;
        FileOperations ops;
        DWORD error;
    } cases[] = {{"write", Win32FileOps, ERROR_DISK_FULL},
                 {"replace", Win32FileOps, ERROR_ACCESS_DENIED}};
    cases[0].ops.Write = FailingWrite;
    cases[1].ops.Replace = FailingReplace;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        dir.Write("out/139c07d0.hld", "1796849036");
        std::string base = dir.Win("out") + "\\139c07d0";
        FileOps = c.ops;
        WriteOutcome written = WriteHold(base.c_str(), 1896849036);
        DWORD error = GetLastError();
        FileOps = Win32FileOps;
        EXPECT_EQ(written, WriteFailed);
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(dir.Read("out/139c07d0.hld"), "1796849036");
        int files = 0;
        for (auto &entry : std::filesystem::directory_iterator(dir.Native("out"))) {
            (void)entry;
            ++files;
        }
        EXPECT_EQ(files, 1);
    }
}

} // namespace
