// Moving between the link list and a link, and the order of links: through the host's Enter,
// its SetDirectory calls with names the user may type, and its sort.
#include "panel/navigation.h"

#include "in_process_host.h"
#include "outbound_fixture.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

// Own address 1:2/3 (zone 1 in the outbound root, zone 2 beside it in "out.002").
class Navigation : public OutboundPanelTest {
protected:
    Navigation() {
        settings.address = "1:2/3";
        tree.Write("out/00020004.OUT");              // 1:2/4.0
        tree.Write("out/00050006.OUT");              // 1:5/6.0
        tree.Write("out/00020003.PNT/00000007.OUT"); // 1:2/3.7
        tree.Write("out.002/00050006.OUT");          // 2:5/6.0
    }
    int SetDirectory(const char *dir) {
        return host->GetExports().SetDirectory(Panel().Handle(), dir, 0);
    }
    // CurDir as the plugin reports it once the host has listed again.
    std::string ShownDirectory() {
        EXPECT_TRUE(Update());
        return Panel().CurDir();
    }
};

TEST_F(Navigation, NamesAtTheRootAreCompletedFromTheOwnAddress) {
    ASSERT_TRUE(Open());
    struct Case {
        const char *dir;
        int result;
        const char *curDir;
    } cases[] = {
        {"1:2/4.0", 1, "1:2/4.0"},
        {"4", 1, "1:2/4.0"},
        {"2/4", 1, "1:2/4.0"},
        {"5/6", 1, "1:5/6.0"},
        {"2:5/6", 1, "2:5/6.0"},
        {".7", 1, "1:2/3.7"},
        {"3.7", 1, "1:2/3.7"},
        {"3", 0, ""},   // the own node has nothing queued
        {"9", 0, ""},   // no such link
        {"..", 0, ""},  // the root has no parent: looked up as a name, and names no link
        {"", 0, ""},    // not an address
        {"abc", 0, ""}, // not an address
        {"\\", 1, ""},  // the root itself
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string("SetDirectory \"") + c.dir + "\"");
        EXPECT_EQ(SetDirectory(c.dir), c.result);
        EXPECT_EQ(ShownDirectory(), c.curDir);
        // Back to the root, listed again so that its link rows are there for the next name.
        EXPECT_EQ(SetDirectory("\\"), 1);
        EXPECT_EQ(ShownDirectory(), "");
    }
}

TEST_F(Navigation, FromALinkOnlyTheRootIsReachable) {
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Enter("1:2/4.0"));
    EXPECT_EQ(Panel().CurDir(), "1:2/4.0");
    for (const char *other : {"1:5/6.0", "4", "1:2/4.0", "2:5/6"}) {
        EXPECT_EQ(SetDirectory(other), 0) << other;
        EXPECT_EQ(ShownDirectory(), "1:2/4.0") << other;
    }
    EXPECT_EQ(SetDirectory("\\"), 1);
    EXPECT_EQ(ShownDirectory(), "");
    ASSERT_TRUE(Enter("2:5/6.0"));
    EXPECT_EQ(Panel().CurDir(), "2:5/6.0");
    ASSERT_TRUE(Enter(".."));
    EXPECT_EQ(Panel().CurDir(), "");
    // Back at the root the cursor stands on the link it came from.
    EXPECT_EQ(Panel().CurrentName(), "2:5/6.0");
}

// Right after opening (and before the root is listed again after leaving a link) the instance
// holds no link rows: a link name finds nothing, the root is always there.
TEST_F(Navigation, ALinkNameNeedsTheRootListedFirst) {
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Enter("1:2/4.0"));
    EXPECT_EQ(SetDirectory("\\"), 1);
    EXPECT_EQ(SetDirectory("1:5/6.0"), 0); // the rows are still the link's files
    EXPECT_EQ(ShownDirectory(), "");
    EXPECT_EQ(SetDirectory("1:5/6.0"), 1);
    EXPECT_EQ(ShownDirectory(), "1:5/6.0");
}

TEST(NavigationBeforeListing, OnlyTheRootIsThere) {
    InProcessHost host;
    strcpy(Settings.Address, "1:2/3");
    Settings.PathToOutbound[0] = 0;
    BSOBrowser browser;
    EXPECT_EQ(ChangePanelDirectory(&browser, "1:2/4.0", 0), 0);
    EXPECT_EQ(ChangePanelDirectory(&browser, "4", 0), 0);
    EXPECT_EQ(ChangePanelDirectory(&browser, "..", 0), 0);
    EXPECT_STREQ(browser.CurDir, "");
    EXPECT_EQ(ChangePanelDirectory(&browser, "\\", 0), 1);
    EXPECT_STREQ(browser.CurDir, "");
}

// ---- Order of links ----------------------------------------------------------------------------

// A link's item as the listing numbers it, with its row in the browser; the host's own ".."
// has no row.
PluginPanelItem ItemNamed(BSOBrowser &browser, const char *name) {
    PluginPanelItem item;
    memset(&item, 0, sizeof(item));
    strcpy(item.FindData.cFileName, name);
    item.FindData.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    if (strcmp(name, "..") == 0) return item;
    int index = browser.EntryCount;
    browser.Entries = static_cast<OutboundEntry *>(
        realloc(browser.Entries, static_cast<size_t>(index + 1) * sizeof(OutboundEntry)));
    OutboundEntry &row = browser.Entries[index];
    memset(&row, 0, sizeof(row));
    SetEntryStrings(row, name, nullptr, ".....", ".....", nullptr);
    ParseAddress(&row.Link, name, nullptr);
    browser.EntryCount = index + 1;
    FillPanelRows(&browser, nullptr);
    item.UserData = RowNumberOf(index);
    return item;
}

TEST(LinkOrder, ByAddressAtTheRoot) {
    InProcessHost host;
    BSOBrowser browser;
    struct Case {
        unsigned mode;
        const char *first, *second;
        int expected;
        const char *secondShown = nullptr; // the second item's name when its row bears another now
    } cases[] = {
        {SM_NAME, "1:2/9.0", "1:2/10.0", -1},
        {SM_NAME, "1:2/10.0", "1:3/1.0", -1},
        {SM_NAME, "1:3/1.0", "1:2/10.0", 1},
        {SM_NAME, "1:2/3.0", "1:2/3.0", 0},
        {SM_NAME, "1:2/3.0", "1:2/3.1", -1},
        {SM_NAME, "1:2/3.10", "1:2/3.9", 1},
        {SM_NAME, "10:1/1.0", "9:65534/65534.65534", 1},
        {SM_NAME, "1:2/3.1", "1:2/4.0", -1},
        {SM_DESCR, "1:2/10.0", "1:2/9.0", 1},
        {SM_OWNER, "1:2/9.0", "1:2/10.0", -1},
        // By extension: every node before every point, each group by address.
        {SM_EXT, "1:3/1.0", "1:2/3.1", -1},
        {SM_EXT, "1:2/3.1", "1:3/1.0", 1},
        {SM_EXT, "1:2/9.0", "1:2/10.0", -1},
        {SM_EXT, "1:2/3.2", "1:2/3.10", -1},
        {SM_EXT, "1:2/3.1", "1:2/3.1", 0},
        // An item without its row is left to the host's rule, not read from its name.
        {SM_NAME, "1:2/9.0", "..", -2},
        // Nor is an item whose row was listed anew under another name: longer, shorter, or
        // other past the first eight bytes.
        {SM_NAME, "1:2/9.0", "1:2/10.0", -2, "1:2/10.0 "},
        {SM_NAME, "1:2/9.0", "1:2/10.0", -2, "1:2/10."},
        {SM_NAME, "1:2/9.0", "12:345/678.9", -2, "12:345/678.1"},
        {SM_NAME, "1:2/9.0", "12:345/678.9", -1, "12:345/678.9"},
    };
    for (const Case &c : cases) {
        PluginPanelItem first = ItemNamed(browser, c.first), second = ItemNamed(browser, c.second);
        if (c.secondShown) strcpy(second.FindData.cFileName, c.secondShown);
        EXPECT_EQ(CompareLinks(&browser, &first, &second, c.mode), c.expected)
            << c.first << " " << c.second << " mode " << c.mode;
    }
}

TEST(LinkOrder, EveryOtherModeAndEveryModeInsideALinkIsTheHosts) {
    InProcessHost host;
    BSOBrowser browser;
    PluginPanelItem first = ItemNamed(browser, "1:2/9.0"), second = ItemNamed(browser, "1:2/10.0");
    // By size and by time the links' queues decide (equal ones here: by address).
    EXPECT_EQ(CompareLinks(&browser, &first, &second, SM_SIZE), -1);
    EXPECT_EQ(CompareLinks(&browser, &first, &second, SM_MTIME), -1);
    const unsigned hostModes[] = {SM_DEFAULT, SM_UNSORTED, SM_CTIME, SM_ATIME, 10u, 0xFFFFFFFFu};
    for (unsigned mode : hostModes)
        EXPECT_EQ(CompareLinks(&browser, &first, &second, mode), -2) << mode;
    strcpy(browser.CurDir, "1:2/9.0");
    for (unsigned mode = 0; mode <= SM_OWNER; ++mode)
        EXPECT_EQ(CompareLinks(&browser, &first, &second, mode), -2) << mode;
}

// The host's own order would be text order: 1:2/10.0 before 1:2/3.1 before 1:2/9.0.
TEST_F(Navigation, TheHostSortsLinksByAddress) {
    tree.Write("out/0002000A.OUT", "12");        // 1:2/10.0
    tree.Write("out/00020009.OUT", "1");         // 1:2/9.0
    tree.Write("out/00030001.OUT", "123");       // 1:3/1.0
    tree.Write("out/00020003.PNT/00000001.OUT"); // 1:2/3.1
    tree.Remove("out.002");
    tree.Remove("out/00020004.OUT");
    tree.Remove("out/00050006.OUT");
    tree.Remove("out/00020003.PNT/00000007.OUT");
    ASSERT_TRUE(Open());
    using Names = std::vector<std::string>;
    Panel().SetSort(SM_NAME);
    EXPECT_EQ(RowNames(), (Names{"1:2/3.1", "1:2/9.0", "1:2/10.0", "1:3/1.0"}));
    Panel().SetSort(SM_NAME, true);
    EXPECT_EQ(RowNames(), (Names{"1:3/1.0", "1:2/10.0", "1:2/9.0", "1:2/3.1"}));
    Panel().SetSort(SM_EXT);
    EXPECT_EQ(RowNames(), (Names{"1:2/9.0", "1:2/10.0", "1:3/1.0", "1:2/3.1"}));
    Panel().SetSort(SM_SIZE); // the host's rule: largest first, then by name
    EXPECT_EQ(RowNames(), (Names{"1:3/1.0", "1:2/10.0", "1:2/9.0", "1:2/3.1"}));
}

} // namespace
