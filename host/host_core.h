// The stand-in host: loads a panel plugin module the way the real file manager does, hands it
// the host's function table and plays the host's part of every call. Two panels side by side,
// each a plain file panel or a plugin panel; everything shown to the user goes through a
// front end (a terminal, or a script in the tests).
//
// Texts: on Linux the host converts the plugin's language file to UTF-8, so every text the
// front end gets is UTF-8; on Windows texts stay in the file's OEM code page.
// Paths are in Win32 form ("Z:\a\b" on Linux, where drive Z: is "/").
//
// One Host at a time per process: the host's functions in the table have no context argument,
// so they reach the Host that is alive.
#ifndef BSOPANEL_HOST_HOST_CORE_H
#define BSOPANEL_HOST_HOST_CORE_H

#include "plugin_api.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace standin {

class Host;
class Panel;

// ---- What the front end is asked to show -------------------------------------------------

struct DialogRequest {
    int x1 = -1, y1 = -1, x2 = 0, y2 = 0; // as the plugin passed them; -1, -1 centres a box of
                                          // x2 columns by y2 rows
    std::string helpTopic;
    FarDialogItem *items = nullptr; // the plugin's own items: the answer is written into them
    int count = 0;
    // For each item: the earlier inputs of its history (most recent first); empty for items
    // without DIF_HISTORY.
    std::vector<std::vector<std::string>> histories;
};

// Message flag: the system's text for GetLastError() above the lines.
constexpr DWORD kMessageErrorType = 0x2;

struct MessageRequest {
    DWORD flags = 0; // FMSG_WARNING, kMessageErrorType
    // Lines starting with byte 1 or 2 are separators across the box.
    std::string helpTopic;
    std::string title;
    std::vector<std::string> lines;
    std::vector<std::string> buttons; // none: a box that stays until the screen is restored
};

struct EditorRequest {
    std::string fileName;   // as the plugin passed it (Win32 form)
    std::string nativePath; // the same file as this platform's file system names it
    std::string title;
    int x1 = 0, y1 = 0, x2 = -1, y2 = -1;
    DWORD flags = 0;
    int startLine = 0, startChar = 0;
};

struct ViewerRequest {
    std::string fileName;   // as the plugin passed it (Win32 form)
    std::string nativePath; // the same file as this platform's file system names it
    std::string title;      // the plugin's title, else the file name
    int x1 = 0, y1 = 0, x2 = -1, y2 = -1;
    DWORD flags = 0;
    bool hostOwn = false; // F3 on a panel item, not the plugin's call
};

// Everything the host shows to the user. Calls come on the host's thread, inside the plugin's
// call that asked for them.
class FrontEnd {
public:
    virtual ~FrontEnd() = default;
    // Runs the dialog modally; returns the index of the item that closed it, -1 on Esc. Edit
    // fields' Data and check boxes' and radio buttons' Selected hold the input then.
    virtual int Dialog(const DialogRequest &request) = 0;
    // Returns the chosen button's index (0 for the first), -1 on Esc. With no buttons the box
    // is drawn and the call returns at once; the box stays until its screen is restored.
    virtual int Message(const MessageRequest &request) = 0;
    // A modal editor on the file; returns when the user leaves it, the file saved by then:
    // 0 it could not be opened, 1 modified, 2 not modified, 3 loading interrupted.
    virtual int Editor(const EditorRequest &request) = 0;
    // The host's viewer on a file it opened already: modal, it returns when the user leaves it.
    virtual void Viewer(const ViewerRequest & /*request*/) {}
    // The screen was saved under this id / put back (boxes drawn since then disappear).
    virtual void ScreenSaved(int /*id*/) {}
    virtual void ScreenRestored(int /*id*/) {}
    // The panel was redrawn (after an update, FCTL_REDRAWPANEL, a key...).
    virtual void PanelRedrawn(const Panel & /*panel*/) {}
};

// ---- Copies of what the plugin answered -----------------------------------------------------

struct PluginInfoCopy {
    int structSize = 0;
    DWORD flags = 0;
    std::vector<std::string> diskMenuStrings;
    std::vector<int> diskMenuNumbers; // 0 where the plugin gave no numbers
    std::vector<std::string> pluginMenuStrings;
    std::vector<std::string> pluginConfigStrings;
    std::optional<std::string> commandPrefix;
};

struct PanelModeCopy {
    bool hasColumnTypes = false; // a mode without column types keeps the host's own columns
    std::string columnTypes;
    std::string columnWidths;
    std::vector<std::optional<std::string>> columnTitles; // one per column of columnTypes
    int fullScreen = 0, detailedStatus = 0, alignExtensions = 0, caseConversion = 0;
    std::optional<std::string> statusColumnTypes, statusColumnWidths;
};

// Key bar groups in KeyBarTitles order.
enum KeyBarGroup { KeyBarPlain = 0, KeyBarCtrl = 1, KeyBarAlt = 2, KeyBarShift = 3 };

struct OpenPluginInfoCopy {
    int structSize = 0;
    DWORD flags = 0;
    std::optional<std::string> hostFile;
    std::string curDir;
    std::optional<std::string> format;
    std::optional<std::string> panelTitle;
    int infoLinesNumber = 0;
    std::vector<std::string> descrFiles;
    std::vector<PanelModeCopy> panelModes; // PanelModesNumber records
    int startPanelMode = 0;                // as answered: '0' + n, or 0 when left alone
    int startSortMode = 0, startSortOrder = 0;
    bool hasKeyBar = false;
    // [group][key]: F1..F12; nullopt where the plugin left the host's own label.
    std::optional<std::string> keyBar[4][12];
    std::optional<std::string> shortcutData;
};

// One item of a panel as the host shows it.
struct ShownItem {
    std::string name; // FindData.cFileName
    DWORD attributes = 0;
    uint64_t size = 0;
    FILETIME lastWriteTime = {0, 0};
    DWORD flags = 0; // the plugin's flags; PPIF_SELECTED only when the host selected it
    std::vector<std::string> columns; // CustomColumnData (null texts become "")
    std::optional<std::string> description, owner;
    bool isDots = false; // the ".." item the host added
    bool IsDirectory() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    bool IsSelected() const { return (flags & PPIF_SELECTED) != 0; }
};

// ---- Panels -----------------------------------------------------------------------------------

enum class Side { Left = 0, Right = 1 };

class Panel {
public:
    Panel(Host &host, Side side, const std::string &directory);
    ~Panel();
    Panel(const Panel &) = delete;
    Panel &operator=(const Panel &) = delete;

    Side GetSide() const { return side_; }
    bool IsPlugin() const { return plugin_; }
    HANDLE Handle() const { return handle_; } // the plugin's panel handle, or null

    // The items as shown, in shown order (the ".." item first where there is one).
    int Count() const { return static_cast<int>(items_.size()); }
    ShownItem Item(int index) const;
    std::vector<ShownItem> Items() const;
    std::vector<std::string> Names() const;
    const PluginPanelItem &RawItem(int index) const { return items_[index]; }
    int IndexOf(const std::string &name) const; // exact name; -1 when not shown
    bool IsDotsItem(int index) const { return hasDots_ && index == 0; }

    int CurrentIndex() const { return current_; }
    std::string CurrentName() const;
    bool SetCurrent(int index);
    bool SetCurrentByName(const std::string &name);

    // Selection, the host's own: PPIF_SELECTED from GetFindData selects nothing. The ".." item
    // is never selected.
    bool Select(const std::string &name, bool on = true);
    void ToggleSelection(int index);
    void SelectAll(bool on);
    std::vector<std::string> SelectedNames() const;

    // Plugin panel: CurDir as the plugin last reported it. File panel: its directory.
    std::string CurDir() const;
    // File panel: the directory it shows (Win32 form); for a plugin panel, the directory the
    // side will show again when the plugin panel closes.
    std::string Directory() const { return directory_; }
    // The panel's title: the plugin's PanelTitle, or a file panel's directory.
    std::string Title() const;
    // The plugin's last GetOpenPluginInfo answer, copied at once.
    const OpenPluginInfoCopy &Info() const { return info_; }

    int UpdateCount() const { return updates_; } // listings since the panel opened
    int RedrawCount() const { return redraws_; }
    int ViewMode() const { return viewMode_; }
    void SetViewMode(int mode);
    // The column types and widths of the current view mode: the plugin's where it set them,
    // else the host's own.
    std::string ViewColumnTypes() const;
    std::string ViewColumnWidths() const;
    int SortMode() const { return sortMode_; }
    bool SortReversed() const { return sortReversed_; }
    void SetSort(int mode, bool reversed = false); // re-sorts at once, the current item kept

    // Re-lists (plugin: GetOpenPluginInfo, then GetFindData; file: the directory). The current
    // item stays by name, else at its place. The selection is kept by exact name, or dropped
    // (FCTL_UPDATEPANEL with a NULL parameter). No redraw: Redraw() does that.
    bool Update(bool keepSelection = true);
    // The host's clock (milliseconds) when the panel was last listed.
    uint64_t ListedAt() const { return listedAt_; }
    // Redraws (a plugin panel asks GetOpenPluginInfo first).
    void Redraw();
    // Enter on the current item: a folder or ".." of a plugin panel through SetDirectory; a
    // directory of a file panel. False when nothing changed.
    bool Enter();
    // File panel: shows another directory. False when it cannot be listed.
    bool ChangeDirectory(const std::string &directory);
    // File panel: lists its directory again when a change was signalled there since the last
    // look (the selection and the current item kept). True when it did.
    bool FollowChanges();
    // F3 on a folder of a plugin panel that does not take F3: the host walks the folder
    // (GetPluginDirList), puts the sum of its files' sizes into the item and keeps it there
    // over later listings that keep the selection. False on no folder.
    bool CountFolderSize();

private:
    friend class Host;
    struct OwnedItem; // the host's copy of one item the plugin gave
    bool ListFiles();
    void WatchDirectory();
    void StopWatching();
    void SortItems();
    void SetOrigins();
    static void SetSelected(PluginPanelItem &item, bool on);
    void Reselect(const std::vector<std::string> &names);
    void ApplyCurrent(const std::string &name, int fallback);
    void ReleaseAll();
    void FillPanelInfo(PanelInfo *info, bool focus);
    bool ListPlugin(bool opening, bool keepSelection);
    void AskOpenPluginInfo();
    void BecomePluginPanel(HANDLE handle);
    void BecomeFilePanel(const std::string &directory);
    int HostCompare(const PluginPanelItem &a, const PluginPanelItem &b) const;

    Host &host_;
    Side side_;
    bool plugin_ = false;
    HANDLE handle_ = nullptr;
    std::string directory_;
    std::string pendingDirectory_; // FCTL_SETPANELDIR / FCTL_CLOSEPLUGIN
    // File panel: the change notification on its directory (only the directory itself, not
    // below), and the directory it watches.
    HANDLE change_ = INVALID_HANDLE_VALUE;
    std::string watched_;
    bool closeRequested_ = false;
    bool closing_ = false; // inside ClosePlugin
    bool listing_ = false; // inside GetFindData
    bool hasDots_ = false;
    OpenPluginInfoCopy info_;
    std::vector<std::unique_ptr<OwnedItem>> owned_; // the listing's copies
    std::vector<PluginPanelItem> items_;            // shown, sorted; texts point into owned_
    std::vector<int> origin_;                       // each shown item's place in the listing
    std::vector<bool> pluginSelected_;              // by origin: the plugin's own PPIF_SELECTED
    uint64_t listedAt_ = 0;
    int current_ = 0;
    int updates_ = 0, redraws_ = 0;
    int viewMode_ = 2;
    int sortMode_ = SM_NAME;
    bool sortReversed_ = false;
    std::vector<PluginPanelItem> infoItems_, infoSelected_; // what FCTL_GET*PANELINFO gave
    std::map<std::string, uint64_t> folderSizes_;           // counted with F3, by folder name
};

// ---- The host ---------------------------------------------------------------------------------

struct HostOptions {
    // The host's registry root for plugins (HKEY_CURRENT_USER\<rootKey>). Histories live in
    // "<rootKey minus its last part>\SavedDialogHistory\<name>". Tests use a unique root.
    std::string rootKey = "Software\\Far\\Plugins";
    // Linux: the registry file ($BSOPANEL_REGISTRY is set to it). Empty: leave the environment
    // as it is. Ignored on Windows, which has a registry.
    std::string registryFile;
    // The language whose .lng file is used ("English", "Russian"). Empty: $BSOPANEL_LANG, else
    // English.
    std::string language;
    // When non-zero, loading fails unless the language file holds at least this many messages.
    int expectedMessages = 0;
    // The directories the two panels show at start (Win32 form). Empty: the process's current
    // directory.
    std::string leftDirectory, rightDirectory;
    // The real host sets the process's file functions to OEM text at start; true keeps them
    // ANSI, so that both modes can be tested.
    bool ansiFileApis = false;
    // A clock that moves only when told (tests); false: the real clock.
    bool manualClock = false;
    // Message lines wider than this less 14 columns (less 16 in a box without buttons) are cut
    // at their end.
    int screenWidth = 80;
    // A message box holds this less 2 items, its title and buttons included.
    int screenHeight = 24;
    // The user's "show hidden and system files"; the real host starts with it off.
    bool showHidden = false;
};

// The panels' filter: true keeps the item. Applied to a plugin panel that sets OPIF_USEFILTER.
using PanelFilter = std::function<bool(const FAR_FIND_DATA &)>;

class Host {
public:
    explicit Host(FrontEnd &frontEnd, HostOptions options = {});
    ~Host(); // closes open plugin panels, unloads the module
    Host(const Host &) = delete;
    Host &operator=(const Host &) = delete;

    // Loads the module (Win32 or native path), reads its language file, calls SetStartupInfo.
    // False with LastError() saying why: missing module, missing export, missing language
    // file, a broken language file (with file name and line).
    bool LoadPlugin(const std::string &modulePath);
    const std::string &LastError() const { return lastError_; }
    bool Loaded() const { return module_ != nullptr; }
    HMODULE Module() const { return module_; }
    std::string ModuleName() const; // Win32 form, as given to the plugin

    // The language file in use and its texts (converted).
    const std::string &LanguageName() const { return languageName_; }
    const std::string &LanguageFile() const { return languageFile_; }
    int MessageCount() const { return static_cast<int>(messages_.size()); }
    // What GetMsg answers. An id the language file has no text for gives "", and the first
    // such id an error box (FMSG_WARNING, title "Error", buttons "Ok" and "Quit") that names
    // the file and the ids missing; "Quit" asks the front end to end the host.
    const char *Message(int id);
    // The ids asked for that the language file has no text for, each once, in asking order.
    const std::vector<int> &MissingMessages() const { return missingMessages_; }
    // The user chose "Quit" in a box of the host's own: the front end ends the host.
    bool QuitRequested() const { return quitRequested_; }

    PluginInfoCopy GetPluginInfo();
    int Configure(int itemNumber);

    // Panels. Left and right; the active one gets the keys.
    Panel &Left() { return *panels_[0]; }
    Panel &Right() { return *panels_[1]; }
    Panel &GetPanel(Side side) { return *panels_[static_cast<int>(side)]; }
    Panel &Active() { return *panels_[active_]; }
    Panel &Passive() { return *panels_[1 - active_]; }
    void SetActive(Side side);
    // The panel showing the plugin: the active one if it does, else the passive one; null
    // when no plugin panel is open.
    Panel *PluginPanel();

    // Opens the plugin on the active panel (or on the given side). The process's current
    // directory is set to that panel's directory first, as the real host keeps it. False when
    // OpenPlugin gave INVALID_HANDLE_VALUE or the first listing failed.
    bool OpenPanel(int openFrom = OPEN_PLUGINSMENU, INT_PTR item = 0);
    bool OpenPanelOn(Side side, int openFrom = OPEN_PLUGINSMENU, INT_PTR item = 0);
    // Closes the plugin panel of the active panel (or of the side) after FE_CLOSE, which may
    // keep it open unless `force`; the side then shows the directory set with
    // FCTL_SETPANELDIR, else the one it showed before. False when the panel stays.
    bool ClosePanel();
    bool ClosePanelOn(Side side, bool force = false);

    // A key on the active panel: a plugin panel gives it to ProcessKey first; returns true when
    // the plugin took it. Otherwise the host's own meaning: Enter, Insert (select and move
    // down), Up, Down, Home, End, Ctrl+R (re-list), Ctrl+F3..Ctrl+F11 (sort modes; the same one
    // again turns the order round), F5/F6 from a file panel onto a plugin panel.
    bool PressKey(int virtualKey, unsigned controlState = 0);
    // F5 (copy) / F6 (move) on the active file panel with the plugin panel opposite: PutFiles
    // with its selected items (the current one when none is selected). Returns PutFiles'
    // result, or -1 when there is nothing to put or no plugin panel opposite.
    int CopyToPluginPanel(bool move);
    // F5/F6 as the user presses them: the host's Copy/Move dialog first (help topic CopyFiles
    // or MoveFiles; item 2 the target, "Format:" of the plugin panel; item 3 the default
    // button, 4 Cancel). Esc or Cancel calls nothing; a target edited into a path copies on
    // disk; else CopyToPluginPanel. Returns its result, or -1.
    int CopyThroughDialog(bool move);
    // F8 on a plugin panel with OPIF_REALNAMES: the host deletes the real files its items name
    // (the selected ones, else the current one), after its own question ("Delete", buttons
    // "Delete" and "Cancel"), and lists the panel again. Returns how many went.
    int DeleteRealFiles(Panel &panel);
    // F3 on a file item of a plugin panel with OPIF_REALNAMES that the plugin did not take:
    // the host's own viewer on the real file the item names. False when it cannot be opened.
    bool ViewRealFile(Panel &panel);
    // `times` rounds of the host's idle loop, one second apart (a manual clock is moved by
    // that second first): ProcessEvent(FE_IDLE) on each plugin panel listed more than 2 s ago;
    // a file panel whose directory changed (a file made, deleted, renamed or written there) is
    // listed again, as the real host follows its file panels.
    void Idle(int times = 1);

    // The host's clock in milliseconds: the real one, or with HostOptions::manualClock one that
    // moves only by AdvanceClock and by Idle.
    uint64_t Now() const;
    void AdvanceClock(uint64_t milliseconds);
    // How long each ProcessEvent call held the host (microseconds), oldest first.
    const std::vector<double> &EventHolds() const { return eventHolds_; }
    void ClearEventHolds() { eventHolds_.clear(); }
    // GetPluginDirList calls (each draws the "preparing the list" box).
    int DirListWalks() const { return dirListWalks_; }
    // ClosePlugin calls made for a panel that was being closed already (the plugin closed
    // its own panel from inside ClosePlugin).
    int ReenteredCloses() const { return reenteredCloses_; }

    // The filter the user set for the panels; none (the default) drops nothing.
    void SetPanelFilter(PanelFilter filter) { filter_ = std::move(filter); }

    // CmpName as the host offers it.
    static bool CmpName(const char *pattern, const char *string, bool skipPath);

    // Address histories (kept in the registry, newest first, at most 16, no duplicates). A
    // dialog closed any way but Esc adds the text of each DIF_HISTORY edit field to the
    // history the field names.
    std::vector<std::string> History(const std::string &name) const;
    void AddToHistory(const std::string &name, const std::string &text);
    std::string HistoryKey(const std::string &name) const;

    // Saved screens not restored yet; GetPluginDirList answers not freed yet.
    int OpenScreens() const { return static_cast<int>(screens_.size()); }
    int OpenDirLists() const { return static_cast<int>(dirLists_.size()); }

    // Contract violations the host saw (a wrong module number, GetMsg beyond the file, an
    // unknown panel handle, FreeDirList of something never given, RestoreScreen twice...).
    const std::vector<std::string> &Failures() const { return failures_; }
    void ClearFailures() { failures_.clear(); }

    const HostOptions &Options() const { return options_; }
    FrontEnd &GetFrontEnd() { return frontEnd_; }
    int ModuleNumber() const { return kModuleNumber; }
    const PluginStartupInfo &StartupInfo() const { return startupInfo_; }

    // The exports that were found (null where the module has none).
    struct Exports {
        PFN_SetStartupInfo SetStartupInfo = nullptr;
        PFN_GetPluginInfo GetPluginInfo = nullptr;
        PFN_OpenPlugin OpenPlugin = nullptr;
        PFN_ClosePlugin ClosePlugin = nullptr;
        PFN_GetFindData GetFindData = nullptr;
        PFN_FreeFindData FreeFindData = nullptr;
        PFN_GetOpenPluginInfo GetOpenPluginInfo = nullptr;
        PFN_SetDirectory SetDirectory = nullptr;
        PFN_ProcessKey ProcessKey = nullptr;
        PFN_Configure Configure = nullptr;
        PFN_Compare Compare = nullptr;
        PFN_PutFiles PutFiles = nullptr;
        PFN_ProcessEvent ProcessEvent = nullptr;
    };
    const Exports &GetExports() const { return exports_; }

    // For the host's table functions (host_core.cpp) and the panels.
    void Fail(const std::string &what);
    static Host *Current();

private:
    friend class Panel;
    friend struct HostTable;
    static constexpr int kModuleNumber = 1;
    // Brackets every call into the plugin; a close the plugin asked for runs when the
    // outermost call returns.
    struct PluginCall {
        explicit PluginCall(Host &host) : host_(host) { host_.EnterPlugin(); }
        ~PluginCall() { host_.LeavePlugin(); }
        Host &host_;
    };
    void CheckModuleNumber(const char *function, int pluginNumber);

    bool ReadLanguageFile(const std::string &moduleDirectory);
    void ReportMissingMessage(int id);
    Panel *PanelOfHandle(HANDLE handle);
    int Control(HANDLE plugin, int command, void *param);
    int RunDialog(int x1, int y1, int x2, int y2, const char *helpTopic, FarDialogItem *items,
                  int count);
    int RunMessage(DWORD flags, const char *helpTopic, const char *const *items, int count,
                   int buttons);
    int RunEditor(const char *fileName, const char *title, int x1, int y1, int x2, int y2,
                  DWORD flags, int startLine, int startChar);
    // The host's viewer, modal (a non-modal one opens a window of its own, which the stand-in
    // host has not): TRUE once it was shown, FALSE when the file cannot be opened.
    int RunViewer(const char *fileName, const char *title, int x1, int y1, int x2, int y2,
                  DWORD flags, bool hostOwn);
    HANDLE SaveScreen();
    void RestoreScreen(HANDLE screen);
    int GetPluginDirList(HANDLE plugin, const char *dir, PluginPanelItem **items, int *count);
    void FreeDirList(const PluginPanelItem *items);
    int SendEvent(Panel &panel, int event);
    void WalkPluginDir(HANDLE plugin, const std::string &prefix, int depth,
                       std::vector<PluginPanelItem> &found);
    std::string PluginCurDir(HANDLE plugin);
    void EnterPlugin();
    void LeavePlugin();
    void RunPendingCloses();

    FrontEnd &frontEnd_;
    HostOptions options_;
    std::string lastError_;
    std::vector<std::string> failures_;
    HMODULE module_ = nullptr;
    std::string moduleName_;
    Exports exports_;
    PluginStartupInfo startupInfo_;
    std::string rootKey_;
    std::string languageName_, languageFile_;
    std::vector<std::string> messages_;
    std::vector<int> messageLines_;
    int languageLineCount_ = 0;
    std::vector<int> missingMessages_;
    bool quitRequested_ = false;
    int screenCounter_ = 0;
    std::unique_ptr<Panel> panels_[2];
    int active_ = 0;
    std::vector<int *> screens_;
    std::vector<PluginPanelItem *> dirLists_;
    int pluginDepth_ = 0;
    bool runningPending_ = false;
    std::string savedCurrentDirectory_;
    uint64_t manualNow_ = 0;
    std::vector<double> eventHolds_;
    int dirListWalks_ = 0;
    int reenteredCloses_ = 0;
    bool walking_ = false;
    PanelFilter filter_;
};

// The radio group of items[index]: the unbroken run of radio buttons around it, started by
// one with DIF_GROUP and ended by any other item; [first, last).
void RadioGroupOf(const FarDialogItem *items, int count, int index, int &first, int &last);

// The path as the platform's file system names it: "Z:\a\b" gives "/a/b" on Linux.
std::string NativePath(const std::string &win32Path);
// The Win32 form of a path: "/a/b" gives "Z:\a\b" on Linux (and under Wine).
std::string Win32Path(const std::string &path);

} // namespace standin

#endif
