// What waits for each link, as the root shows it through the host: the queued bytes and the
// oldest item's age, the mailer's state column, the sort by size and by time, and the flow
// file cache that spares unchanged flow files a second reading.
#include "outbound_fixture.h"

#include "panel/listing.h"
#include "shell/messages.h"

#include <filesystem>
#include <gtest/gtest.h>

#include <time.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using standin::ShownItem;

const int64_t Day = 86400;

// Sets the file's write time (and on Windows its creation time too) to At.
void SetTime(const std::filesystem::path &Path, int64_t At) {
#ifdef _WIN32
    HANDLE file = CreateFileW(Path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << Path;
    uint64_t ticks = (static_cast<uint64_t>(At) + 11644473600ull) * 10000000ull;
    FILETIME time = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    EXPECT_TRUE(SetFileTime(file, &time, nullptr, &time));
    CloseHandle(file);
#else
    struct timespec times[2] = {{static_cast<time_t>(At), 0}, {static_cast<time_t>(At), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, Path.c_str(), times, 0), 0) << Path;
#endif
}

class Backlog : public OutboundPanelTest {
protected:
    int64_t now = static_cast<int64_t>(time(nullptr));
    void Aged(const std::string &relative, int64_t days) {
        SetTime(tree.dir.Native(relative), now - days * Day - 60);
    }
    std::string Column(const std::string &link, int column) {
        std::optional<ShownItem> row = Row(link);
        if (!row) return "<no row>";
        return row->columns.at(column);
    }
    uint64_t Size(const std::string &link) {
        std::optional<ShownItem> row = Row(link);
        return row ? row->size : 0xFFFFFFFFu;
    }
    // The links in a tree whose queues differ in size and age.
    void WriteLinks() {
        // 2:100/1: a 10-day packet dates it; the plain and sent files do not.
        tree.Write("out/00640001.OUT", std::string(100, 'p'));
        Aged("out/00640001.OUT", 10);
        std::string a = tree.WriteAttached("a.zip", std::string(50, 'a'));
        std::string b = tree.WriteAttached("b.zip", std::string(30, 'b'));
        std::string sent = tree.WriteAttached("sent.zip", "");
        Aged("files/a.zip", 3);
        Aged("files/b.zip", 30);
        Aged("files/sent.zip", 40);
        tree.WriteFlowFile("out/00640001.FLO",
                           {"^" + a, b, "^" + sent, "#" + tree.Win("files/gone.zip"),
                            "~" + tree.Win("files/done.zip")});
        Aged("out/00640001.FLO", 5);
        // 2:100/2: plain lines only (the same file twice, counted once): the flow file's own
        // time dates it.
        std::string e = tree.WriteAttached("e.zip", std::string(40, 'e'));
        Aged("files/e.zip", 20);
        tree.WriteFlowFile("out/00640002.FLO", {e, e});
        Aged("out/00640002.FLO", 2);
        // 2:100/3: a poll and an empty packet wait for nothing.
        tree.Write("out/00640003.CLO");
        tree.Write("out/00640003.OUT");
        // 2:100/4 names f twice (two flow files), 2:100/5 once: 60 bytes each.
        std::string f = tree.WriteAttached("f.zip", std::string(60, 'f'));
        tree.WriteFlowFile("out/00640004.FLO", {f});
        tree.WriteFlowFile("out/00640004.CLO", {"^" + f});
        tree.WriteFlowFile("out/00640005.HLO", {f});
        Aged("files/f.zip", 8);
        for (const char *flow : {"out/00640004.FLO", "out/00640004.CLO", "out/00640005.HLO"})
            Aged(flow, 4);
        // 2:100/6: a request of a day.
        tree.Write("out/00640006.REQ", "files.lst\r\n");
        Aged("out/00640006.REQ", 1);
    }
};

TEST_F(Backlog, SizeAndAgeOfEachQueue) {
    WriteLinks();
    // Packets too large for seven digits (sparse files) and ages too long for four.
    const struct {
        const char *packet;
        uint64_t size;
        int64_t days;
    } large[] = {
        {"out/00640008.OUT", 5ull << 30, 9999},
        {"out/00640009.OUT", 10000000, 10000},
#ifndef _WIN32 // Wine refuses a file of a terabyte
        {"out/0064000A.OUT", 1ull << 40, 12000},
#endif
    };
    for (const auto &packet : large) {
        tree.Write(packet.packet);
        std::filesystem::resize_file(tree.dir.Native(packet.packet), packet.size);
        Aged(packet.packet, packet.days);
    }
    // 2:100/12.0: names alike in more than their first 255 bytes, one that is the start of the
    // name before, one named again (in another flow file too), one too long for a file here.
    std::string folder = tree.Win("files/x");
    folder = std::string(258 - (folder.size() - 1) - 7, 'd') + "/";
    std::vector<std::string> deep = {tree.WriteAttached(folder + "b.zip1", "1"),
                                     tree.WriteAttached(folder + "b.zip2", "22"),
                                     tree.WriteAttached(folder + "b.zip", "4444")};
    Aged("files/" + folder + "b.zip1", 6);
    tree.WriteFlowFile("out/0064000C.FLO",
                       {"^" + deep[0], deep[1], deep[2], "#" + deep[0], deep[1] + "0123456789"});
    tree.WriteFlowFile("out/0064000C.CLO", {deep[2]});
    for (const char *flow : {"out/0064000C.FLO", "out/0064000C.CLO"}) Aged(flow, 1);
    // 2:100/13.0: files dated before 1970 and after 2106, whose times no cache entry can hold.
    std::vector<std::string> odd = {tree.WriteAttached("old.zip", "55555"),
                                    tree.WriteAttached("late.zip", "666666")};
    Aged("files/old.zip", 30000);
    SetTime(tree.dir.Native("files/late.zip"), 4500000000ll);
    tree.WriteFlowFile("out/0064000D.FLO", {"^" + odd[0], "^" + odd[1]});
    Aged("out/0064000D.FLO", 2);
    // 2:100/14.0: enough names that the cache keeps their sums, one named twice, one gone.
    std::vector<std::string> many = {"^" + tree.Win("files/gone.zip")};
    for (int i = 1; i <= 7; ++i)
        many.push_back((i == 1 ? "^" : "") +
                       tree.WriteAttached("g" + std::to_string(i) + ".zip", std::string(i, 'g')));
    many.push_back(many[2]);
    Aged("files/g1.zip", 12);
    tree.WriteFlowFile("out/0064000E.FLO", many);
    Aged("out/0064000E.FLO", 2);
    ASSERT_TRUE(Open());
    struct Case {
        const char *link;
        uint64_t size;
        const char *shownSize, *age;
    } cases[] = {
        {"2:100/1.0", 180, "180", "10d!"}, // over the 7-day mark
        {"2:100/2.0", 40, "40", "2d"},
        {"2:100/3.0", 0, "", ""},
        {"2:100/4.0", 60, "60", "8d!"}, // the ^ line dates it by the file
        {"2:100/5.0", 60, "60", "4d"},  // a plain line: the flow file's time
        {"2:100/6.0", 11, "11", "1d"},
        {"2:100/8.0", 5ull << 30, "5G", "9999d!"},
        {"2:100/9.0", 10000000, "10M", "27y!"}, // rounded up, never shown as less
        {"2:100/12.0", 7, "7", "6d"},
        {"2:100/13.0", 11, "11", "2d"}, // a time before 1970 dates nothing
        {"2:100/14.0", 28, "28", "12d!"},
#ifndef _WIN32
        {"2:100/10.0", 1ull << 40, "1T", "32y!"},
#endif
    };
    // The first listing reads the flow files, the next one takes them from its cache.
    for (int listing = 0; listing < 2; ++listing) {
        if (listing) {
            Aged("out/00640004.CLO", 3); // one flow file of the link read again, one kept
            ASSERT_TRUE(Update());
        }
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.link) + (listing ? " (cached)" : ""));
            EXPECT_EQ(Size(c.link), c.size);
            EXPECT_EQ(Column(c.link, QueuedBytesColumn), c.shownSize);
            EXPECT_EQ(Column(c.link, QueueAgeColumn), c.age);
            std::optional<ShownItem> row = Row(c.link);
            ASSERT_TRUE(row);
            EXPECT_TRUE(row->IsDirectory());
        }
    }
    // The mark follows the setting: 0 switches it off.
    Close();
    WriteSettingNumber("AgeMarkDays", 0);
    ASSERT_TRUE(Open());
    EXPECT_EQ(Column("2:100/1.0", QueueAgeColumn), "10d");
}

// Ctrl+F6 and Ctrl+F5 through the host: the largest queue first, the newest oldest item first;
// equal ones by address, a link where nothing waits last.
// F3 on a link makes the host count the folder into its item (2:100/4.0 lists f twice: 120
// bytes, kept over later listings); the order still follows the plugin's own figures.
TEST_F(Backlog, SortBySizeAndByTime) {
    WriteLinks();
    tree.Write("out/00640007.OUT", std::string(100, 'p'));
    Aged("out/00640007.OUT", 9);
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Panel().SetCurrentByName("2:100/4.0"));
    host->PressKey(VK_F3);
    ASSERT_TRUE(Update());
    EXPECT_EQ(Size("2:100/4.0"), 120u);
    Panel().SetSort(SM_SIZE);
    EXPECT_EQ(RowNames(),
              (std::vector<std::string>{"2:100/1.0", "2:100/7.0", "2:100/4.0", "2:100/5.0",
                                        "2:100/2.0", "2:100/6.0", "2:100/3.0"}));
    Panel().SetSort(SM_SIZE, true);
    EXPECT_EQ(RowNames().front(), "2:100/3.0");
    Panel().SetSort(SM_MTIME);
    EXPECT_EQ(RowNames(),
              (std::vector<std::string>{"2:100/6.0", "2:100/2.0", "2:100/5.0", "2:100/4.0",
                                        "2:100/7.0", "2:100/1.0", "2:100/3.0"}));
    // The panel's own keys: Ctrl+F5 again is oldest first, where nothing waiting stays last,
    // also after another mode came between.
    const std::vector<std::string> oldestFirst = {
        "2:100/1.0", "2:100/7.0", "2:100/4.0", "2:100/5.0", "2:100/2.0", "2:100/6.0", "2:100/3.0"};
    for (int key : {VK_F5, VK_F6, VK_F5, VK_F5}) host->PressKey(key, PKF_CONTROL);
    EXPECT_TRUE(Panel().SortReversed());
    EXPECT_EQ(RowNames(), oldestFirst);
    host->PressKey(VK_F5, PKF_CONTROL);
    EXPECT_EQ(RowNames().back(), "2:100/3.0");
}

// A flow file with the same size and write time is not read again; a changed one is.
TEST_F(Backlog, UnchangedFlowFileIsNotReadAgain) {
    std::string small = tree.WriteAttached("s.zip", std::string(10, 's'));
    std::string large = tree.WriteAttached("l.zip", std::string(70, 'l'));
    ASSERT_EQ(small.size(), large.size());
    tree.WriteFlowFile("out/00640001.FLO", {small});
    Aged("out/00640001.FLO", 1);
    ASSERT_TRUE(Open());
    EXPECT_EQ(Size("2:100/1.0"), 10u);
    // Another name of the same length, the time put back: the cached names stand.
    tree.WriteFlowFile("out/00640001.FLO", {large});
    Aged("out/00640001.FLO", 1);
    ASSERT_TRUE(Update());
    EXPECT_EQ(Size("2:100/1.0"), 10u);
    Aged("out/00640001.FLO", 2);
    ASSERT_TRUE(Update());
    EXPECT_EQ(Size("2:100/1.0"), 70u);
}

// A bundle the tosser appends to in place leaves its flow file as it was: an automatic
// re-listing keeps the old size, Ctrl+R (the host re-reads after the plugin saw the key) shows
// the true one, at the root and again after entering a link and coming back.
TEST_F(Backlog, CtrlRLooksUpNamedFilesAgain) {
    std::string bundle = tree.WriteAttached("b.zip", std::string(10, 'b'));
    tree.WriteFlowFile("out/00640001.FLO", {"^" + bundle});
    Aged("out/00640001.FLO", 1);
    ASSERT_TRUE(Open());
    EXPECT_EQ(Size("2:100/1.0"), 10u);
    tree.Write("files/b.zip", std::string(25, 'b'));
    ASSERT_TRUE(Update());
    EXPECT_EQ(Size("2:100/1.0"), 10u);
    host->PressKey('R', PKF_CONTROL);
    EXPECT_EQ(Size("2:100/1.0"), 25u);
    tree.Write("files/b.zip", std::string(40, 'b'));
    ASSERT_TRUE(Enter("2:100/1.0"));
    ASSERT_TRUE(Enter(".."));
    EXPECT_EQ(Size("2:100/1.0"), 25u);
    host->PressKey('R', PKF_CONTROL);
    EXPECT_EQ(Size("2:100/1.0"), 40u);
    // Other keys with Ctrl leave the kept results alone.
    tree.Write("files/b.zip", std::string(5, 'b'));
    host->PressKey('Q', PKF_CONTROL);
    ASSERT_TRUE(Update());
    EXPECT_EQ(Size("2:100/1.0"), 40u);
}

// The mailer's column: a hold ahead (a past one and junk hold nothing), the failed calls with
// the last result, a call in progress, a busy flag only once it is stale, a held queue waits.
TEST_F(Backlog, MailerStateColumn) {
    for (const char *link :
         {"00640001", "00640002", "00640003", "00640004", "00640005", "00640006"})
        tree.Write(std::string("out/") + link + ".OUT", "x");
    tree.Write("out/00640001.hld", std::to_string(now + 3600));
    tree.Write("out/00640002.hld", std::to_string(now - 60) + "\r\n");
    tree.Write("out/00640003.HLD", "soon");
    std::string tries("\x2c\x01\x02\x00\x12"
                      "Connection refused",
                      23);
    tree.Write("out/00640004.try", tries);
    tree.Write("out/00640005.csy", "");
    tree.Write("out/00640006.bsy", "");
    Aged("out/00640006.bsy", 0); // a minute: fresh
    tree.Write("out/00640007.try", std::string("\x03\x00\x00\x00\x0b"
                                               "CONNECT/BND",
                                               16)); // good calls only: nothing to tell
#ifdef _WIN32
    std::string running = std::to_string(GetCurrentProcessId());
#else
    std::string running = std::to_string(getpid());
#endif
    tree.Write("out/00640008.bsy", running + "\n");
    Aged("out/00640008.bsy", 1); // its process runs: never stale
    tree.Write("out/00640009.bsy", "99999999\n");
    Aged("out/00640009.bsy", 0); // its process is gone: stale at once
    tree.Write("out/0064000A.HUT", "held mail");
    tree.Write("out/0064000B.REQ", "FILES");
    ASSERT_TRUE(Open());
    char held[32];
    time_t until = static_cast<time_t>(now + 3600);
    strftime(held, sizeof held, "%d.%m.%y %H:%M", localtime(&until));
    EXPECT_EQ(Column("2:100/1.0", MailerStateColumn), "held till " + std::string(held));
    EXPECT_EQ(Column("2:100/2.0", MailerStateColumn), "");
    EXPECT_EQ(Column("2:100/3.0", MailerStateColumn), "");
    EXPECT_EQ(Column("2:100/4.0", MailerStateColumn), "2 tries: Connection refused");
    EXPECT_EQ(Column("2:100/5.0", MailerStateColumn), "calling");
    EXPECT_EQ(Column("2:100/6.0", MailerStateColumn), "");
    EXPECT_EQ(Column("2:100/7.0", MailerStateColumn), "");
    EXPECT_EQ(Column("2:100/8.0", MailerStateColumn), "calling (process " + running + ")");
    EXPECT_EQ(Column("2:100/9.0", MailerStateColumn), "stale .BSY 1m (process 99999999)");
    EXPECT_EQ(Column("2:100/10.0", MailerStateColumn), "waits for a call");
    EXPECT_EQ(Column("2:100/11.0", MailerStateColumn), "waits for a call");
    SetTime(tree.dir.Native("out/00640006.bsy"), now - 7 * 3600);
    ASSERT_TRUE(Update());
    EXPECT_EQ(Column("2:100/6.0", MailerStateColumn), "stale .BSY 7h");
    // Inside a link the hold and try files are rows.
    ASSERT_TRUE(Enter("2:100/4.0"));
    bool tryRow = false;
    for (const ShownItem &row : Rows())
        if (row.name.size() > 4 && row.name.substr(row.name.size() - 4) == ".try") tryRow = true;
    EXPECT_TRUE(tryRow);
}

} // namespace
