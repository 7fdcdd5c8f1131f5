// The panel follows changes under the outbound by itself on the host's idle events, and only
// then: nothing changed, the setting off or no outbound to watch means no new listing.
#include "settings/config_dialog.h"

#include "outbound_fixture.h"
#include "wine.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

class AutoRefresh : public OutboundPanelTest {
protected:
    AutoRefresh() {
        settings.autoRefresh = 1;
        tree.Write("out/006400C8.OUT");   // 2:100/200.0
        tree.MakeDir("out/006400C8.PNT"); // its points, none queued yet
    }
    // Listings and redraws since the counts were last taken.
    struct Counts {
        int updates, redraws;
        bool operator==(const Counts &other) const {
            return updates == other.updates && redraws == other.redraws;
        }
    };
    Counts Now() { return {Panel().UpdateCount(), Panel().RedrawCount()}; }
    Counts Since(const Counts &before) {
        Counts now = Now();
        return {now.updates - before.updates, now.redraws - before.redraws};
    }
    // Idle rounds with nothing changed list nothing again; counted here so that a missed
    // re-arm (which would refresh on every idle event) shows.
    void ExpectQuietIdle(int rounds = 2) {
        Counts before = Now();
        host->Idle(rounds);
        Counts change = Since(before);
        EXPECT_EQ(change.updates, 0);
        EXPECT_EQ(change.redraws, 0);
    }
    // One change, one idle event: one new listing and one redraw, then quiet again.
    void ExpectOneRefresh(const std::string &newRow) {
        Counts before = Now();
        // The host's next idle event: more than 2 s after the panel's last listing.
        host->AdvanceClock(2000);
        host->Idle();
        Counts change = Since(before);
        EXPECT_EQ(change.updates, 1);
        EXPECT_EQ(change.redraws, 1);
        EXPECT_TRUE(Row(newRow)) << newRow;
        ExpectQuietIdle();
    }
};

TEST_F(AutoRefresh, NothingChangedNothingListed) {
    ASSERT_TRUE(Open());
    ExpectQuietIdle(3);
}

TEST_F(AutoRefresh, AFileInTheOutboundRefreshesTheNextIdleEvent) {
    ASSERT_TRUE(Open());
    ASSERT_TRUE(Select("2:100/200.0"));
    tree.Write("out/00C80064.OUT"); // 2:200/100.0
    // Only idle events look for changes.
    Counts before = Now();
    EXPECT_EQ(host->GetExports().ProcessEvent(Panel().Handle(), FE_REDRAW, nullptr), 0);
    EXPECT_EQ(Since(before).updates, 0);
    ExpectOneRefresh("2:200/100.0");
    // The listing the refresh asked for keeps the selection.
    EXPECT_TRUE(Row("2:100/200.0")->IsSelected());
    tree.Remove("out/00C80064.OUT");
    host->Idle();
    EXPECT_FALSE(Row("2:200/100.0"));
}

TEST_F(AutoRefresh, AFileInAPointDirectoryRefreshesTheNextIdleEvent) {
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine 8 signals a change notification only for changes in the watched "
                        "folder itself, never for a file created in a folder below it";
    ASSERT_TRUE(Open());
    tree.Write("out/006400C8.PNT/00000005.OUT"); // 2:100/200.5
    ExpectOneRefresh("2:100/200.5");
}

// Switched off, idle events neither list nor take the change away: switched on in the
// configuration dialog, the next idle event still sees what happened meanwhile.
TEST_F(AutoRefresh, SwitchedOffIdleEventsDoNothing) {
    settings.autoRefresh = 0;
    ASSERT_TRUE(Open());
    tree.Write("out/00C80064.OUT");
    ExpectQuietIdle(3);
    EXPECT_FALSE(Row("2:200/100.0"));

    front.Expect(
        standin::Expect::Dialog("BSOCfg").SetCheck(ConfigItem("AutoRefresh"), true).Default());
    ASSERT_EQ(host->Configure(0), 1);
    Counts before = Now();
    host->Idle();
    EXPECT_EQ(Since(before).updates, 1);
    EXPECT_TRUE(Row("2:200/100.0"));
}

TEST_F(AutoRefresh, AMissingOutboundNeverRefreshes) {
    settings.pathToOutbound = tree.Win("later");
    ASSERT_TRUE(Open());
    EXPECT_TRUE(Rows().empty());
    // The outbound appearing after the panel opened is not watched either.
    tree.Write("later/00C80064.OUT");
    ExpectQuietIdle(3);
    EXPECT_TRUE(Rows().empty());
}

// Other zones' folders lie beside the outbound, not in it: each is watched, and so is the
// folder holding them, for a zone folder made later. A folder there that is no zone folder
// (the inbound, a temporary folder) neither refreshes nor is watched.
TEST_F(AutoRefresh, ZoneFoldersBesideTheOutbound) {
    tree.MakeDir("out.001");
    tree.MakeDir("in");
    ASSERT_TRUE(Open());
    ExpectQuietIdle();
    struct Step {
        const char *what;
        const char *file; // written (or, with a leading '-', removed)
        const char *row;  // shown afterwards (or, with '-', gone)
        bool refresh;
    } const steps[] = {
        {"a file in a zone folder", "out.001/00010002.CLO", "1:1/2.0", true},
        {"removed from it", "-out.001/00010002.CLO", "-1:1/2.0", true},
        {"a zone folder made later", "out.003/00030004.OUT", "3:3/4.0", true},
        {"then a file in it", "out.003/00030005.OUT", "3:3/5.0", true},
        {"a point folder in a zone folder", "out.003/00030004.PNT/00000001.OUT", "3:3/4.1", true},
        {"a zone folder of four digits", "out.1000/00030004.OUT", "4096:3/4.0", true},
        {"then a file in it", "out.1000/00030005.OUT", "4096:3/5.0", true},
        {"the inbound", "in/00010003.CLO", "-1:1/3.0", false},
        {"a folder beside that is no zone folder", "tmp.x/a.b", "-1:1/3.0", false},
    };
    for (const Step &step : steps) {
        SCOPED_TRACE(step.what);
        if (RunningUnderWine() && strstr(step.file, ".PNT/"))
            continue; // Wine signals no change below a watched folder's own entries
        if (step.file[0] == '-')
            tree.Remove(step.file + 1);
        else
            tree.Write(step.file);
        // Within a few idle events: a new folder's watch comes with the first of them.
        Counts before = Now();
        for (int round = 0; round < 4 && Since(before).updates == 0; ++round) host->Idle();
        EXPECT_EQ(Since(before).updates, step.refresh ? 1 : 0);
        if (step.row[0] == '-')
            EXPECT_FALSE(Row(step.row + 1));
        else
            EXPECT_TRUE(Row(step.row));
        ExpectQuietIdle();
    }
}

} // namespace
