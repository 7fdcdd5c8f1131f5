// The corners the stand-in host cannot reach, with the commands called in this process behind
// a host table of the test's own: a panel that reports no items (or a current item outside
// them), and a new flow file that takes the check but then refuses the line.
#include "commands/command_boxes.h"
#include "commands/file_request.h"
#include "commands/flavor_change.h"
#include "commands/removal.h"

#include "bso/outbound.h"
#include "bso/text_file.h"
#include "settings/settings.h"
#include "shell/box_text.h"
#include "shell/browser.h"
#include "shell/host.h"

#include "host_core.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace {

// What the commands asked of the host.
struct HostRecord {
    std::vector<std::vector<std::string>> messages; // each box: its items
    std::vector<std::string> dialogs;               // help topics
    std::vector<std::string> addressFields;         // item 2 of each dialog as offered
    std::vector<int> controls;
    int dialogAnswer = -1;
    PanelInfo panel = {};
};
HostRecord *record = nullptr;

const char *WINAPI GetMsgStub(int, int id) {
    static std::string texts[MessageCount];
    texts[id] = "M" + std::to_string(id);
    return texts[id].c_str();
}

int WINAPI MessageStub(int, DWORD, const char *, const char *const *items, int count, int) {
    record->messages.emplace_back(items, items + count);
    return 0;
}

int WINAPI DialogStub(int, int, int, int, int, const char *help, FarDialogItem *items, int count) {
    record->dialogs.push_back(help);
    record->addressFields.push_back(count > 2 ? items[2].Data : "");
    return record->dialogAnswer;
}

int WINAPI ControlStub(HANDLE, int command, void *param) {
    record->controls.push_back(command);
    if (command == FCTL_GETPANELINFO) *static_cast<PanelInfo *>(param) = record->panel;
    return 1;
}

int WINAPI CmpNameStub(const char *pattern, const char *string, int skipPath) {
    return standin::Host::CmpName(pattern, string, skipPath != 0) ? 1 : 0;
}

int WINAPI EditorStub(const char *, const char *, int, int, int, int, DWORD, int, int) {
    return 1;
}

// Write calls fail on the handles of files whose names end in the given suffixes.
std::set<std::string> failingSuffixes;
std::set<HANDLE> failingHandles;

bool EndsWithIgnoringCase(const std::string &text, const std::string &suffix) {
    if (text.size() < suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i)
        if (tolower(static_cast<unsigned char>(text[text.size() - suffix.size() + i])) !=
            tolower(static_cast<unsigned char>(suffix[i])))
            return false;
    return true;
}

HANDLE WINAPI CreateWatched(LPCSTR path, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                            DWORD disposition, DWORD flags, HANDLE templateFile) {
    HANDLE file =
        Win32FileOps.Create(path, access, share, security, disposition, flags, templateFile);
    for (const std::string &suffix : failingSuffixes)
        if (file != INVALID_HANDLE_VALUE && EndsWithIgnoringCase(path, suffix))
            failingHandles.insert(file);
    return file;
}

BOOL WINAPI WriteFailing(HANDLE file, const void *bytes, DWORD size, LPDWORD written,
                         LPOVERLAPPED overlapped) {
    if (failingHandles.count(file)) {
        if (written) *written = 0;
        return FALSE;
    }
    return Win32FileOps.Write(file, bytes, size, written, overlapped);
}

BOOL WINAPI CloseWatched(HANDLE file) {
    failingHandles.erase(file);
    return Win32FileOps.Close(file);
}

class InProcess : public ::testing::Test {
protected:
    InProcess() : savedHost(HostInfo), savedSettings(Settings) {
        record = &host;
        std::memset(&HostInfo, 0, sizeof(HostInfo));
        HostInfo.StructSize = sizeof(HostInfo);
        HostInfo.ModuleNumber = 1;
        HostInfo.GetMsg = GetMsgStub;
        HostInfo.Message = MessageStub;
        HostInfo.Dialog = DialogStub;
        HostInfo.Control = ControlStub;
        HostInfo.CmpName = CmpNameStub;
        HostInfo.Editor = EditorStub;
        dir.MakeDir("out");
        std::strcpy(Settings.PathToOutbound, dir.Win("out").c_str());
        std::strcpy(Settings.Address, "2:5020/1000");
        Settings.AttachFlavor = 3;
        FileOps.Create = CreateWatched;
        FileOps.Write = WriteFailing;
        FileOps.Close = CloseWatched;
        browser = new BSOBrowser;
        std::strcpy(browser->CurDir, "2:100/200.0");
        FtnAddress own = {2, 5020, 1000, 0}, link = {2, 100, 200, 0};
        browser->Link = link;
        BuildOutboundPath(&link, basePath, Settings.PathToOutbound, "", &own);
    }
    ~InProcess() override {
        delete browser;
        FileOps = Win32FileOps;
        failingSuffixes.clear();
        failingHandles.clear();
        HostInfo = savedHost;
        Settings = savedSettings;
        record = nullptr;
    }
    // A file listed by the flow file with the suffix (".FLO"): a row of the browser's, and its
    // item as the listing numbers it.
    PluginPanelItem ListedItem(const std::string &path, const char *suffix) {
        int index = browser->EntryCount;
        browser->Entries = static_cast<OutboundEntry *>(
            realloc(browser->Entries, static_cast<size_t>(index + 1) * sizeof(OutboundEntry)));
        OutboundEntry &row = browser->Entries[index];
        std::memset(&row, 0, sizeof(row));
        SetEntryStrings(row, path.substr(0, MAX_PATH - 1).c_str(), nullptr, ".....", ".....",
                        suffix);
        browser->EntryCount = browser->EntryCapacity = index + 1;
        FtnAddress link = browser->Link;
        FillPanelRows(browser, &link);
        PluginPanelItem item;
        std::memset(&item, 0, sizeof(item));
        std::memcpy(item.FindData.cFileName, row.Name, std::strlen(row.Name) + 1);
        item.UserData = RowNumberOf(index);
        return item;
    }
    // The flow file of the link with the suffix, as this platform names it ("out/006400c8.flo").
    std::string Flow(const std::string &suffix) {
        std::string path = std::string(basePath) + suffix;
        return path.substr(dir.Win("").size() + 1);
    }
    std::string Bytes(const std::string &relative) {
        return dir.Exists(relative) ? dir.Read(relative) : "<missing>";
    }

    TempDir dir;
    HostRecord host;
    PluginStartupInfo savedHost;
    PluginSettings savedSettings;
    BSOBrowser *browser = nullptr;
    char basePath[OutboundPathSize];
};

// No items, or a current item outside the items: nothing is read, asked or written. An item
// whose row is not the one it was listed from is refused with a box, never matched by name.
TEST_F(InProcess, APanelWithoutItemsIsNeverRead) {
    const std::string flow = Flow(".flo");
    dir.Write(flow, "Z:\\files\\a.zip\r\n");
    PluginPanelItem twoItems[2];
    std::memset(twoItems, 0, sizeof(twoItems));
    PluginPanelItem unnumbered = ListedItem(dir.Native("files/a.zip").string(), ".flo");
    PluginPanelItem beyond = unnumbered, replaced = unnumbered;
    unnumbered.UserData = 0;
    beyond.UserData = RowNumberOf(1);
    std::strcpy(replaced.FindData.cFileName, "b.zip"); // its row bears another name now
    struct Case {
        const char *name;
        PluginPanelItem *items;
        int count, current;
        int refusals; // boxes naming the item
    } cases[] = {
        {"no items", nullptr, 0, 0, 0},
        {"current beyond the items", twoItems, 2, 2, 0},
        {"negative current", twoItems, 2, -1, 0},
        {"an item without its row number", &unnumbered, 1, 0, 3},
        {"a row number beyond the rows", &beyond, 1, 0, 3},
        {"a row listed anew since", &replaced, 1, 0, 3},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        host.panel = PanelInfo{};
        host.panel.PanelItems = c.items;
        host.panel.ItemsNumber = c.count;
        host.panel.CurrentItem = c.current;
        host.messages.clear();
        host.dialogAnswer = FlavorOk;
        RemoveFromOutbound(browser);
        ChangeFlavor(browser, 1);
        ChangeFlavor(browser, 0);
        std::vector<std::vector<std::string>> refused(
            static_cast<size_t>(c.refusals),
            {"M2", "M" + std::to_string(MsgItemWithoutRow),
             c.count > 0 ? c.items[0].FindData.cFileName : "", "M0"});
        EXPECT_EQ(host.messages, refused);
        EXPECT_EQ(dir.Read(flow), "Z:\\files\\a.zip\r\n");
        EXPECT_FALSE(dir.Exists(Flow(".hlo")));
        // The file request offers nothing without items, inside a link too.
        host.dialogAnswer = -1;
        host.addressFields.clear();
        CreateFileRequest(browser);
        ASSERT_EQ(host.addressFields.size(), 1u);
        EXPECT_EQ(host.addressFields[0], c.count > 0 ? "2:100/200.0" : "");
    }
}

// The new flow file refuses the line: the old flow file keeps it exactly as it was (its copy
// without the line never takes its place), the new one is as before, and the user is told; so
// also when the old flow file would refuse a write too (a full disk takes both).
TEST_F(InProcess, ALineRefusedByTheNewFlowFileStaysWhereItWas) {
    const std::string old = "^Z:\\a\\file.zip\r\n~Z:\\done\r\nZ:\\b\\other.zip\r\n";
    struct Case {
        const char *name;
        std::vector<std::string> failing;
        std::string oldAfter;
        std::string subject; // of the warning
    } cases[] = {
        {"new flow file refuses", {".hlo"}, old, "old path"},
        {"old one would refuse too", {".hlo", ".flo"}, old, "old path"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        for (const char *existing : {"", "new file exists"}) {
            SCOPED_TRACE(existing);
            dir.Write(Flow(".flo"), old);
            if (*existing) dir.Write(Flow(".hlo"), "#Z:\\held.zip\r\n");
            failingSuffixes = std::set<std::string>(c.failing.begin(), c.failing.end());
            host.messages.clear();
            PluginPanelItem item = ListedItem("Z:\\A\\file.zip", ".FLO");
            EXPECT_FALSE(ChangeFlavorOfItem(browser, &item, basePath, Hold));
            failingSuffixes.clear();
            EXPECT_EQ(Bytes(Flow(".flo")), c.oldAfter);
            EXPECT_EQ(Bytes(Flow(".hlo")), *existing ? "#Z:\\held.zip\r\n" : "<missing>");
            std::string oldPath = std::string(basePath) + ".FLO";
            // A long path is shown shortened in its middle, as the box would cut it.
            auto Shown = [](const std::string &path) {
                char shown[MAX_PATH + 16];
                ShortenPath(shown, sizeof shown, path.c_str(), MessageLineWidth);
                return std::string(shown);
            };
            std::vector<std::vector<std::string>> expected = {
                {"M2", "M37", Shown(c.subject == "old path" ? oldPath : c.subject), "M0"}};
            EXPECT_EQ(host.messages, expected);
            std::filesystem::remove(dir.Native(Flow(".hlo")));
        }
    }
}

// Without a failure the same call moves the line (the check above is not what refuses it).
TEST_F(InProcess, TheSameCallMovesTheLineWhenNothingFails) {
    dir.Write(Flow(".flo"), "^Z:\\a\\file.zip\r\nZ:\\b\\other.zip\r\n");
    // The row as the listing names it: upper case on Windows, the native path on Linux.
#ifdef _WIN32
    PluginPanelItem item = ListedItem("Z:\\A\\file.zip", ".flo");
#else
    PluginPanelItem item = ListedItem("/a/file.zip", ".flo");
#endif
    EXPECT_TRUE(ChangeFlavorOfItem(browser, &item, basePath, Hold));
    EXPECT_EQ(Bytes(Flow(".hlo")), "^Z:\\a\\file.zip\r\n");
    EXPECT_EQ(Bytes(Flow(".flo")), "Z:\\b\\other.zip\r\n");
    EXPECT_TRUE(host.messages.empty());
}

// The removal question's formats come from the language files: a faulty translation must not
// make the formatting read arguments that were never passed, nor write past the buffer.
TEST(RemovalQuestionFormat, OnlyTheOnePlaceholderIsFilled) {
    struct Case {
        const char *format;
        char placeholder;
        const char *expected;
    } cases[] = {
        {"Remove %s from the outbound", 's', "Remove X from the outbound"},
        {"%d selected files", 'd', "X selected files"},
        {"100%% sure: %s?", 's', "100% sure: X?"},
        {"%s and %s %n %d", 's', "X and %s %n %d"},
        {"no placeholder", 's', "no placeholder"},
        {"%d files", 's', "%d files"},
        {"ends in %", 's', "ends in %"},
    };
    for (const Case &c : cases) {
        char buffer[64];
        FormatWithOneArgument(buffer, sizeof(buffer), c.format, c.placeholder, "X");
        EXPECT_STREQ(buffer, c.expected) << c.format;
    }
    char small[8];
    FormatWithOneArgument(small, sizeof(small), "Remove %s now", 's', "X");
    EXPECT_STREQ(small, "Remove ");
}

} // namespace
