#include "bso/address.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

namespace {

const FtnAddress Base = {7, 100, 200, 3};

std::string Parsed(const char *text, const FtnAddress *base) {
    FtnAddress address;
    if (!ParseAddress(&address, text, base)) return "fails";
    char buffer[AddressTextSize];
    return FormatAddress(&address, buffer);
}

struct AddressRow {
    const char *text;
    const char *withBase;
    const char *withoutBase;
};

// Every accepted and refused form, with the base 7:100/200.3 and without a base.
const AddressRow AddressTable[] = {
    {"1:2/3.4", "1:2/3.4", "1:2/3.4"},
    {"1:2/3", "1:2/3.0", "1:2/3.0"},
    {"1:2/3.0", "1:2/3.0", "1:2/3.0"},
    {"2/3", "7:2/3.0", "2:2/3.0"},
    {"2/3.4", "7:2/3.4", "2:2/3.4"},
    {"/3", "7:100/3.0", "fails"},
    {"/3.4", "7:100/3.4", "fails"},
    {"3", "7:100/3.0", "fails"},
    {"3.4", "7:100/3.4", "fails"},
    {".4", "7:100/200.4", "fails"},
    {"", "fails", "fails"},
    {".", "fails", "fails"},
    {"1:2/3.", "fails", "fails"},
    {"1:2/", "fails", "fails"},
    {"1:/3", "fails", "fails"},
    {":2/3", "fails", "fails"},
    {"1:2", "fails", "fails"},
    {"1:2/3.4.5", "fails", "fails"},
    {"1:2:3/4", "fails", "fails"},
    {"1.2/3", "fails", "fails"},
    {" 1:2/3", "fails", "fails"},
    {"1:2/3 ", "fails", "fails"},
    // Numbers up to 65535 in every part; a larger one never wraps into another link's address.
    {"1:2/65535", "1:2/65535.0", "1:2/65535.0"},
    {"1:2/65536", "fails", "fails"},
    {"1:2/70000", "fails", "fails"},
    {"2:5020/65636", "fails", "fails"},
    {"65535:2/3", "65535:2/3.0", "65535:2/3.0"},
    {"65536:2/3", "fails", "fails"},
    {"99999:2/3", "fails", "fails"},
    {"1:65535/3", "1:65535/3.0", "1:65535/3.0"},
    {"1:65536/3", "fails", "fails"},
    {"1:2/3.65535", "1:2/3.65535", "1:2/3.65535"},
    {"1:2/3.65536", "fails", "fails"},
    {"65535/3", "7:65535/3.0", "2:65535/3.0"},
    {"65536/3", "fails", "fails"},
    {"65536", "fails", "fails"},
    {".65536", "fails", "fails"},
    {"4096:1/2", "4096:1/2.0", "4096:1/2.0"},
    {"0000065535:0/0.0", "65535:0/0.0", "65535:0/0.0"},
    {"131071:2/3", "fails", "fails"},
    {"1:2/99999999999999999999999", "fails", "fails"},
    {"65536:65537/65534.65534", "fails", "fails"},
    // Signs and high bytes.
    {"-1:2/3", "fails", "fails"},
    {"+1:2/3", "fails", "fails"},
    {"1:2/\xB3", "fails", "fails"},
    {"1:2/3.4/5", "fails", "fails"},
};

TEST(ParseAddress, TableWithAndWithoutBase) {
    for (const AddressRow &row : AddressTable) {
        EXPECT_EQ(Parsed(row.text, &Base), row.withBase) << "text [" << row.text << "]";
        EXPECT_EQ(Parsed(row.text, nullptr), row.withoutBase) << "text [" << row.text << "]";
    }
}

TEST(ParseAddress, NodeAddressRoundTrips) {
    FtnAddress record = {1, 2, 3, 0};
    char text[AddressTextSize];
    EXPECT_STREQ(FormatAddress(&record, text), "1:2/3.0");
    FtnAddress back;
    ASSERT_EQ(ParseAddress(&back, text, nullptr), 1);
    EXPECT_EQ(back.zone, 1u);
    EXPECT_EQ(back.net, 2u);
    EXPECT_EQ(back.node, 3u);
    EXPECT_EQ(back.point, 0u);
}

TEST(ParseAddress, NodeAloneTakesZoneAndNetButNotThePointFromBase) {
    FtnAddress address;
    ASSERT_EQ(ParseAddress(&address, "9", &Base), 1);
    EXPECT_EQ(address.point, 0u);
}

TEST(ParseAddress, FieldsStoredBeforeTheFailingStepKeepTheirValues) {
    FtnAddress address = {9, 9, 9, 9};
    EXPECT_EQ(ParseAddress(&address, ":2/3.4", nullptr), 0);
    EXPECT_EQ(address.zone, 0u);
    EXPECT_EQ(address.net, 2u);
    EXPECT_EQ(address.node, 3u);
    EXPECT_EQ(address.point, 4u);

    EXPECT_EQ(ParseAddress(&address, "1:2/x.4", nullptr), 0);
    EXPECT_EQ(address.point, 4u);
    EXPECT_EQ(address.node, 0u);
    EXPECT_EQ(address.net, 0u);
}

TEST(ParseAddress, BaseMayBeTheRecordItself) {
    FtnAddress address = Base;
    ASSERT_EQ(ParseAddress(&address, ".4", &address), 1);
    EXPECT_EQ(address.zone, 7u);
    EXPECT_EQ(address.net, 100u);
    EXPECT_EQ(address.node, 200u);
    EXPECT_EQ(address.point, 4u);
}

TEST(ParseAddress, TextIsNotModified) {
    char text[] = "1:2/3.4";
    FtnAddress address;
    ParseAddress(&address, text, nullptr);
    EXPECT_STREQ(text, "1:2/3.4");
}

// A text longer than the private copy fails instead of parsing a cut prefix: cut to 63
// characters, the text below would read as 1:2/3.
TEST(ParseAddress, TextLongerThanTheCopyFails) {
    std::string fits = "1:2/" + std::string(58, '0') + "3";
    ASSERT_EQ(fits.size(), 63u);
    EXPECT_EQ(Parsed(fits.c_str(), nullptr), "1:2/3.0");

    std::string longer = "1:2/3" + std::string(59, '0');
    ASSERT_EQ(longer.size(), 64u);
    EXPECT_EQ(Parsed(longer.c_str(), nullptr), "fails");
    std::string padded = "1:2/3.4" + std::string(300, ' ');
    EXPECT_EQ(Parsed(padded.c_str(), &Base), "fails");
    EXPECT_EQ(Parsed(nullptr, &Base), "fails");
}

TEST(ParseAddressField, EmptyDigitsAndOtherText) {
    struct {
        const char *text;
        int result;
        unsigned value;
    } const rows[] = {
        {"", 1, EmptyAddressField},
        {"0", 1, 0},
        {"65535", 1, 65535},
        {"0065535", 1, 65535},
        {"65536", 0, 65536},
        {"99999", 0, 99999},
        {"12a", 0, 12},
        {"a", 0, 0},
        {" 1", 0, 0},
        {"1 ", 0, 1},
        {"-1", 0, 0},
        {"\xB1", 0, 0},
    };
    for (const auto &row : rows) {
        uint32_t value = 7;
        EXPECT_EQ(ParseAddressField(row.text, &value), row.result) << row.text;
        EXPECT_EQ(value, row.value) << row.text;
    }
}

TEST(FormatAddress, LargestValuesFitFortyFourBytes) {
    FtnAddress address = {4294967295u, 4294967295u, 4294967295u, 4294967295u};
    char buffer[AddressTextSize];
    memset(buffer, 'x', sizeof buffer);
    FormatAddress(&address, buffer);
    EXPECT_STREQ(buffer, "4294967295:4294967295/4294967295.4294967295");
    EXPECT_EQ(buffer[44], 'x');
}

// A point read from an outbound name can exceed 65535: it formats in full, and the text names
// no address when parsed back (never the point 4464 it would wrap to).
TEST(FormatAddress, LargePointFormatsInFullAndIsRefusedWhenParsed) {
    FtnAddress address = {2, 100, 200, 70000};
    char text[AddressTextSize];
    EXPECT_STREQ(FormatAddress(&address, text), "2:100/200.70000");
    EXPECT_EQ(Parsed(text, nullptr), "fails");
}

} // namespace
