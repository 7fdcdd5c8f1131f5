// A path in a message box: the host cuts a long line at its end, so the plugin shortens a path
// in its middle and keeps the file name.
#include "shell/box_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(ShortenPath, KeepsTheFileNameAndTheStart) {
    struct Case {
        const char *path;
        size_t width;
        const char *shown;
    };
    const Case cases[] = {
        {"Z:\\var\\spool\\006400c8.flo", 65, "Z:\\var\\spool\\006400c8.flo"}, // fits
        {"Z:\\var\\spool\\ftn\\outbound.002\\006400c8.pnt\\006400c8.flo", 30,
         "Z:\\var\\spool\\...\\006400c8.flo"},
        // The start is cut after its last separator in the room, never inside a name.
        {"Z:\\averyveryverylongdirectoryname\\a.flo", 20, "Z:\\...\\a.flo"},
        {"averyveryverylongdirectoryname\\a.flo", 20, "averyveryve...\\a.flo"},
        // The name alone is too long: its end stays.
        {"Z:\\dir\\abcdefghijklmnop.txt", 12, "...\\mnop.txt"},
        {"Z:\\dir\\name.txt", 3, "txt"},
        {"", 10, ""},
    };
    for (const Case &c : cases) {
        char buffer[128];
        ShortenPath(buffer, sizeof buffer, c.path, c.width);
        EXPECT_EQ(std::string(buffer), c.shown) << c.path << " in " << c.width;
        EXPECT_LE(std::string(buffer).size(), c.width);
    }
}

// The buffer bounds the text too, whatever the width asked for.
TEST(ShortenPath, NeverWritesPastTheBuffer) {
    const std::string path = "Z:\\" + std::string(200, 'd') + "\\file.zip";
    char buffer[24];
    std::memset(buffer, '#', sizeof buffer);
    ShortenPath(buffer, 20, path.c_str(), 65);
    EXPECT_EQ(std::string(buffer), "Z:\\...\\file.zip");
    EXPECT_EQ(buffer[20], '#');
}

} // namespace
