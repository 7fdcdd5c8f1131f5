// The C runtime's drive and path helpers, code page conversion, modules and time.
#include <windows.h>

#include <direct.h>
#include <stdlib.h>
#include <string.h>

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "temp_dir.h"

namespace {

TEST(SplitPath, AsTheRuntimeSplits) {
    struct Case {
        const char *path, *drive, *dir, *fname, *ext;
    };
    const Case cases[] = {
        {"Z:\\var\\spool\\outb\\0064000a.flo", "Z:", "\\var\\spool\\outb\\", "0064000a", ".flo"},
        {"Z:/a/b.c/name", "Z:", "/a/b.c/", "name", ""},
        {"name.tar.gz", "", "", "name.tar", ".gz"},
        {"Z:", "Z:", "", "", ""},
        {"\\dir\\", "", "\\dir\\", "", ""},
        {"C:file.", "C:", "", "file", "."},
        {".hidden", "", "", "", ".hidden"},
    };
    for (const Case &test : cases) {
        SCOPED_TRACE(test.path);
        char drive[_MAX_DRIVE], dir[_MAX_DIR], fname[_MAX_FNAME], ext[_MAX_EXT];
        _splitpath(test.path, drive, dir, fname, ext);
        EXPECT_STREQ(drive, test.drive);
        EXPECT_STREQ(dir, test.dir);
        EXPECT_STREQ(fname, test.fname);
        EXPECT_STREQ(ext, test.ext);
    }
    char fname[_MAX_FNAME];
    _splitpath("Z:\\x\\only.name", nullptr, nullptr, fname, nullptr); // parts may be skipped
    EXPECT_STREQ(fname, "only");
}

TEST(MakePath, AsTheRuntimeMerges) {
    struct Case {
        const char *drive, *dir, *fname, *ext, *path;
    };
    const Case cases[] = {
        {"Z:", "\\outb", "0064000a", "flo", "Z:\\outb\\0064000a.flo"},
        {"Z", "\\outb\\", "0064000a", ".flo", "Z:\\outb\\0064000a.flo"},
        {"", "/a/b/", "n", "", "/a/b/n"},
        {nullptr, nullptr, "n", nullptr, "n"},
        {"Z:", "", "", "", "Z:"},
    };
    for (const Case &test : cases) {
        char path[_MAX_PATH];
        _makepath(path, test.drive, test.dir, test.fname, test.ext);
        EXPECT_STREQ(path, test.path);
    }
}

int Sign(int value) {
    return (value > 0) - (value < 0);
}

TEST(Strings, CaseInsensitiveComparisonAndConversion) {
    EXPECT_EQ(_stricmp("0064000A.FLO", "0064000a.flo"), 0);
    EXPECT_EQ(Sign(_stricmp("abc", "ABD")), -1);
    EXPECT_EQ(Sign(_stricmp("abcd", "ABC")), 1);
    EXPECT_EQ(Sign(_stricmp("A", "_")), 1); // compared in lower case: 'a' follows '_'
    EXPECT_EQ(_strnicmp("OUT.001", "out.999", 4), 0);
    EXPECT_NE(_strnicmp("OUT.001", "out.999", 5), 0);
    char text[] = "Mixed.Case-1";
    EXPECT_STREQ(_strupr(text), "MIXED.CASE-1");
    EXPECT_STREQ(_strlwr(text), "mixed.case-1");
}

TEST(Drives, CurrentDriveAndDirectory) {
    char current[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, current), 0u);
    EXPECT_EQ(_getdrive(), toupper(static_cast<unsigned char>(current[0])) - 'A' + 1);
    char buffer[MAX_PATH];
    ASSERT_NE(_getdcwd(0, buffer, MAX_PATH), nullptr);
    EXPECT_STREQ(buffer, current);
    ASSERT_NE(_getdcwd(_getdrive(), buffer, MAX_PATH), nullptr);
    EXPECT_STREQ(buffer, current);
    EXPECT_EQ(_getdcwd(0, buffer, 2), nullptr); // too small
    char *allocated = _getdcwd(0, nullptr, 0);
    ASSERT_NE(allocated, nullptr);
    EXPECT_STREQ(allocated, current);
    free(allocated);
#ifndef _WIN32
    EXPECT_EQ(_getdrive(), 26); // Z:, the only drive
#endif
}

TEST(CodePages, AsciiIsCopiedInPlaceOrNot) {
    char text[] = "0064000A.FLO (2:100/200)";
    char copy[sizeof text];
    EXPECT_TRUE(CharToOemA(text, copy));
    EXPECT_STREQ(copy, text);
    EXPECT_TRUE(CharToOemA(text, text));
    EXPECT_STREQ(text, "0064000A.FLO (2:100/200)");
    EXPECT_TRUE(OemToCharA(copy, copy));
    EXPECT_STREQ(copy, text);
    char accented[] = "\xE0\xE1";
    EXPECT_TRUE(CharToOemA(accented, accented));
#ifdef _WIN32
    EXPECT_STREQ(accented, "\x85\xA0"); // code page 1252 to 437 (toolchain notes)
#else
    EXPECT_STREQ(accented, "\xE0\xE1"); // UTF-8 everywhere: nothing to convert
#endif
}

TEST(Modules, NamesLoadingAndProcedures) {
    char name[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, name, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::string program(name, length);
    EXPECT_EQ(program[1], ':');
    EXPECT_EQ(program[2], '\\');
    EXPECT_NE(program.find("compat_tests"), std::string::npos) << program;
    char small[8];
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), sizeof small); // truncated
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
#ifndef _WIN32
    // Windows since Vista terminates the truncated name; Wine 8.0 does not (as XP did not).
    EXPECT_EQ(small[sizeof small - 1], '\0');
#endif

#ifdef _WIN32
    const char *library = "kernel32.dll", *procedure = "GetTickCount";
#else
    const char *library = "libm.so.6", *procedure = "cos";
#endif
    HMODULE module = LoadLibraryA(library);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(GetProcAddress(module, procedure), nullptr);
    EXPECT_EQ(GetProcAddress(module, "NoSuchProcedure"), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
    // Its full name loads it again, through the path translation.
    length = GetModuleFileNameA(module, name, MAX_PATH);
    ASSERT_GT(length, 3u);
    EXPECT_EQ(std::string(name, 3).substr(1), ":\\");
    HMODULE again = LoadLibraryA(name);
    EXPECT_EQ(again, module);
    if (again) FreeLibrary(again);
    EXPECT_TRUE(FreeLibrary(module));

    TempDir dir;
    EXPECT_EQ(LoadLibraryA(dir.Win("none.dll").c_str()), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

TEST(Time, SleepAndTicks) {
    DWORD start = GetTickCount();
    Sleep(50);
    // The tick count moves in steps of a timer tick (about 16 ms on Windows, and Wine's may lag
    // a step on a loaded machine): a margin of that, not of the sleep itself.
    EXPECT_GE(GetTickCount() - start, 25u);
}

} // namespace
