// The plan of a queue clear on real files: which .tic names a file, what pattern lines and
// missing files become, and that the busy flag and unknown files are no part of the queue.
#include "bso/queue_clear.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <string>
#include <vector>

namespace {

TEST(QueueClear, ReadsATicsFileAndTo) {
    TempDir dir;
    struct Case {
        const char *tic;
        int result;
        const char *file, *to; // when read
    };
    const Case cases[] = {
        {"Area X\r\nFile a.zip\r\nTo 2:5020/1\r\n", 1, "a.zip", "2:5020/1.0"},
        {"to Sysop, 2:5020/1.2@fidonet\nfile A.ZIP\n", 1, "A.ZIP", "2:5020/1.2"},
        {"File\tZ:\\in\\a.zip   \r\nTo\t1:2/3 Sysop\r\n", 1, "a.zip", "1:2/3.0"},
        {"File b.zip\r\nDesc a.zip", 0, "", ""},
        {"Files a.zip\r\nTo 2:5020/1\r\n", 0, "", ""},
        {"File a.zip\r\nTo nobody\r\n", 0, "", ""},
        {"", 0, "", ""},
    };
    for (const Case &c : cases) {
        dir.Write("x.tic", c.tic);
        char *file = nullptr;
        FtnAddress to;
        EXPECT_EQ(ReadTicFile(dir.Win("x.tic").c_str(), &file, &to), c.result) << c.tic;
        if (c.result != 1) continue;
        char text[AddressTextSize];
        EXPECT_EQ(std::string(file) + " " + FormatAddress(&to, text),
                  std::string(c.file) + " " + c.to);
        free(file);
    }
    // Missing, and a FIFO that would never end: not read, never waited for.
    char *file = nullptr;
    FtnAddress to;
    EXPECT_EQ(ReadTicFile(dir.Win("none.tic").c_str(), &file, &to), -1);
#ifndef _WIN32
    ASSERT_EQ(mkfifo(dir.Native("fifo.tic").c_str(), 0600), 0);
    EXPECT_EQ(ReadTicFile(dir.Win("fifo.tic").c_str(), &file, &to), -1);
#endif
}

TEST(QueueClear, PlansEachLineAndOnlyTheLinksFiles) {
    TempDir dir;
    dir.Write("files/a.zip", "aaa");
    dir.Write("files/b.zip", "bb");
    const std::string flow = "^" + dir.Win("files/*.zip") + "\r\n^" + dir.Win("files/gone.zip") +
                             "\r\n#" + dir.Win("files/gone.zip") + "\r\n" +
                             dir.Win("files/gone.zip") + "\r\n^" + dir.Win("files/a.zip") +
                             "\r\n~" + dir.Win("files/b.zip") + "\r\n";
    dir.Write("out/006400c8.flo", flow);
    for (const char *other : {"out/006400c8.bsy", "out/006400c8.csy", "out/006400c8.bak",
                              "out/006400c8.flo.tmp", "out/00640001.flo"})
        dir.Write(other, "x");
    dir.MakeDir("out/006400c8.pnt");
    ClearPlan plan = {};
    ClearOptions options = {false, false};
    ASSERT_EQ(PlanQueueClear(dir.Win("out/006400c8").c_str(), 0, &options, &plan), 1);
    std::vector<std::pair<int, std::string>> steps;
    for (int i = 0; i < plan.Count; ++i) {
        std::string path = plan.Steps[i].Path;
        steps.push_back({plan.Steps[i].Action, path.substr(path.find_last_of('\\') + 1)});
    }
    // A pattern line is left (it names no one file), the missing file is gone (once), "~" is
    // none.
    const std::vector<std::pair<int, std::string>> expected = {{ClearDelete, "006400c8.flo"},
                                                               {ClearLeave, "*.zip"},
                                                               {ClearGone, "gone.zip"},
                                                               {ClearDelete, "a.zip"}};
    EXPECT_EQ(steps, expected);
    int files;
    unsigned long long bytes;
    SumQueueClear(&plan, &files, &bytes);
    EXPECT_EQ(files, 2);
    EXPECT_EQ(bytes, 8u); // what the pattern matches and a.zip, as the Queued column counts

    EXPECT_EQ(ExecuteQueueClear(&plan), 0);
    EXPECT_FALSE(dir.Exists("out/006400c8.flo"));
    EXPECT_FALSE(dir.Exists("files/a.zip"));
    EXPECT_TRUE(dir.Exists("files/b.zip"));
    for (const char *other : {"out/006400c8.bsy", "out/006400c8.csy", "out/006400c8.bak",
                              "out/006400c8.flo.tmp", "out/00640001.flo"})
        EXPECT_TRUE(dir.Exists(other)) << other;
    FreeClearPlan(&plan);
}

} // namespace

namespace {

// A "^" or "#" line naming one of the link's own files, in another case or another spelling of
// its path, leaves it to the file's own step: the flag stays, the rest goes once, as itself.
TEST(QueueClear, LinesNamingTheLinksOwnFilesDoNotTouchThem) {
    struct Case {
        const char *line; // the line's directive and the file's name below out/
        const char *file;
    };
    const Case cases[] = {
        {"^", "006400c8.bsy"}, {"#", "006400C8.BSY"}, {"^", "006400c8.clo"}, {"#", "006400c8.clo"},
        {"^", "006400c8.cut"}, {"#", "006400c8.req"}, {"^", "006400c8.hld"}, {"#", "006400c8.try"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.line) + c.file);
        TempDir dir;
        dir.Write("files/a.zip", "aaa");
        for (const char *own : {"out/006400c8.bsy", "out/006400c8.cut", "out/006400c8.req",
                                "out/006400c8.hld", "out/006400c8.try"})
            dir.Write(own, "own");
        dir.Write("out/006400c8.clo", ""); // a poll
        // Written through "..", so that only a path compared as a path finds it.
        dir.Write("out/006400c8.flo", std::string(c.line) + dir.Win("files/../out/") + c.file +
                                          "\r\n^" + dir.Win("files/a.zip") + "\r\n");
        ClearPlan plan = {};
        ClearOptions options = {false, false};
        ASSERT_EQ(PlanQueueClear(dir.Win("out/006400c8").c_str(), 0, &options, &plan), 1);
        int lineSteps = 0;
        for (int i = 0; i < plan.Count; ++i)
            if (plan.Steps[i].Role == ClearQueuedFile && plan.Steps[i].Action != ClearDelete) {
                ++lineSteps;
                // Left as its own; on Linux a name in another case reaches nothing binkd opens.
                EXPECT_TRUE(plan.Steps[i].Action == ClearLeave || plan.Steps[i].Action == ClearGone)
                    << plan.Steps[i].Path;
            }
        EXPECT_EQ(lineSteps, 1);
        EXPECT_EQ(ExecuteQueueClear(&plan), 0);
        FreeClearPlan(&plan);
        EXPECT_TRUE(dir.Exists("out/006400c8.bsy"));
        EXPECT_EQ(dir.Read("out/006400c8.bsy"), "own");
        for (const char *gone :
             {"out/006400c8.flo", "out/006400c8.clo", "out/006400c8.cut", "out/006400c8.req",
              "out/006400c8.hld", "out/006400c8.try", "files/a.zip"})
            EXPECT_FALSE(dir.Exists(gone)) << gone;
    }
}

} // namespace
