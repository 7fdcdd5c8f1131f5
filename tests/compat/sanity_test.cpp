#include <windows.h>

#include <gtest/gtest.h>

#include "temp_dir.h"

TEST(Sanity, TempDirIsFoundBySearch) {
    TempDir dir;
    dir.Write("A.TXT", "x");
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(dir.Win("A.TXT").c_str(), &data);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_STREQ(data.cFileName, "A.TXT");
    FindClose(search);
}
