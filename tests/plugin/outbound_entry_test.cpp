// The row record's strings: copies, release, and an instance's row array.
#include "scan/outbound_entry.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

namespace {

TEST(DuplicateString, CopiesIntoNewMemory) {
    EXPECT_EQ(DuplicateString(nullptr), nullptr);
    const char text[] = ".FLO";
    char *copy = DuplicateString(text);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, text);
    EXPECT_STREQ(copy, ".FLO");
    free(copy);
    char *empty = DuplicateString("");
    ASSERT_NE(empty, nullptr);
    EXPECT_STREQ(empty, "");
    free(empty);
}

OutboundEntry FullRow() {
    OutboundEntry row;
    memset(&row, 0, sizeof(row));
    row.BusyMark = '*';
    row.RequestMark = '*';
    SetEntryStrings(row, "2:5020/1.0", "", "..D..", "I...H", ".FLO");
    return row;
}

TEST(FreeEntryStrings, ReleasesAndClearsEverythingItOwns) {
    OutboundEntry row = FullRow();
    FreeEntryStrings(row);
    EXPECT_EQ(row.NetmailFlavors, nullptr);
    EXPECT_EQ(row.FlowFlavors, nullptr);
    EXPECT_EQ(row.SourceText, nullptr);
    EXPECT_EQ(row.Name, nullptr);
    EXPECT_EQ(row.BusyMark, 0);
    EXPECT_EQ(row.RequestMark, 0);
    FreeEntryStrings(row); // nothing left to release twice
}

TEST(FreeEntries, ReleasesRowsAndArray) {
    // The leak checker of the sanitizer build sees any string left behind.
    int count = 3;
    OutboundEntry *rows = static_cast<OutboundEntry *>(malloc(count * sizeof(OutboundEntry)));
    rows[0] = FullRow();
    rows[1] = FullRow();
    rows[2] = FullRow();
    FreeEntryStrings(rows[1]); // a row without a source text, as most rows are
    SetEntryStrings(rows[1], "LONGNAME.ZIP", "LONGNA~1.ZIP", "..D..", "I...H", nullptr);
    FreeEntries(rows, count);
    EXPECT_EQ(rows, nullptr);
    EXPECT_EQ(count, 0);
}

TEST(FreeEntries, NullArrayStaysNull) {
    OutboundEntry *rows = nullptr;
    int count = 0;
    FreeEntries(rows, count);
    EXPECT_EQ(rows, nullptr);
    EXPECT_EQ(count, 0);
}

} // namespace
