// The host: the module, its function table, the language file, dialogs, messages, screens,
// histories and the panel control commands.
#include "host_core.h"
#include "language_file.h"

#ifndef _WIN32
#include <compat_posix.h>
#endif

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace standin {

namespace {

Host *currentHost = nullptr;

const char kPreparingTheList[] = "Preparing the list";

// History lists keep the most recent inputs, newest first.
const int kHistoryLength = 16;

Host *HostFor(const char *function) {
    if (!currentHost) {
        // No host alive: the plugin kept the table past the host's end.
        fprintf(stderr, "stand-in host: %s called with no host alive\n", function);
        return nullptr;
    }
    return currentHost;
}

std::string TextOrEmpty(const char *text) {
    return text ? std::string(text) : std::string();
}

std::optional<std::string> OptionalText(const char *text) {
    if (!text) return std::nullopt;
    return std::string(text);
}

} // namespace

// The functions of the table handed to the plugin. They find the live Host.
struct HostTable {
    static void WINAPI Unsupported() {
        if (Host *host = HostFor("an unsupported function"))
            host->Fail("the plugin called a host function the stand-in host does not offer "
                       "(Menu, GetDirList, CharTable, Text or EditorControl)");
    }
    static int WINAPI Dialog(int pluginNumber, int x1, int y1, int x2, int y2,
                             const char *helpTopic, FarDialogItem *items, int count) {
        Host *host = HostFor("Dialog");
        if (!host) return -1;
        host->CheckModuleNumber("Dialog", pluginNumber);
        return host->RunDialog(x1, y1, x2, y2, helpTopic, items, count);
    }
    static int WINAPI Message(int pluginNumber, DWORD flags, const char *helpTopic,
                              const char *const *items, int count, int buttons) {
        Host *host = HostFor("Message");
        if (!host) return -1;
        host->CheckModuleNumber("Message", pluginNumber);
        return host->RunMessage(flags, helpTopic, items, count, buttons);
    }
    static const char *WINAPI GetMsg(int pluginNumber, int id) {
        Host *host = HostFor("GetMsg");
        if (!host) return "";
        host->CheckModuleNumber("GetMsg", pluginNumber);
        return host->Message(id);
    }
    static int WINAPI Control(HANDLE plugin, int command, void *param) {
        Host *host = HostFor("Control");
        return host ? host->Control(plugin, command, param) : 0;
    }
    static HANDLE WINAPI SaveScreen(int, int, int, int) {
        Host *host = HostFor("SaveScreen");
        return host ? host->SaveScreen() : nullptr;
    }
    static void WINAPI RestoreScreen(HANDLE screen) {
        if (Host *host = HostFor("RestoreScreen")) host->RestoreScreen(screen);
    }
    static int WINAPI GetPluginDirList(int pluginNumber, HANDLE plugin, const char *dir,
                                       PluginPanelItem **items, int *count) {
        Host *host = HostFor("GetPluginDirList");
        if (!host) return 0;
        host->CheckModuleNumber("GetPluginDirList", pluginNumber);
        return host->GetPluginDirList(plugin, dir, items, count);
    }
    static void WINAPI FreeDirList(const PluginPanelItem *items) {
        if (Host *host = HostFor("FreeDirList")) host->FreeDirList(items);
    }
    static int WINAPI Viewer(const char *fileName, const char *title, int x1, int y1, int x2,
                             int y2, DWORD flags) {
        Host *host = HostFor("Viewer");
        return host ? host->RunViewer(fileName, title, x1, y1, x2, y2, flags, false) : 0;
    }
    static int WINAPI Editor(const char *fileName, const char *title, int x1, int y1, int x2,
                             int y2, DWORD flags, int startLine, int startChar) {
        Host *host = HostFor("Editor");
        return host ? host->RunEditor(fileName, title, x1, y1, x2, y2, flags, startLine, startChar)
                    : 0;
    }
    static int WINAPI CmpName(const char *pattern, const char *string, int skipPath) {
        if (!pattern || !string) {
            if (Host *host = HostFor("CmpName")) host->Fail("CmpName with a null text");
            return 0;
        }
        return Host::CmpName(pattern, string, skipPath != 0) ? 1 : 0;
    }
};

// ---- Paths ------------------------------------------------------------------------------------

std::string NativePath(const std::string &path) {
#ifdef _WIN32
    return path;
#else
    if (path.empty() || path[0] == '/') return path;
    char native[4096];
    if (CompatToPosixPath(path.c_str(), native, sizeof native)) return native;
    return path;
#endif
}

std::string Win32Path(const std::string &path) {
    if (path.empty() || path[0] != '/') return path;
#ifdef _WIN32
    // A POSIX path under Wine (the build tree's): drive Z: is "/".
    std::string converted = "Z:" + path;
    std::replace(converted.begin(), converted.end(), '/', '\\');
    return converted;
#else
    char windows[4096];
    if (CompatFromPosixPath(path.c_str(), windows, sizeof windows)) return windows;
    return path;
#endif
}

static std::string DirectoryOf(const std::string &path) {
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

static std::string CurrentDirectory() {
    char buffer[MAX_PATH * 4];
    DWORD length = GetCurrentDirectoryA(sizeof buffer, buffer);
    if (length == 0 || length >= sizeof buffer) return std::string();
    return buffer;
}

// ---- Host -------------------------------------------------------------------------------------

Host::Host(FrontEnd &frontEnd, HostOptions options)
    : frontEnd_(frontEnd), options_(std::move(options)) {
    if (currentHost) throw std::logic_error("stand-in host: only one Host may live at a time");
    currentHost = this;
    std::memset(&startupInfo_, 0, sizeof startupInfo_);
#ifndef _WIN32
    if (!options_.registryFile.empty())
        setenv("BSOPANEL_REGISTRY", NativePath(options_.registryFile).c_str(), 1);
#endif
    rootKey_ = options_.rootKey;
    eventHolds_.reserve(1024); // recording an event's hold allocates nothing while it is timed
    // As the real host does at start: every ...A file function of the process speaks OEM.
    if (options_.ansiFileApis)
        SetFileApisToANSI();
    else
        SetFileApisToOEM();
    savedCurrentDirectory_ = CurrentDirectory();
    std::string left =
        options_.leftDirectory.empty() ? savedCurrentDirectory_ : Win32Path(options_.leftDirectory);
    std::string right = options_.rightDirectory.empty() ? savedCurrentDirectory_
                                                        : Win32Path(options_.rightDirectory);
    panels_[0].reset(new Panel(*this, Side::Left, left));
    panels_[1].reset(new Panel(*this, Side::Right, right));
}

Host::~Host() {
    for (int side = 0; side < 2; ++side)
        if (panels_[side]->IsPlugin()) ClosePanelOn(static_cast<Side>(side), true);
    SetFileApisToANSI(); // the process's default
    for (PluginPanelItem *list : dirLists_) delete[] list;
    dirLists_.clear();
    for (int *screen : screens_) delete screen;
    screens_.clear();
    panels_[0].reset();
    panels_[1].reset();
    if (module_) FreeLibrary(module_);
    if (!savedCurrentDirectory_.empty()) SetCurrentDirectoryA(savedCurrentDirectory_.c_str());
    currentHost = nullptr;
}

Host *Host::Current() {
    return currentHost;
}

void Host::Fail(const std::string &what) {
    failures_.push_back(what);
}

void Host::CheckModuleNumber(const char *function, int pluginNumber) {
    if (pluginNumber != kModuleNumber)
        Fail(std::string(function) + " with plugin number " + std::to_string(pluginNumber) +
             ", not the ModuleNumber " + std::to_string(kModuleNumber) + " the host gave");
}

void Host::EnterPlugin() {
    ++pluginDepth_;
}

void Host::LeavePlugin() {
    if (--pluginDepth_ == 0) RunPendingCloses();
}

void Host::RunPendingCloses() {
    if (runningPending_) return;
    runningPending_ = true;
    for (int side = 0; side < 2; ++side)
        if (panels_[side]->IsPlugin() && panels_[side]->closeRequested_)
            ClosePanelOn(static_cast<Side>(side));
    runningPending_ = false;
}

bool Host::LoadPlugin(const std::string &modulePath) {
    lastError_.clear();
    if (module_) {
        lastError_ = "a plugin module is loaded already: " + moduleName_;
        return false;
    }
    std::string path = Win32Path(modulePath);
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        lastError_ = "plugin module not found: " + path;
        return false;
    }
    if (path.size() >= MAX_PATH) {
        lastError_ = "plugin module path longer than the host's ModuleName holds: " + path;
        return false;
    }
    HMODULE module = LoadLibraryA(path.c_str());
    if (!module) {
        lastError_ =
            "cannot load plugin module " + path + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    Exports found;
    std::string missing;
    auto resolve = [&](const char *name, bool required, auto &slot) {
        FARPROC address = GetProcAddress(module, name);
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(
            reinterpret_cast<void (*)(void)>(address));
        if (!address && required) missing += std::string(missing.empty() ? "" : ", ") + name;
    };
    resolve("SetStartupInfo", true, found.SetStartupInfo);
    resolve("GetPluginInfo", true, found.GetPluginInfo);
    resolve("OpenPlugin", true, found.OpenPlugin);
    resolve("ClosePlugin", true, found.ClosePlugin);
    resolve("GetFindData", true, found.GetFindData);
    resolve("FreeFindData", true, found.FreeFindData);
    resolve("GetOpenPluginInfo", true, found.GetOpenPluginInfo);
    resolve("SetDirectory", false, found.SetDirectory);
    resolve("ProcessKey", false, found.ProcessKey);
    resolve("Configure", false, found.Configure);
    resolve("Compare", false, found.Compare);
    resolve("PutFiles", false, found.PutFiles);
    resolve("ProcessEvent", false, found.ProcessEvent);
    if (!missing.empty()) {
        lastError_ = path + ": the module does not export " + missing;
        FreeLibrary(module);
        return false;
    }
    if (!ReadLanguageFile(DirectoryOf(path))) {
        FreeLibrary(module);
        return false;
    }
    module_ = module;
    moduleName_ = path;
    exports_ = found;

    std::memset(&startupInfo_, 0, sizeof startupInfo_);
    startupInfo_.StructSize = sizeof startupInfo_;
    std::memcpy(startupInfo_.ModuleName, path.c_str(), path.size() + 1);
    startupInfo_.ModuleNumber = kModuleNumber;
    startupInfo_.RootKey = rootKey_.c_str();
    startupInfo_.Menu = &HostTable::Unsupported;
    startupInfo_.Dialog = &HostTable::Dialog;
    startupInfo_.Message = &HostTable::Message;
    startupInfo_.GetMsg = &HostTable::GetMsg;
    startupInfo_.Control = &HostTable::Control;
    startupInfo_.SaveScreen = &HostTable::SaveScreen;
    startupInfo_.RestoreScreen = &HostTable::RestoreScreen;
    startupInfo_.GetDirList = &HostTable::Unsupported;
    startupInfo_.GetPluginDirList = &HostTable::GetPluginDirList;
    startupInfo_.FreeDirList = &HostTable::FreeDirList;
    startupInfo_.Viewer = &HostTable::Viewer;
    startupInfo_.Editor = &HostTable::Editor;
    startupInfo_.CmpName = &HostTable::CmpName;
    startupInfo_.CharTable = &HostTable::Unsupported;
    startupInfo_.Text = &HostTable::Unsupported;
    startupInfo_.EditorControl = &HostTable::Unsupported;

    PluginCall call(*this);
    exports_.SetStartupInfo(&startupInfo_);
    return true;
}

std::string Host::ModuleName() const {
    return moduleName_;
}

bool Host::ReadLanguageFile(const std::string &moduleDirectory) {
    std::string wanted = options_.language;
    if (wanted.empty()) {
        const char *fromEnvironment = std::getenv("BSOPANEL_LANG");
        wanted = fromEnvironment && *fromEnvironment ? fromEnvironment : "English";
    }
    std::vector<std::string> paths = FindLanguageFiles(moduleDirectory);
    if (paths.empty()) {
        lastError_ = "no language file (*.lng) beside the plugin module in " + moduleDirectory;
        return false;
    }
    std::string chosen, english;
    for (const std::string &path : paths) {
        std::string bytes;
        ParsedLanguageFile header;
        if (!ReadWholeFile(path, bytes, lastError_) ||
            !ParseLanguageFile(path, bytes, true, header, lastError_))
            return false;
        if (chosen.empty() && SameTextIgnoringCase(header.name, wanted)) chosen = path;
        if (english.empty() && SameTextIgnoringCase(header.name, "English")) english = path;
    }
    // As the real host does, a language without a file falls back to English.
    if (chosen.empty()) chosen = english;
    if (chosen.empty()) {
        lastError_ = "no language file for " + wanted + " (nor English) beside the plugin in " +
                     moduleDirectory;
        return false;
    }
    std::string bytes;
    ParsedLanguageFile file;
    if (!ReadWholeFile(chosen, bytes, lastError_) ||
        !ParseLanguageFile(chosen, bytes, false, file, lastError_))
        return false;
    if (options_.expectedMessages > 0 &&
        static_cast<int>(file.messages.size()) < options_.expectedMessages) {
        lastError_ = chosen + ":" + std::to_string(file.lineCount) + ": the file ends after " +
                     std::to_string(file.messages.size()) + " messages, the plugin needs " +
                     std::to_string(options_.expectedMessages);
        return false;
    }
    languageName_ = file.name;
    languageFile_ = chosen;
    messages_ = std::move(file.messages);
    messageLines_ = std::move(file.lines);
    languageLineCount_ = file.lineCount;
    return true;
}

const char *Host::Message(int id) {
    if (id < 0 || id >= static_cast<int>(messages_.size())) {
        Fail(languageFile_ + ":" + std::to_string(languageLineCount_) + ": message " +
             std::to_string(id) + " asked for, but the file ends after " +
             std::to_string(messages_.size()) + " messages");
        if (std::find(missingMessages_.begin(), missingMessages_.end(), id) ==
            missingMessages_.end()) {
            missingMessages_.push_back(id);
            if (missingMessages_.size() == 1) ReportMissingMessage(id);
        }
        return "";
    }
    return messages_[id].c_str();
}

// The real host answers a text it does not have with a modal error box (Ok, or Quit the host).
// It would show it at every call; the plugin asks for its labels at every redraw, so the box
// comes once and names every id that is missing.
void Host::ReportMissingMessage(int id) {
    int count = static_cast<int>(messages_.size());
    MessageRequest request;
    request.flags = FMSG_WARNING;
    request.title = "Error";
    request.lines.push_back("The language file " + NativePath(languageFile_));
    request.lines.push_back("has no text for message " + std::to_string(id) + ".");
    if (id >= count) {
        request.lines.push_back("It holds " + std::to_string(count) + " texts, ids 0 to " +
                                std::to_string(count - 1) + ":");
        request.lines.push_back("the texts of ids " + std::to_string(count) +
                                " and above are missing and show blank.");
    }
    request.buttons = {"Ok", "Quit"};
    if (frontEnd_.Message(request) == 1) quitRequested_ = true;
}

PluginInfoCopy Host::GetPluginInfo() {
    PluginInfoCopy copy;
    if (!module_) return copy;
    PluginInfo info;
    std::memset(&info, 0, sizeof info);
    info.StructSize = sizeof info;
    {
        PluginCall call(*this);
        exports_.GetPluginInfo(&info);
    }
    copy.structSize = info.StructSize;
    copy.flags = info.Flags;
    auto texts = [&](const char *const *array, int count, const char *what) {
        std::vector<std::string> result;
        if (count > 0 && !array) {
            Fail(std::string("GetPluginInfo: ") + what + " count without an array");
            return result;
        }
        for (int i = 0; i < count; ++i) result.push_back(TextOrEmpty(array[i]));
        return result;
    };
    copy.diskMenuStrings = texts(info.DiskMenuStrings, info.DiskMenuStringsNumber, "disks menu");
    for (int i = 0; i < info.DiskMenuStringsNumber; ++i)
        copy.diskMenuNumbers.push_back(info.DiskMenuNumbers ? info.DiskMenuNumbers[i] : 0);
    copy.pluginMenuStrings =
        texts(info.PluginMenuStrings, info.PluginMenuStringsNumber, "plugins menu");
    copy.pluginConfigStrings =
        texts(info.PluginConfigStrings, info.PluginConfigStringsNumber, "configuration menu");
    copy.commandPrefix = OptionalText(info.CommandPrefix);
    return copy;
}

int Host::Configure(int itemNumber) {
    if (!module_ || !exports_.Configure) return 0;
    PluginCall call(*this);
    return exports_.Configure(itemNumber);
}

void Host::SetActive(Side side) {
    active_ = static_cast<int>(side);
}

Panel *Host::PluginPanel() {
    if (Active().IsPlugin()) return &Active();
    if (Passive().IsPlugin()) return &Passive();
    return nullptr;
}

Panel *Host::PanelOfHandle(HANDLE handle) {
    if (handle == INVALID_HANDLE_VALUE) return &Active();
    for (auto &panel : panels_)
        if (panel->IsPlugin() && panel->Handle() == handle) return panel.get();
    return nullptr;
}

bool Host::OpenPanel(int openFrom, INT_PTR item) {
    return OpenPanelOn(static_cast<Side>(active_), openFrom, item);
}

bool Host::OpenPanelOn(Side side, int openFrom, INT_PTR item) {
    lastError_.clear();
    if (!module_) {
        lastError_ = "no plugin module loaded";
        return false;
    }
    Panel &panel = GetPanel(side);
    if (panel.IsPlugin()) {
        lastError_ = "that panel shows the plugin already";
        return false;
    }
    // The real host keeps the process's current directory at the active panel's.
    SetCurrentDirectoryA(panel.Directory().c_str());
    HANDLE handle;
    {
        PluginCall call(*this);
        handle = exports_.OpenPlugin(openFrom, item);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        lastError_ = "OpenPlugin opened nothing";
        return false;
    }
    if (!handle) {
        Fail("OpenPlugin returned a null handle");
        lastError_ = "OpenPlugin returned a null handle";
        return false;
    }
    panel.BecomePluginPanel(handle);
    if (!panel.ListPlugin(true, false) || !panel.IsPlugin()) {
        lastError_ = "the first listing of the plugin panel failed";
        ClosePanelOn(side);
        return false;
    }
    panel.Redraw();
    return true;
}

bool Host::ClosePanel() {
    return ClosePanelOn(static_cast<Side>(active_));
}

int Host::SendEvent(Panel &panel, int event) {
    if (!panel.IsPlugin() || !exports_.ProcessEvent) return 0;
    int answer;
    auto start = std::chrono::steady_clock::now();
    {
        PluginCall call(*this);
        answer = exports_.ProcessEvent(panel.Handle(), event, nullptr);
    }
    eventHolds_.push_back(
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
            .count());
    return answer;
}

bool Host::ClosePanelOn(Side side, bool force) {
    Panel &panel = GetPanel(side);
    if (!panel.IsPlugin()) return true;
    if (panel.closing_) return false;
    // The plugin hears of the close first; a non-zero answer keeps a panel that the user (not
    // the plugin) was closing.
    HANDLE handle = panel.Handle();
    int keep = SendEvent(panel, FE_CLOSE);
    if (!panel.IsPlugin() || panel.Handle() != handle) return true;
    if (panel.closing_) return false;
    if (keep && !force && !panel.closeRequested_) return false;
    panel.closing_ = true;
    panel.ReleaseAll();
    {
        PluginCall call(*this);
        exports_.ClosePlugin(panel.Handle());
    }
    panel.closing_ = false;
    std::string directory = panel.Directory();
    std::string gone;
    if (!panel.pendingDirectory_.empty()) {
        DWORD attributes = GetFileAttributesA(panel.pendingDirectory_.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            directory = panel.pendingDirectory_;
        else
            gone = panel.pendingDirectory_;
    }
    panel.BecomeFilePanel(directory);
    if (!gone.empty()) {
        // The panel is closed by now; the host names the folder it could not change to.
        DWORD error = GetLastError();
        if (error == ERROR_SUCCESS) error = ERROR_DIRECTORY;
        MessageRequest box;
        box.flags = FMSG_WARNING | kMessageErrorType;
        box.title = "Error";
        char text[512];
        DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, text, sizeof text, nullptr);
        while (length > 0 && length < sizeof text &&
               (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' '))
            --length;
        if (length > 0 && length < sizeof text) box.lines.push_back(std::string(text, length));
        box.lines.push_back(gone);
        box.buttons = {"Ok"};
        frontEnd_.Message(box);
    }
    return true;
}

bool Host::PressKey(int virtualKey, unsigned controlState) {
    Panel &panel = Active();
    // Ctrl+0..9 are the panel's own view modes: the plugin hears of them only as an event.
    if (controlState == PKF_CONTROL && virtualKey >= '0' && virtualKey <= '9') {
        panel.SetViewMode(virtualKey - '0');
        SendEvent(panel, FE_CHANGEVIEWMODE);
        panel.Redraw();
        return true;
    }
    if (panel.IsPlugin() && exports_.ProcessKey) {
        // Every key comes first with PKF_PREPROCESS in it; taking that call ends the key.
        for (int key : {virtualKey | static_cast<int>(PKF_PREPROCESS), virtualKey}) {
            int taken;
            {
                PluginCall call(*this);
                taken = exports_.ProcessKey(panel.Handle(), key, controlState);
            }
            if (taken) return true;
            if (!Active().IsPlugin() || Active().Handle() != panel.Handle()) break;
        }
    }
    Panel &now = Active(); // the plugin may have closed its panel meanwhile
    if (controlState == 0) {
        switch (virtualKey) {
        case VK_RETURN:
            now.Enter();
            break;
        case VK_INSERT:
            now.ToggleSelection(now.CurrentIndex());
            now.SetCurrent(now.CurrentIndex() + 1);
            now.Redraw();
            break;
        case VK_UP:
            now.SetCurrent(now.CurrentIndex() - 1);
            break;
        case VK_DOWN:
            now.SetCurrent(now.CurrentIndex() + 1);
            break;
        case VK_HOME:
            now.SetCurrent(0);
            break;
        case VK_END:
            now.SetCurrent(now.Count() - 1);
            break;
        case VK_F5:
        case VK_F6:
            if (!now.IsPlugin() && Passive().IsPlugin()) CopyThroughDialog(virtualKey == VK_F6);
            break;
        case VK_F8:
            if (now.IsPlugin() && (now.Info().flags & OPIF_REALNAMES)) DeleteRealFiles(now);
            break;
        case VK_F3:
            // A folder's size is counted; a file the item really names is viewed.
            if (now.IsPlugin() && now.CountFolderSize())
                now.Redraw();
            else if (now.IsPlugin() && (now.Info().flags & OPIF_REALNAMES))
                ViewRealFile(now);
            break;
        default:
            break;
        }
    } else if (controlState == PKF_CONTROL && virtualKey == 'R') {
        now.Update();
        now.Redraw();
    } else if (controlState == PKF_CONTROL && virtualKey >= VK_F3 && virtualKey <= VK_F11) {
        static const int modes[] = {SM_NAME,  SM_EXT,   SM_MTIME, SM_SIZE, SM_UNSORTED,
                                    SM_CTIME, SM_ATIME, SM_DESCR, SM_OWNER};
        int mode = modes[virtualKey - VK_F3];
        // The same sort again turns its order round.
        now.SetSort(mode, now.SortMode() == mode ? !now.SortReversed() : false);
        now.Redraw();
    }
    return false;
}

// The items F5/F6 act on: the selected ones, else the current one unless it is "..".
static std::vector<PluginPanelItem> ItemsToCopy(const Panel &source) {
    std::vector<PluginPanelItem> items;
    for (int i = 0; i < source.Count(); ++i)
        if (source.RawItem(i).Flags & PPIF_SELECTED) items.push_back(source.RawItem(i));
    if (items.empty() && source.Count() > 0 && !source.IsDotsItem(source.CurrentIndex()))
        items.push_back(source.RawItem(source.CurrentIndex()));
    return items;
}

int Host::DeleteRealFiles(Panel &panel) {
    std::vector<PluginPanelItem> items = ItemsToCopy(panel);
    if (items.empty()) return 0;
    // The host's own question; the plugin hears nothing of the deletion.
    MessageRequest question;
    question.flags = FMSG_WARNING;
    question.title = "Delete";
    question.lines.push_back(items.size() == 1 ? "Do you wish to delete the file"
                                               : "Do you wish to delete");
    question.lines.push_back(items.size() == 1 ? std::string(items[0].FindData.cFileName)
                                               : std::to_string(items.size()) + " items");
    question.buttons = {"Delete", "Cancel"};
    if (frontEnd_.Message(question) != 0) return 0;
    int deleted = 0;
    for (const PluginPanelItem &item : items) {
        // The item's name is the real file's: relative names to the current directory.
        const char *name = item.FindData.cFileName;
        bool done = (item.FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                        ? RemoveDirectoryA(name) != 0
                        : DeleteFileA(name) != 0;
        if (done) ++deleted;
    }
    if (panel.IsPlugin()) {
        panel.Update(true);
        panel.Redraw();
    }
    return deleted;
}

int Host::CopyThroughDialog(bool move) {
    Panel &source = Active();
    Panel &target = Passive();
    if (source.IsPlugin() || !target.IsPlugin()) return -1;
    std::vector<PluginPanelItem> items = ItemsToCopy(source);
    if (items.empty()) return -1;
    // The host's own Copy/Move dialog first, the plugin panel's target written "Format:".
    std::string format = (target.Info().format ? *target.Info().format : std::string()) + ":";
    std::string what = items.size() == 1 ? std::string(items[0].FindData.cFileName)
                                         : std::to_string(items.size()) + " items";
    FarDialogItem dialog[5];
    std::memset(dialog, 0, sizeof dialog);
    dialog[0].Type = DI_DOUBLEBOX;
    dialog[1].Type = DI_TEXT;
    dialog[2].Type = DI_EDIT;
    dialog[3].Type = dialog[4].Type = DI_BUTTON;
    dialog[2].Focus = 1;
    dialog[3].DefaultButton = 1;
    std::snprintf(dialog[0].Data, sizeof dialog[0].Data, "%s", move ? "Rename/Move" : "Copy");
    std::snprintf(dialog[1].Data, sizeof dialog[1].Data, "%s \"%s\" to", move ? "Move" : "Copy",
                  what.c_str());
    std::snprintf(dialog[2].Data, sizeof dialog[2].Data, "%s", format.c_str());
    std::snprintf(dialog[3].Data, sizeof dialog[3].Data, "%s", move ? "Move" : "Copy");
    std::snprintf(dialog[4].Data, sizeof dialog[4].Data, "%s", "Cancel");
    int chosen = RunDialog(-1, -1, 60, 9, move ? "MoveFiles" : "CopyFiles", dialog, 5);
    if (chosen != 2 && chosen != 3) return -1; // Esc or Cancel: nothing is called
    std::string typed = dialog[2].Data;
    if (typed == format) return CopyToPluginPanel(move);
    // Edited into a disk path: the host copies on disk, the plugin hears nothing.
    std::string directory = typed;
    if (directory.size() < 2 || directory[1] != ':')
        directory = source.Directory() + (source.Directory().back() == '\\' ? "" : "\\") + typed;
    for (const PluginPanelItem &item : items) {
        std::string from = source.Directory() + "\\" + item.FindData.cFileName;
        std::string to = directory + "\\" + item.FindData.cFileName;
        if (move)
            MoveFileA(from.c_str(), to.c_str());
        else
            CopyFileA(from.c_str(), to.c_str(), TRUE);
    }
    source.SelectAll(false);
    source.Update(true);
    source.Redraw();
    return 1;
}

int Host::CopyToPluginPanel(bool move) {
    Panel &source = Active();
    Panel &target = Passive();
    if (source.IsPlugin() || !target.IsPlugin() || !exports_.PutFiles) return -1;
    std::vector<PluginPanelItem> items = ItemsToCopy(source);
    if (items.empty()) return -1;
    // The names are relative to the source panel's directory, which the process's current
    // directory is during the call.
    SetCurrentDirectoryA(source.Directory().c_str());
    int result;
    {
        PluginCall call(*this);
        result = exports_.PutFiles(target.Handle(), items.data(), static_cast<int>(items.size()),
                                   move ? 1 : 0, 0);
    }
    // As after any copy, the source loses its selection and both panels are read again,
    // keeping what is still selected.
    if (result == 1 || result == 2) source.SelectAll(false);
    source.Update(true);
    source.Redraw();
    if (target.IsPlugin()) {
        target.Update(true);
        target.Redraw();
    }
    return result;
}

uint64_t Host::Now() const {
    if (options_.manualClock) return manualNow_;
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void Host::AdvanceClock(uint64_t milliseconds) {
    manualNow_ += milliseconds;
}

void Host::Idle(int times) {
    for (int round = 0; round < times; ++round) {
        if (options_.manualClock) AdvanceClock(1000);
        for (auto &panel : panels_) {
            // A file panel whose folder changed is listed again, as the real host follows it;
            // a plugin panel listed in the last two seconds gets no idle event.
            if (!panel->IsPlugin())
                panel->FollowChanges();
            else if (Now() - panel->ListedAt() > 2000)
                SendEvent(*panel, FE_IDLE);
        }
    }
}

// ---- CmpName ----------------------------------------------------------------------------------

static int Upper(char c) {
    return std::toupper(static_cast<unsigned char>(c));
}

// The closing ']' of a class opened at `open`, or null when the '[' is an ordinary character.
// The first character inside is never the closing one, so "[]]" is the class of "]".
static const char *ClassEnd(const char *open) {
    if (!open[1]) return nullptr;
    return std::strchr(open + 2, ']');
}

static bool InClass(const char *first, const char *end, char c) {
    int wanted = Upper(c);
    while (first < end) {
        if (first + 2 < end && first[1] == '-') {
            if (wanted >= Upper(first[0]) && wanted <= Upper(first[2])) return true;
            first += 3;
        } else {
            if (Upper(*first) == wanted) return true;
            ++first;
        }
    }
    return false;
}

static bool MatchName(const char *pattern, const char *string) {
    for (;;) {
        switch (*pattern) {
        case 0:
            return *string == 0;
        case '*': {
            if (!std::strcmp(pattern, "*.*")) return true;
            if (!std::strcmp(pattern, "*.")) return std::strchr(string, '.') == nullptr;
            while (*pattern == '*') ++pattern;
            if (!*pattern) return true;
            for (;; ++string) {
                if (MatchName(pattern, string)) return true;
                if (!*string) return false;
            }
        }
        case '?':
            if (!*string) return false;
            ++pattern;
            ++string;
            break;
        case '[': {
            const char *end = ClassEnd(pattern);
            if (end) {
                if (!*string || !InClass(pattern + 1, end, *string)) return false;
                pattern = end + 1;
                ++string;
                break;
            }
            if (*string != '[') return false;
            ++pattern;
            ++string;
            break;
        }
        case '.':
            // A dot that ends the pattern also matches the end of the name.
            if (!pattern[1] && !*string) return true;
            [[fallthrough]];
        default:
            if (Upper(*pattern) != Upper(*string)) return false;
            ++pattern;
            ++string;
            break;
        }
    }
}

bool Host::CmpName(const char *pattern, const char *string, bool skipPath) {
    if (skipPath) {
        for (const char *p = string; *p; ++p)
            if (*p == '\\' || *p == '/') string = p + 1;
        if (string[0] && string[1] == ':' && !std::strpbrk(string, "\\/")) string += 2;
    }
    return MatchName(pattern, string);
}

// ---- Histories --------------------------------------------------------------------------------

std::string Host::HistoryKey(const std::string &name) const {
    size_t slash = rootKey_.find_last_of('\\');
    std::string base = slash == std::string::npos ? rootKey_ : rootKey_.substr(0, slash);
    return base + "\\SavedDialogHistory\\" + name;
}

std::vector<std::string> Host::History(const std::string &name) const {
    std::vector<std::string> lines;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, HistoryKey(name).c_str(), 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return lines;
    for (int i = 0; i < kHistoryLength; ++i) {
        std::string value = "Line" + std::to_string(i);
        char text[1024];
        DWORD type = 0, size = sizeof text - 1;
        if (RegQueryValueExA(key, value.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(text),
                             &size) != ERROR_SUCCESS ||
            type != REG_SZ)
            break;
        text[size] = 0;
        lines.push_back(text);
    }
    RegCloseKey(key);
    return lines;
}

void Host::AddToHistory(const std::string &name, const std::string &text) {
    if (text.empty() || name.empty()) return;
    std::vector<std::string> lines = History(name);
    size_t before = lines.size();
    lines.erase(std::remove(lines.begin(), lines.end(), text), lines.end());
    lines.insert(lines.begin(), text);
    if (lines.size() > static_cast<size_t>(kHistoryLength)) lines.resize(kHistoryLength);
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, HistoryKey(name).c_str(), 0, nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        Fail("cannot write the history " + name + " under " + HistoryKey(name));
        return;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string value = "Line" + std::to_string(i);
        RegSetValueExA(key, value.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE *>(lines[i].c_str()),
                       static_cast<DWORD>(lines[i].size() + 1));
    }
    for (size_t i = lines.size(); i < before; ++i)
        RegDeleteValueA(key, ("Line" + std::to_string(i)).c_str());
    RegCloseKey(key);
}

// ---- Dialogs, messages, the editor, screens ----------------------------------------------

static bool IsEditType(int type) {
    return type == DI_EDIT || type == DI_FIXEDIT || type == DI_PSWEDIT;
}

void RadioGroupOf(const FarDialogItem *items, int count, int index, int &first, int &last) {
    first = last = index;
    if (index < 0 || index >= count || items[index].Type != DI_RADIOBUTTON) {
        last = index + 1;
        return;
    }
    while (first > 0 && !(items[first].Flags & DIF_GROUP) &&
           items[first - 1].Type == DI_RADIOBUTTON)
        --first;
    last = index + 1;
    while (last < count && items[last].Type == DI_RADIOBUTTON && !(items[last].Flags & DIF_GROUP))
        ++last;
}

int Host::RunDialog(int x1, int y1, int x2, int y2, const char *helpTopic, FarDialogItem *items,
                    int count) {
    if (!items || count <= 0) {
        Fail("Dialog with no items");
        return -1;
    }
    DialogRequest request;
    request.x1 = x1;
    request.y1 = y1;
    request.x2 = x2;
    request.y2 = y2;
    request.helpTopic = TextOrEmpty(helpTopic);
    // The front end works on the host's own copy; every field of every item is written back
    // when the dialog ends, whichever way it ends.
    std::vector<FarDialogItem> working(items, items + count);
    request.items = working.data();
    request.count = count;
    request.histories.resize(count);
    for (int i = 0; i < count; ++i) {
        FarDialogItem &item = working[i];
        if (item.Type < DI_TEXT || item.Type > DI_RADIOBUTTON)
            Fail("Dialog item " + std::to_string(i) + " has the unknown type " +
                 std::to_string(item.Type));
        if (!std::memchr(item.Data, 0, sizeof item.Data)) {
            Fail("Dialog item " + std::to_string(i) + " has a text without its end in Data");
            item.Data[sizeof item.Data - 1] = 0;
        }
        if ((item.Flags & DIF_HISTORY) && IsEditType(item.Type)) {
            if (!item.History)
                Fail("Dialog item " + std::to_string(i) + " has DIF_HISTORY and no history name");
            else
                request.histories[i] = History(item.History);
        }
    }
    int result = frontEnd_.Dialog(request);
    if (result < -1 || result >= count) {
        Fail("the front end closed a dialog with item " + std::to_string(result));
        result = -1;
    }
    // Enter on an item that is no button chooses the default button.
    if (result >= 0 && working[result].Type != DI_BUTTON)
        for (int i = 0; i < count; ++i)
            if (working[i].DefaultButton) {
                result = i;
                break;
            }
    for (int i = 0; i < count; ++i) {
        FarDialogItem &item = working[i];
        if (!IsEditType(item.Type)) continue;
        // A field holds what its line editor holds: 511 characters, a fixed one its width.
        size_t limit = sizeof item.Data - 1;
        if (item.Type == DI_FIXEDIT && item.X2 >= item.X1)
            limit = std::min(limit, static_cast<size_t>(item.X2 - item.X1 + 1));
        item.Data[sizeof item.Data - 1] = 0;
        if (std::strlen(item.Data) > limit) item.Data[limit] = 0;
    }
    std::copy(working.begin(), working.end(), items);
    // Any close but Esc (Cancel too) adds each history field's text.
    if (result >= 0)
        for (int i = 0; i < count; ++i)
            if ((items[i].Flags & DIF_HISTORY) && IsEditType(items[i].Type) && items[i].History)
                AddToHistory(items[i].History, items[i].Data);
    return result;
}

int Host::RunMessage(DWORD flags, const char *helpTopic, const char *const *items, int count,
                     int buttons) {
    if (!items || count < 1 || buttons < 0 || buttons > count - 1) {
        Fail("Message with " + std::to_string(count) + " items and " + std::to_string(buttons) +
             " buttons: it needs a title and its buttons");
        return -1;
    }
    DWORD error = GetLastError(); // before anything here changes it
    MessageRequest request;
    request.flags = flags;
    request.helpTopic = TextOrEmpty(helpTopic);
    request.title = TextOrEmpty(items[0]);
    // The system's text for the last error goes above the plugin's lines.
    if (flags & kMessageErrorType) {
        char text[512];
        DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, text, sizeof text, nullptr);
        if (length > 0 && length < sizeof text) {
            while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' ||
                                  text[length - 1] == ' '))
                --length;
            request.lines.push_back(std::string(text, length));
        }
    }
    // A line wider than the box's room loses its end: the screen less 14 columns in a box with
    // buttons, less 16 in one without (separators, starting with byte 1 or 2, are drawn across
    // the box whatever they hold). The box holds the screen's height less 2 items.
    size_t widest = static_cast<size_t>(std::max(1, options_.screenWidth - (buttons ? 14 : 16)));
    if (count > options_.screenHeight - 2)
        Fail("Message with " + std::to_string(count) + " items: the host shows " +
             std::to_string(options_.screenHeight - 2) + " at most");
    for (int i = 1; i < count - buttons; ++i) {
        std::string line = TextOrEmpty(items[i]);
        bool separator = !line.empty() && (line[0] == 1 || line[0] == 2);
        if (!separator && line.size() > widest) line.resize(widest);
        request.lines.push_back(line);
    }
    for (int i = count - buttons; i < count; ++i) request.buttons.push_back(TextOrEmpty(items[i]));
    int result = frontEnd_.Message(request);
    if (buttons == 0) return 0;
    if (result < -1 || result >= buttons) {
        Fail("the front end answered a message box with button " + std::to_string(result));
        result = -1;
    }
    return result;
}

int Host::RunEditor(const char *fileName, const char *title, int x1, int y1, int x2, int y2,
                    DWORD flags, int startLine, int startChar) {
    if (!fileName || !*fileName) {
        Fail("Editor without a file name");
        return 0;
    }
    EditorRequest request;
    request.fileName = fileName;
    request.nativePath = NativePath(fileName);
    request.title = TextOrEmpty(title);
    request.x1 = x1;
    request.y1 = y1;
    request.x2 = x2;
    request.y2 = y2;
    request.flags = flags;
    request.startLine = startLine;
    request.startChar = startChar;
    // Modal with Flags 0: 0 the file could not be opened, 1 modified, 2 not modified, 3 its
    // loading was interrupted.
    int result = frontEnd_.Editor(request);
    if (result < 0 || result > 3) {
        Fail("the front end answered the editor with " + std::to_string(result));
        result = 0;
    }
    return result;
}

int Host::RunViewer(const char *fileName, const char *title, int x1, int y1, int x2, int y2,
                    DWORD flags, bool hostOwn) {
    if (!fileName || !*fileName) {
        Fail("Viewer without a file name");
        return FALSE;
    }
    if (flags & VF_NONMODAL) {
        Fail("a non-modal Viewer: the stand-in host opens only modal viewers");
        return FALSE;
    }
    // The viewer keeps the file open while it shows it; one that cannot be opened is refused.
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    ViewerRequest request;
    request.fileName = fileName;
    request.nativePath = NativePath(fileName);
    request.title = title ? std::string(title) : request.fileName;
    request.x1 = x1;
    request.y1 = y1;
    request.x2 = x2;
    request.y2 = y2;
    request.flags = flags;
    request.hostOwn = hostOwn;
    frontEnd_.Viewer(request);
    CloseHandle(file);
    if (flags & VF_DELETEONCLOSE) {
        // The file, then its folder when that is left empty.
        DeleteFileA(fileName);
        std::string folder = fileName;
        size_t slash = folder.find_last_of("\\/");
        if (slash != std::string::npos && slash > 0)
            RemoveDirectoryA(folder.substr(0, slash).c_str());
    }
    return TRUE;
}

bool Host::ViewRealFile(Panel &panel) {
    if (panel.Count() == 0 || panel.IsDotsItem(panel.CurrentIndex())) return false;
    const PluginPanelItem &item = panel.RawItem(panel.CurrentIndex());
    if (item.FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    return RunViewer(item.FindData.cFileName, nullptr, 0, 0, -1, -1, 0, true) != 0;
}

HANDLE Host::SaveScreen() {
    int *screen = new int(++screenCounter_);
    screens_.push_back(screen);
    frontEnd_.ScreenSaved(*screen);
    return screen;
}

void Host::RestoreScreen(HANDLE handle) {
    if (!handle) return; // restores nothing that was saved
    auto found = std::find(screens_.begin(), screens_.end(), static_cast<int *>(handle));
    if (found == screens_.end()) {
        Fail("RestoreScreen with a handle that SaveScreen did not give, or restored twice");
        return;
    }
    int id = **found;
    delete *found;
    screens_.erase(found);
    frontEnd_.ScreenRestored(id);
}

// ---- Panel lists for the plugin --------------------------------------------------------------

static std::string TruncatedName(const std::string &name) {
    return name.substr(0, sizeof(((PluginPanelItem *)nullptr)->FindData.cFileName) - 1);
}

std::string Host::PluginCurDir(HANDLE plugin) {
    OpenPluginInfo info;
    std::memset(&info, 0, sizeof info);
    info.StructSize = sizeof info;
    PluginCall call(*this);
    exports_.GetOpenPluginInfo(plugin, &info);
    return TextOrEmpty(info.CurDir);
}

// One folder of the walk, entered already: its files and folders with the prefix, each folder
// entered and left again. The plugin's array is held while the folders below are walked.
void Host::WalkPluginDir(HANDLE plugin, const std::string &prefix, int depth,
                         std::vector<PluginPanelItem> &found) {
    PluginPanelItem *items = nullptr;
    int count = 0;
    int done;
    {
        PluginCall call(*this);
        done = exports_.GetFindData(plugin, &items, &count, OPM_FIND);
    }
    if (!done) return;
    for (int i = 0; i < count && items; ++i) {
        PluginPanelItem item = items[i];
        item.FindData.cFileName[sizeof item.FindData.cFileName - 1] = 0;
        std::string name = item.FindData.cFileName;
        if (name == "." || name == "..") continue;
        std::string full = TruncatedName(prefix + "\\" + name);
        std::memcpy(item.FindData.cFileName, full.c_str(), full.size() + 1);
        // Nothing that points into the plugin's array outlives it.
        item.Description = item.Owner = nullptr;
        item.CustomColumnData = nullptr;
        item.CustomColumnNumber = 0;
        found.push_back(item);
        if (!(item.FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || depth >= 32 ||
            !exports_.SetDirectory)
            continue;
        int entered;
        {
            PluginCall call(*this);
            entered = exports_.SetDirectory(plugin, name.c_str(), OPM_FIND);
        }
        if (!entered) continue;
        WalkPluginDir(plugin, full, depth + 1, found);
        PluginCall call(*this);
        exports_.SetDirectory(plugin, "..", OPM_FIND);
    }
    PluginCall call(*this);
    exports_.FreeFindData(plugin, items, count);
}

int Host::GetPluginDirList(HANDLE plugin, const char *dir, PluginPanelItem **items, int *count) {
    if (!items || !count) {
        Fail("GetPluginDirList without places for its results");
        return 0;
    }
    *items = nullptr;
    *count = 0;
    Panel *panel = plugin == INVALID_HANDLE_VALUE ? nullptr : PanelOfHandle(plugin);
    if (!panel) {
        Fail("GetPluginDirList with a handle that is no open plugin panel");
        return 0;
    }
    std::string folder = TextOrEmpty(dir);
    if (folder == "." || folder == "..") return 0;
    // Not answered from what the panel shows: the host walks the plugin itself, as the
    // find-file command does, under a box of its own.
    ++dirListWalks_;
    if (walking_)
        Fail("GetPluginDirList called while the host walked the plugin for another one "
             "(the real host loses the outer list)");
    bool outerWalk = walking_;
    walking_ = true;
    HANDLE screen = SaveScreen();
    MessageRequest box;
    box.lines.push_back(kPreparingTheList);
    frontEnd_.Message(box);
    std::vector<PluginPanelItem> found;
    std::string noted = PluginCurDir(plugin);
    int entered = 0;
    if (exports_.SetDirectory) {
        PluginCall call(*this);
        entered = exports_.SetDirectory(plugin, folder.c_str(), OPM_FIND);
    }
    if (entered) {
        WalkPluginDir(plugin, folder, 0, found);
        {
            PluginCall call(*this);
            exports_.SetDirectory(plugin, "..", OPM_FIND);
        }
        PluginPanelItem *last = nullptr;
        int lastCount = 0;
        int listed;
        {
            PluginCall call(*this);
            listed = exports_.GetFindData(plugin, &last, &lastCount, OPM_FIND);
        }
        if (listed) {
            PluginCall call(*this);
            exports_.FreeFindData(plugin, last, lastCount);
        }
        if (PluginCurDir(plugin) != noted) {
            PluginCall call(*this);
            exports_.SetDirectory(plugin, noted.c_str(), OPM_FIND);
        }
    }
    RestoreScreen(screen);
    walking_ = outerWalk;
    PluginPanelItem *list = new PluginPanelItem[found.size() + 1];
    std::memset(list, 0, sizeof(PluginPanelItem) * (found.size() + 1));
    for (size_t i = 0; i < found.size(); ++i) list[i] = found[i];
    dirLists_.push_back(list);
    *items = list;
    *count = static_cast<int>(found.size());
    return 1;
}

void Host::FreeDirList(const PluginPanelItem *items) {
    if (!items) return;
    auto found = std::find(dirLists_.begin(), dirLists_.end(), items);
    if (found == dirLists_.end()) {
        Fail("FreeDirList with items that GetPluginDirList did not give, or freed twice");
        return;
    }
    delete[] * found;
    dirLists_.erase(found);
}

// ---- Control ----------------------------------------------------------------------------------

int Host::Control(HANDLE plugin, int command, void *param) {
    Panel *panel = PanelOfHandle(plugin);
    if (!panel) {
        Fail("Control " + std::to_string(command) + " with a handle that is no open plugin panel");
        return 0;
    }
    Panel &other = panel == panels_[0].get() ? *panels_[1] : *panels_[0];
    switch (command) {
    case FCTL_CLOSEPLUGIN:
        // Closing the panel under the plugin's running call would pull the instance away: the
        // panel closes when the plugin's call returns.
        if (param) panel->pendingDirectory_ = static_cast<const char *>(param);
        panel->closeRequested_ = true;
        if (pluginDepth_ == 0) RunPendingCloses();
        return 1;
    case FCTL_GETPANELINFO:
    case FCTL_GETANOTHERPANELINFO:
        if (!param) {
            Fail("Control FCTL_GET*PANELINFO without a PanelInfo");
            return 0;
        }
        if (command == FCTL_GETPANELINFO)
            panel->FillPanelInfo(static_cast<PanelInfo *>(param), panel == &Active());
        else
            other.FillPanelInfo(static_cast<PanelInfo *>(param), &other == &Active());
        return 1;
    // A NULL parameter drops the selection; any other keeps it by name.
    case FCTL_UPDATEPANEL:
        return panel->Update(param != nullptr) ? 1 : 0;
    case FCTL_UPDATEANOTHERPANEL:
        return other.Update(param != nullptr) ? 1 : 0;
    case FCTL_REDRAWPANEL:
        panel->Redraw();
        return 1;
    case FCTL_REDRAWANOTHERPANEL:
        other.Redraw();
        return 1;
    case FCTL_SETPANELDIR:
        if (!param) {
            Fail("Control FCTL_SETPANELDIR without a directory");
            return 0;
        }
        panel->pendingDirectory_ = static_cast<const char *>(param);
        if (!panel->IsPlugin()) return panel->ChangeDirectory(panel->pendingDirectory_) ? 1 : 0;
        if (panel->closing_) {
            // Called from inside ClosePlugin: the host closes the panel again, as the real one
            // does, while the instance is going away.
            ++reenteredCloses_;
            HANDLE handle = panel->Handle();
            SendEvent(*panel, FE_CLOSE);
            PluginCall call(*this);
            exports_.ClosePlugin(handle);
            return 1;
        }
        // The plugin panel closes at once, under the plugin's running call.
        ClosePanelOn(panel->GetSide(), true);
        return 1;
    default:
        Fail("Control with the unknown command " + std::to_string(command));
        return 0;
    }
}

} // namespace standin
