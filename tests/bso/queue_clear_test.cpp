// The plan of a queue clear on real files: which .tic names a file, what pattern lines and
// missing files become, and that the busy flag and unknown files are no part of the queue.
#include "bso/queue_clear.h"

#include "temp_dir.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>

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

#ifndef _WIN32
// On Linux every case of a name is another file: forty flow files of one link, none left out,
// each naming four files and the previous one's first again; another link's line naming one
// of them adds no row of its own.
TEST(QueueClear, NoCountOfFilesIsCapped) {
    TempDir dir;
    for (int i = 0; i < 40; ++i) {
        std::string name = std::string("006400c8.") + "fcdih"[i / 8] + "lo", lines;
        for (int bit = 0; bit < 3; ++bit)
            if (i & (1 << bit)) name[9 + bit] = static_cast<char>(toupper(name[9 + bit]));
        for (int k = 0; k < 4; ++k) {
            std::string file = "files/" + std::to_string(i) + "_" + std::to_string(k);
            dir.Write(file, "x");
            lines += "^" + dir.Win(file) + "\r\n";
        }
        if (i > 0) lines += "#" + dir.Win("files/" + std::to_string(i - 1) + "_0") + "\r\n";
        dir.Write("out/" + name, lines);
    }
    dir.Write("out/006400c8.hld", "1");
    dir.Write("out/00640001.flo", "^" + dir.Win("files/0_0") + "\r\n");
    ClearPlan plan = {};
    ClearOptions options = {false, false};
    ASSERT_EQ(PlanQueueClear(dir.Win("out/006400c8").c_str(), 0, &options, &plan), 1);
    ASSERT_EQ(PlanQueueClear(dir.Win("out/00640001").c_str(), 1, &options, &plan), 1);
    int queued = 0;
    for (int i = 0; i < plan.Count; ++i) queued += plan.Steps[i].Role == ClearQueuedFile;
    EXPECT_EQ(queued, 160);
    EXPECT_EQ(ExecuteQueueClear(&plan), 0);
    FreeClearPlan(&plan);
    EXPECT_TRUE(std::filesystem::is_empty(dir.Native("out")));
    EXPECT_TRUE(std::filesystem::is_empty(dir.Native("files")));
}
#endif

} // namespace

namespace {

// A "^" or "#" line naming one of the link's own files, in another case or another spelling of
// its path, leaves it to the file's own step: the flag stays, the rest goes once, as itself.
// Lines that name no file the plugin may act on (relative, too long to open, in another case
// on Linux, a FIFO) leave their file, and a flow file with a relative line stays whole.
TEST(QueueClear, LinesTheClearMustNotFollow) {
    struct Case {
        const char *line;    // the directive
        const char *spelled; // the name below the folder, as the line spells it ("" relative)
        const char *file;    // the file it reaches
        bool flowStays;      // the flow file (with the hold and tries) stays
        bool filesStay;      // and it was left whole, its other files with it
    };
    const Case cases[] = {
        {"^", "files/../out/", "006400c8.bsy", false, false},
        {"#", "files/../out/", "006400C8.BSY", false, false},
        {"^", "files/../out/", "006400c8.clo", false, false},
        {"#", "out/./", "006400c8.clo", false, false},
        {"#", "out//", "006400c8.clo", false, false},
        {"^", "files/../out/", "006400c8.cut", false, false},
        {"#", "files/../out/", "006400c8.req", false, false},
        {"^", "files/../out/", "006400c8.hld", false, false},
        {"#", "files/../out/", "006400c8.try", false, false},
        {"^", "link/", "006400c8.bsy", false, false},
        {"^", "out/", "00640001.cut", false, false},
        {"#", "out/", "00640001.hld", false, false},
        {"^", "", "thesis.doc", true, true},
        {"#", "", "notes.txt", true, true},
        {"^", "files/", "THESIS.DOC", false, false},
        {"^", "files/", "fifo", true, false},
        {"^", "files/", "long", true, false},
    };
    const std::filesystem::path home = std::filesystem::current_path();
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.line) + c.spelled + c.file);
        TempDir dir;
        dir.Write("files/a.zip", "aaa");
        dir.Write("files/b.zip", "bb");
        dir.Write("files/thesis.doc", "thesis");
        dir.Write("files/notes.txt", "notes");
        for (const char *own : {"out/006400c8.bsy", "out/006400c8.cut", "out/006400c8.req",
                                "out/006400c8.hld", "out/006400c8.try"})
            dir.Write(own, "own");
        dir.Write("out/006400c8.clo", "^" + dir.Win("files/b.zip") + "\r\n");
        dir.Write("out/00640001.cut", "other");
        dir.Write("out/00640001.hld", "other");
        std::string name = std::string(c.spelled) + c.file;
        // The first MAX_PATH - 1 bytes of the long line name a file: not the one the line names.
        const std::string longName = dir.Win("files/") + std::string(300, 'x');
        const std::string cut = longName.substr(0, MAX_PATH - 1).substr(dir.Win("files/").size());
        std::string line = *c.spelled ? dir.Win(name) : name;
        if (std::string(c.file) == "long") {
            dir.Write("files/" + cut, "cut");
            line = longName;
        }
#ifndef _WIN32
        std::filesystem::create_directory_symlink(dir.Native("out"), dir.Native("link"));
        ASSERT_EQ(mkfifo(dir.Native("files/fifo").c_str(), 0600), 0);
        ASSERT_EQ(chdir(dir.Native("files").c_str()), 0);
#else
        // No FIFOs, no links made here; names are case-blind, so another case is the file.
        if (std::string(c.file) == "fifo" || std::string(c.spelled) == "link/" ||
            std::string(c.file) == "THESIS.DOC")
            continue;
        ASSERT_TRUE(SetCurrentDirectoryA(dir.Win("files").c_str()));
#endif
        dir.Write("out/006400c8.flo", c.line + line + "\r\n^" + dir.Win("files/a.zip") + "\r\n");
        const std::string flow = dir.Read("out/006400c8.flo");
        ClearPlan plan = {};
        ClearOptions options = {false, false};
        ASSERT_EQ(PlanQueueClear(dir.Win("out/006400c8").c_str(), 0, &options, &plan), 1);
        const FtnAddress link = {2, 100, 200, 0};
        ASSERT_EQ(FinishQueueClearPlan(&plan, dir.Win("out").c_str(), &link, &link, 1), 1);
        ExecuteQueueClear(&plan);
        FreeClearPlan(&plan);
        EXPECT_EQ(dir.Read("out/006400c8.bsy"), "own");
        EXPECT_EQ(dir.Read("out/00640001.cut") + dir.Read("out/00640001.hld"), "otherother");
        for (const char *kept : {"files/thesis.doc", "files/notes.txt"})
            EXPECT_TRUE(dir.Exists(kept) && dir.Read(kept).size() > 0) << kept;
        if (std::string(c.file) == "long") {
            EXPECT_EQ(dir.Read("files/" + cut), "cut");
        }
        // A flow file that stays keeps its lines, its files and the link's hold and tries.
        EXPECT_EQ(dir.Exists("out/006400c8.flo") ? dir.Read("out/006400c8.flo") : "",
                  c.flowStays ? flow : "");
        EXPECT_EQ(dir.Exists("files/a.zip"), c.filesStay);
        EXPECT_EQ(dir.Exists("out/006400c8.hld"), c.flowStays);
        for (const char *gone :
             {"out/006400c8.clo", "out/006400c8.cut", "out/006400c8.req", "files/b.zip"})
            EXPECT_FALSE(dir.Exists(gone)) << gone;
        std::filesystem::current_path(home);
    }
}

} // namespace
