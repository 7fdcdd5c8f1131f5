// The two panels: a plugin panel (its listing, sorting, selection, current item, folders) or a
// plain file panel of a directory.
#include "host_core.h"
#include "language_file.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <set>

namespace standin {

// The host keeps its own copy of each item: the plugin's array goes back at once.
struct Panel::OwnedItem {
    std::vector<std::string> columns;
    std::vector<char *> columnData;
    std::string description, owner;
    bool hasDescription = false, hasOwner = false;
    std::vector<char> userData; // the copy of a PPIF_USERDATA block
};

namespace {

// The host's own columns for view modes 0 to 9, where the plugin sets none.
const char *const kHostColumnTypes[10] = {"N,S,D,T", "N,N,N", "N,N",   "N,S,D,T", "N,S",
                                          "N,S,D,T", "N,Z",   "N,S,Z", "N,S,O",   "N,S,D,T"};
const char *const kHostColumnWidths[10] = {"0,10,0,5", "0,0,0", "0,0",    "0,10,0,5", "0,10",
                                           "0,10,0,5", "0,0",   "0,10,0", "0,10,10",  "0,10,0,5"};

bool IsRoot(const std::string &directory) {
    return directory.size() == 3 && directory[1] == ':' && directory[2] == '\\';
}

std::string Normalized(std::string directory) {
    if (directory.size() == 2 && directory[1] == ':') return directory + "\\";
    while (directory.size() > 3 && directory.back() == '\\') directory.pop_back();
    return directory;
}

std::string ParentOf(const std::string &directory) {
    size_t slash = directory.find_last_of('\\');
    if (slash == std::string::npos) return directory;
    if (slash == 2 && directory[1] == ':') return directory.substr(0, 3);
    return directory.substr(0, slash);
}

std::string LastPart(const std::string &path) {
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

PluginPanelItem DotsItem() {
    PluginPanelItem item;
    std::memset(&item, 0, sizeof item);
    std::strcpy(item.FindData.cFileName, "..");
    item.FindData.dwFileAttributes = FILE_ATTRIBUTE_DIRECTORY;
    return item;
}

int CompareText(const char *a, const char *b, bool foldCase) {
    for (;; ++a, ++b) {
        int ca = static_cast<unsigned char>(*a), cb = static_cast<unsigned char>(*b);
        if (foldCase) {
            ca = std::tolower(ca);
            cb = std::tolower(cb);
        }
        if (ca != cb) return ca < cb ? -1 : 1;
        if (!ca) return 0;
    }
}

int CompareNumbers(uint64_t a, uint64_t b) {
    return a < b ? -1 : a > b ? 1 : 0;
}

// The times lie unaligned in the packed record: read them field by field.
enum TimeOf { Written, Created, Accessed };
uint64_t Ticks(const FAR_FIND_DATA &data, TimeOf which) {
    DWORD low = which == Written   ? data.ftLastWriteTime.dwLowDateTime
                : which == Created ? data.ftCreationTime.dwLowDateTime
                                   : data.ftLastAccessTime.dwLowDateTime;
    DWORD high = which == Written   ? data.ftLastWriteTime.dwHighDateTime
                 : which == Created ? data.ftCreationTime.dwHighDateTime
                                    : data.ftLastAccessTime.dwHighDateTime;
    return (static_cast<uint64_t>(high) << 32) | low;
}

uint64_t SizeOf(const PluginPanelItem &item) {
    return (static_cast<uint64_t>(item.FindData.nFileSizeHigh) << 32) | item.FindData.nFileSizeLow;
}

// The host's own rules look only at the name after the last '\\' or '/': a plugin may list
// full paths.
const char *NamePart(const char *name) {
    for (const char *at = name; *at; ++at)
        if (*at == '\\' || *at == '/') name = at + 1;
    return name;
}

const char *Extension(const char *name) {
    name = NamePart(name);
    const char *dot = std::strrchr(name, '.');
    return dot && dot != name ? dot + 1 : "";
}

// Bottom-up merge sort that stays within bounds whatever the comparison answers (a plugin's
// Compare need not be consistent).
template <class T, class Less> void MergeSort(std::vector<T> &items, Less less) {
    size_t count = items.size();
    if (count < 2) return;
    std::vector<T> to(count);
    for (size_t width = 1; width < count; width *= 2) {
        for (size_t left = 0; left < count; left += 2 * width) {
            size_t middle = std::min(left + width, count),
                   right = std::min(left + 2 * width, count);
            size_t i = left, j = middle, out = left;
            while (i < middle && j < right)
                to[out++] = less(items[j], items[i]) ? items[j++] : items[i++];
            while (i < middle) to[out++] = items[i++];
            while (j < right) to[out++] = items[j++];
        }
        items.swap(to);
    }
}

} // namespace

Panel::Panel(Host &host, Side side, const std::string &directory)
    : host_(host), side_(side), directory_(Normalized(directory)) {
    ListFiles();
}

Panel::~Panel() {
    StopWatching();
}

// ---- Items ------------------------------------------------------------------------------------

ShownItem Panel::Item(int index) const {
    ShownItem shown;
    if (index < 0 || index >= Count()) return shown;
    const PluginPanelItem &item = items_[index];
    shown.name = item.FindData.cFileName;
    shown.attributes = item.FindData.dwFileAttributes;
    shown.size = SizeOf(item);
    shown.lastWriteTime.dwLowDateTime = item.FindData.ftLastWriteTime.dwLowDateTime;
    shown.lastWriteTime.dwHighDateTime = item.FindData.ftLastWriteTime.dwHighDateTime;
    shown.flags = item.Flags;
    if (item.CustomColumnData)
        for (int i = 0; i < item.CustomColumnNumber; ++i)
            shown.columns.push_back(item.CustomColumnData[i] ? item.CustomColumnData[i] : "");
    if (item.Description) shown.description = std::string(item.Description);
    if (item.Owner) shown.owner = std::string(item.Owner);
    shown.isDots = IsDotsItem(index);
    return shown;
}

std::vector<ShownItem> Panel::Items() const {
    std::vector<ShownItem> all;
    for (int i = 0; i < Count(); ++i) all.push_back(Item(i));
    return all;
}

std::vector<std::string> Panel::Names() const {
    std::vector<std::string> names;
    for (const PluginPanelItem &item : items_) names.push_back(item.FindData.cFileName);
    return names;
}

int Panel::IndexOf(const std::string &name) const {
    for (int i = 0; i < Count(); ++i)
        if (name == items_[i].FindData.cFileName) return i;
    return -1;
}

std::string Panel::CurrentName() const {
    return current_ >= 0 && current_ < Count() ? items_[current_].FindData.cFileName : "";
}

bool Panel::SetCurrent(int index) {
    if (index < 0 || index >= Count()) return false;
    current_ = index;
    return true;
}

bool Panel::SetCurrentByName(const std::string &name) {
    return SetCurrent(IndexOf(name));
}

void Panel::ApplyCurrent(const std::string &name, int fallback) {
    int found = name.empty() ? -1 : IndexOf(name);
    if (found >= 0)
        current_ = found;
    else
        current_ = std::max(0, std::min(fallback, Count() - 1));
}

bool Panel::Select(const std::string &name, bool on) {
    int index = IndexOf(name);
    if (index < 0 || IsDotsItem(index)) return false;
    SetSelected(items_[index], on);
    return true;
}

void Panel::SetSelected(PluginPanelItem &item, bool on) {
    if (on)
        item.Flags |= PPIF_SELECTED;
    else
        item.Flags &= ~static_cast<DWORD>(PPIF_SELECTED);
}

void Panel::ToggleSelection(int index) {
    if (index < 0 || index >= Count() || IsDotsItem(index)) return;
    items_[index].Flags ^= PPIF_SELECTED;
}

void Panel::SelectAll(bool on) {
    for (int i = 0; i < Count(); ++i)
        if (!IsDotsItem(i)) SetSelected(items_[i], on);
}

std::vector<std::string> Panel::SelectedNames() const {
    std::vector<std::string> names;
    for (const PluginPanelItem &item : items_)
        if (item.Flags & PPIF_SELECTED) names.push_back(item.FindData.cFileName);
    return names;
}

std::string Panel::CurDir() const {
    return plugin_ ? info_.curDir : directory_;
}

std::string Panel::Title() const {
    if (!plugin_) return directory_;
    return info_.panelTitle ? *info_.panelTitle : std::string();
}

void Panel::SetOrigins() {
    origin_.resize(items_.size());
    for (size_t i = 0; i < items_.size(); ++i) origin_[i] = static_cast<int>(i);
}

// ---- View and sort modes -------------------------------------------------------------------

void Panel::SetViewMode(int mode) {
    if (mode >= 0 && mode <= 9) viewMode_ = mode;
}

std::string Panel::ViewColumnTypes() const {
    if (plugin_ && viewMode_ < static_cast<int>(info_.panelModes.size()) &&
        info_.panelModes[viewMode_].hasColumnTypes)
        return info_.panelModes[viewMode_].columnTypes;
    return kHostColumnTypes[viewMode_];
}

std::string Panel::ViewColumnWidths() const {
    if (plugin_ && viewMode_ < static_cast<int>(info_.panelModes.size()) &&
        info_.panelModes[viewMode_].hasColumnTypes)
        return info_.panelModes[viewMode_].columnWidths;
    return kHostColumnWidths[viewMode_];
}

void Panel::SetSort(int mode, bool reversed) {
    sortMode_ = mode;
    sortReversed_ = reversed;
    std::string current = CurrentName();
    SortItems();
    ApplyCurrent(current, current_);
}

int Panel::HostCompare(const PluginPanelItem &a, const PluginPanelItem &b) const {
    int result = 0;
    switch (sortMode_) {
    case SM_EXT:
        result =
            CompareText(Extension(a.FindData.cFileName), Extension(b.FindData.cFileName), true);
        break;
    // Times and sizes: newest and largest first, as the real host sorts them.
    case SM_MTIME:
        result = CompareNumbers(Ticks(b.FindData, Written), Ticks(a.FindData, Written));
        break;
    case SM_CTIME:
        result = CompareNumbers(Ticks(b.FindData, Created), Ticks(a.FindData, Created));
        break;
    case SM_ATIME:
        result = CompareNumbers(Ticks(b.FindData, Accessed), Ticks(a.FindData, Accessed));
        break;
    case SM_SIZE:
        result = CompareNumbers(SizeOf(b), SizeOf(a));
        break;
    case SM_DESCR:
        result = CompareText(a.Description ? a.Description : "", b.Description ? b.Description : "",
                             true);
        break;
    case SM_OWNER:
        result = CompareText(a.Owner ? a.Owner : "", b.Owner ? b.Owner : "", true);
        break;
    default:
        break;
    }
    const char *nameA = NamePart(a.FindData.cFileName), *nameB = NamePart(b.FindData.cFileName);
    if (result == 0) result = CompareText(nameA, nameB, true);
    if (result == 0) result = CompareText(nameA, nameB, false);
    return result;
}

void Panel::SortItems() {
    bool useCompare = plugin_ && host_.exports_.Compare && sortMode_ != SM_UNSORTED;
    // Each item with its place in the listing, the order of SM_UNSORTED and of ties.
    struct Placed {
        PluginPanelItem item;
        int origin;
    };
    size_t first = hasDots_ ? 1 : 0;
    std::vector<Placed> placed;
    for (size_t i = first; i < items_.size(); ++i) placed.push_back(Placed{items_[i], origin_[i]});
    auto compare = [&](const Placed &x, const Placed &y) {
        const PluginPanelItem &a = x.item, &b = y.item;
        int result = 0;
        if (sortMode_ != SM_UNSORTED) {
            // Folders before files, whatever the order.
            bool aFolder = (a.FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            bool bFolder = (b.FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (aFolder != bFolder) return aFolder ? -1 : 1;
            result = -2;
            if (useCompare) {
                Host::PluginCall call(host_);
                result = host_.exports_.Compare(handle_, &a, &b, static_cast<unsigned>(sortMode_));
                // -3: the plugin wants no more Compare calls in this sort.
                if (result == -3) {
                    useCompare = false;
                    result = -2;
                }
                if (result != -2) result = result < 0 ? -1 : result > 0 ? 1 : 0;
            }
            if (result == -2) result = HostCompare(a, b);
        }
        if (result == 0) result = x.origin < y.origin ? -1 : x.origin > y.origin ? 1 : 0;
        return sortReversed_ ? -result : result;
    };
    MergeSort(placed, [&](const Placed &a, const Placed &b) { return compare(a, b) < 0; });
    for (size_t i = 0; i < placed.size(); ++i) {
        items_[first + i] = placed[i].item;
        origin_[first + i] = placed[i].origin;
    }
}

// ---- Plugin listing ---------------------------------------------------------------------------

void Panel::AskOpenPluginInfo() {
    if (!plugin_) return;
    OpenPluginInfo info;
    std::memset(&info, 0, sizeof info);
    info.StructSize = sizeof info;
    {
        Host::PluginCall call(host_);
        host_.exports_.GetOpenPluginInfo(handle_, &info);
    }
    OpenPluginInfoCopy copy;
    copy.structSize = info.StructSize;
    copy.flags = info.Flags;
    if (info.HostFile) copy.hostFile = std::string(info.HostFile);
    copy.curDir = info.CurDir ? info.CurDir : "";
    if (info.Format) copy.format = std::string(info.Format);
    if (info.PanelTitle) copy.panelTitle = std::string(info.PanelTitle);
    copy.infoLinesNumber = info.InfoLinesNumber;
    if (info.DescrFiles)
        for (int i = 0; i < info.DescrFilesNumber; ++i)
            copy.descrFiles.push_back(info.DescrFiles[i] ? info.DescrFiles[i] : "");
    int modes = info.PanelModesNumber;
    if (modes < 0 || modes > 10) {
        host_.Fail("GetOpenPluginInfo gave " + std::to_string(modes) + " view modes (0 to 10)");
        modes = std::max(0, std::min(modes, 10));
    }
    if (modes > 0 && !info.PanelModesArray) {
        host_.Fail("GetOpenPluginInfo gave view modes without their array");
        modes = 0;
    }
    for (int i = 0; i < modes; ++i) {
        const PanelMode &mode = info.PanelModesArray[i];
        PanelModeCopy modeCopy;
        modeCopy.hasColumnTypes = mode.ColumnTypes != nullptr;
        modeCopy.columnTypes = mode.ColumnTypes ? mode.ColumnTypes : "";
        modeCopy.columnWidths = mode.ColumnWidths ? mode.ColumnWidths : "";
        if (mode.ColumnTypes) {
            size_t columns =
                std::count(modeCopy.columnTypes.begin(), modeCopy.columnTypes.end(), ',') + 1;
            for (size_t c = 0; c < columns; ++c) {
                const char *title = mode.ColumnTitles ? mode.ColumnTitles[c] : nullptr;
                modeCopy.columnTitles.push_back(title ? std::optional<std::string>(title)
                                                      : std::nullopt);
            }
        }
        modeCopy.fullScreen = mode.FullScreen;
        modeCopy.detailedStatus = mode.DetailedStatus;
        modeCopy.alignExtensions = mode.AlignExtensions;
        modeCopy.caseConversion = mode.CaseConversion;
        if (mode.StatusColumnTypes)
            modeCopy.statusColumnTypes = std::string(mode.StatusColumnTypes);
        if (mode.StatusColumnWidths)
            modeCopy.statusColumnWidths = std::string(mode.StatusColumnWidths);
        copy.panelModes.push_back(modeCopy);
    }
    copy.startPanelMode = info.StartPanelMode;
    copy.startSortMode = info.StartSortMode;
    copy.startSortOrder = info.StartSortOrder;
    if (info.KeyBar) {
        copy.hasKeyBar = true;
        char *const *groups[4] = {info.KeyBar->Titles, info.KeyBar->CtrlTitles,
                                  info.KeyBar->AltTitles, info.KeyBar->ShiftTitles};
        for (int g = 0; g < 4; ++g)
            for (int k = 0; k < 12; ++k)
                if (groups[g][k]) copy.keyBar[g][k] = std::string(groups[g][k]);
    }
    if (info.ShortcutData) copy.shortcutData = std::string(info.ShortcutData);
    info_ = std::move(copy);
}

void Panel::BecomePluginPanel(HANDLE handle) {
    StopWatching();
    items_.clear();
    owned_.clear();
    pluginSelected_.clear();
    hasDots_ = false;
    plugin_ = true;
    handle_ = handle;
    info_ = OpenPluginInfoCopy();
    pendingDirectory_.clear();
    closeRequested_ = false;
    current_ = 0;
    updates_ = redraws_ = 0;
}

void Panel::BecomeFilePanel(const std::string &directory) {
    plugin_ = false;
    handle_ = nullptr;
    owned_.clear();
    pluginSelected_.clear();
    info_ = OpenPluginInfoCopy();
    pendingDirectory_.clear();
    closeRequested_ = false;
    items_.clear();
    hasDots_ = false;
    current_ = 0;
    std::string previous = directory_;
    directory_ = Normalized(directory);
    if (!ListFiles()) {
        directory_ = previous;
        ListFiles();
    }
    Redraw();
}

bool Panel::ListPlugin(bool opening, bool keepSelection) {
    if (listing_) {
        host_.Fail("the plugin asked for a new listing of its panel while it was being listed");
        return false;
    }
    if (!plugin_ || closing_) return false;
    AskOpenPluginInfo();
    if (opening) {
        if (info_.startPanelMode >= '0' && info_.startPanelMode <= '9')
            viewMode_ = info_.startPanelMode - '0';
        if (info_.startSortMode > 0) {
            sortMode_ = info_.startSortMode;
            sortReversed_ = info_.startSortOrder != 0;
        }
    }
    std::string previousName = CurrentName();
    int previousIndex = current_;
    std::vector<std::string> selected =
        keepSelection ? SelectedNames() : std::vector<std::string>();
    HANDLE handle = handle_;
    PluginPanelItem *items = nullptr;
    int count = 0;
    int done;
    listing_ = true;
    {
        Host::PluginCall call(host_);
        done = host_.exports_.GetFindData(handle, &items, &count, 0);
    }
    listing_ = false;
    if (!plugin_ || handle_ != handle) return false; // closed meanwhile
    if (!done) {
        // A plugin that cannot list its panel loses it: the side shows a file panel again.
        closeRequested_ = true;
        if (host_.pluginDepth_ == 0) host_.RunPendingCloses();
        return false;
    }
    if (count < 0 || (count > 0 && !items)) {
        host_.Fail("GetFindData gave " + std::to_string(count) + " items" +
                   (items ? "" : " and no array"));
        return false;
    }
    // Everything is copied, and the plugin's array goes back before the host sorts or draws.
    std::vector<std::unique_ptr<OwnedItem>> owned;
    std::vector<PluginPanelItem> shown;
    std::vector<bool> pluginSelected;
    bool dotsGiven = false;
    for (int i = 0; i < count; ++i) {
        PluginPanelItem item = items[i];
        if (!std::memchr(item.FindData.cFileName, 0, sizeof item.FindData.cFileName)) {
            host_.Fail("GetFindData item " + std::to_string(i) + " has a name without its end");
            item.FindData.cFileName[sizeof item.FindData.cFileName - 1] = 0;
        }
        // Hidden and system items only while the user shows them; the panel's filter where
        // the plugin asks for it.
        bool dots = !std::strcmp(item.FindData.cFileName, "..");
        if (!dots && !host_.options_.showHidden &&
            (item.FindData.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)))
            continue;
        if (!dots && (info_.flags & OPIF_USEFILTER) && host_.filter_ &&
            !host_.filter_(item.FindData))
            continue;
        std::unique_ptr<OwnedItem> copy(new OwnedItem);
        if (item.CustomColumnData && item.CustomColumnNumber > 0) {
            for (int c = 0; c < item.CustomColumnNumber; ++c)
                copy->columns.push_back(item.CustomColumnData[c] ? item.CustomColumnData[c] : "");
            for (std::string &text : copy->columns) copy->columnData.push_back(&text[0]);
            item.CustomColumnData = copy->columnData.data();
        } else {
            item.CustomColumnData = nullptr;
            item.CustomColumnNumber = 0;
        }
        if (item.Flags & PPIF_USERDATA) {
            // As the real host: the block UserData points to is copied (its size is its first
            // DWORD) and goes with the item. In a 64-bit process the 4-byte field holds no
            // address, so the flag is a fault of the plugin there.
            if (sizeof(void *) != sizeof(DWORD) || item.UserData == 0) {
                host_.Fail("GetFindData item " + std::to_string(i) +
                           " sets PPIF_USERDATA without the address of a block in UserData");
                item.UserData = 0;
                item.Flags &= ~static_cast<DWORD>(PPIF_USERDATA);
            } else {
                const char *block =
                    reinterpret_cast<const char *>(static_cast<uintptr_t>(item.UserData));
                DWORD size;
                std::memcpy(&size, block, sizeof size);
                copy->userData.assign(block, block + (size < sizeof size ? sizeof size : size));
                item.UserData =
                    static_cast<DWORD>(reinterpret_cast<uintptr_t>(copy->userData.data()));
            }
        }
        if (item.Description) {
            copy->description = item.Description;
            item.Description = &copy->description[0];
        }
        if (item.Owner) {
            copy->owner = item.Owner;
            item.Owner = &copy->owner[0];
        }
        bool flagged = (item.Flags & PPIF_SELECTED) != 0;
        SetSelected(item, false);
        if (!std::strcmp(item.FindData.cFileName, "..")) {
            if (dotsGiven) continue;
            dotsGiven = true;
            shown.insert(shown.begin(), item);
            pluginSelected.insert(pluginSelected.begin(), flagged);
        } else {
            shown.push_back(item);
            pluginSelected.push_back(flagged);
        }
        owned.push_back(std::move(copy));
    }
    {
        Host::PluginCall call(host_);
        host_.exports_.FreeFindData(handle, items, count);
    }
    if (!plugin_ || handle_ != handle) return false;
    hasDots_ = dotsGiven;
    if (!dotsGiven && (info_.flags & OPIF_ADDDOTS)) {
        shown.insert(shown.begin(), DotsItem());
        pluginSelected.insert(pluginSelected.begin(), false);
        hasDots_ = true;
    }
    // Folder sizes counted with F3 ride on over listings that keep the selection (shown "~N"
    // by the real host); the plugin's Compare then meets them in the items.
    if (!keepSelection || opening) folderSizes_.clear();
    for (PluginPanelItem &item : shown) {
        auto counted = folderSizes_.find(item.FindData.cFileName);
        if (counted == folderSizes_.end() ||
            !(item.FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;
        item.FindData.nFileSizeLow = static_cast<DWORD>(counted->second);
        item.FindData.nFileSizeHigh = static_cast<DWORD>(counted->second >> 32);
    }
    items_.swap(shown);
    owned_.swap(owned);
    pluginSelected_.swap(pluginSelected);
    SetOrigins();
    SortItems();
    Reselect(selected);
    if (opening)
        current_ = 0;
    else
        ApplyCurrent(previousName, previousIndex);
    listedAt_ = host_.Now();
    ++updates_;
    return true;
}

void Panel::Reselect(const std::vector<std::string> &names) {
    if (names.empty()) return;
    std::set<std::string> wanted(names.begin(), names.end());
    for (int i = 0; i < Count(); ++i)
        if (!IsDotsItem(i) && wanted.count(items_[i].FindData.cFileName))
            SetSelected(items_[i], true);
}

void Panel::ReleaseAll() {
    items_.clear();
    owned_.clear();
    pluginSelected_.clear();
    hasDots_ = false;
    current_ = 0;
    infoItems_.clear();
    infoSelected_.clear();
}

// ---- File panel -------------------------------------------------------------------------------

bool Panel::ListFiles() {
    if (plugin_) return false;
    std::set<std::string> selected;
    for (const std::string &name : SelectedNames()) selected.insert(name);
    std::string previousName = CurrentName();
    int previousIndex = current_;
    std::vector<PluginPanelItem> listed;
    std::string pattern = directory_ + (IsRoot(directory_) ? "" : "\\") + "*";
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) {
        DWORD attributes = GetFileAttributesA(directory_.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            return false;
    } else {
        do {
            if (!std::strcmp(data.cFileName, ".") || !std::strcmp(data.cFileName, "..")) continue;
            PluginPanelItem item;
            std::memset(&item, 0, sizeof item);
            std::memcpy(&item.FindData, &data, sizeof item.FindData);
            if (selected.count(data.cFileName)) item.Flags |= PPIF_SELECTED;
            listed.push_back(item);
        } while (FindNextFileA(search, &data));
        FindClose(search);
    }
    hasDots_ = !IsRoot(directory_);
    if (hasDots_) listed.insert(listed.begin(), DotsItem());
    items_.swap(listed);
    SetOrigins();
    SortItems();
    ApplyCurrent(previousName, previousIndex);
    ++updates_;
    if (watched_ != directory_) WatchDirectory();
    return true;
}

void Panel::WatchDirectory() {
    StopWatching();
    const DWORD filter = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                         FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                         FILE_NOTIFY_CHANGE_LAST_WRITE;
    change_ = FindFirstChangeNotificationA(directory_.c_str(), FALSE, filter);
    // A directory that cannot be watched is still shown; Ctrl+R lists it again.
    watched_ = directory_;
}

void Panel::StopWatching() {
    if (change_ != INVALID_HANDLE_VALUE && change_) FindCloseChangeNotification(change_);
    change_ = INVALID_HANDLE_VALUE;
    watched_.clear();
}

bool Panel::FollowChanges() {
    if (plugin_ || change_ == INVALID_HANDLE_VALUE || !change_) return false;
    if (WaitForSingleObject(change_, 0) != WAIT_OBJECT_0) return false;
    // Re-armed before the listing: a change made while it reads is seen at the next look.
    if (!FindNextChangeNotification(change_)) StopWatching(); // the listing watches afresh
    if (!ListFiles()) return false;
    Redraw();
    return true;
}

bool Panel::ChangeDirectory(const std::string &directory) {
    if (plugin_) return false;
    std::string previous = directory_;
    directory_ = Normalized(directory);
    items_.clear();
    current_ = 0;
    if (!ListFiles()) {
        directory_ = previous;
        ListFiles();
        return false;
    }
    current_ = 0;
    Redraw();
    return true;
}

// ---- Update, redraw, Enter --------------------------------------------------------------------

bool Panel::Update(bool keepSelection) {
    if (plugin_) return ListPlugin(false, keepSelection);
    if (!keepSelection) SelectAll(false);
    return ListFiles();
}

void Panel::Redraw() {
    if (plugin_ && !closing_) AskOpenPluginInfo();
    ++redraws_;
    host_.frontEnd_.PanelRedrawn(*this);
}

bool Panel::Enter() {
    if (current_ < 0 || current_ >= Count()) return false;
    const PluginPanelItem &item = items_[current_];
    bool dots = IsDotsItem(current_);
    if (!dots && !(item.FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    std::string name = dots ? std::string("..") : std::string(item.FindData.cFileName);
    if (!plugin_) {
        std::string target =
            dots ? ParentOf(directory_) : directory_ + (IsRoot(directory_) ? "" : "\\") + name;
        std::string left = LastPart(directory_);
        if (!ChangeDirectory(target)) return false;
        if (dots) SetCurrentByName(left);
        return true;
    }
    // ".." where the plugin has no folder left leaves the plugin.
    if (dots && info_.curDir.empty()) {
        host_.ClosePanelOn(side_);
        return true;
    }
    if (!host_.exports_.SetDirectory) return false;
    std::string before = info_.curDir;
    HANDLE handle = handle_;
    SelectAll(false);
    int entered;
    {
        Host::PluginCall call(host_);
        entered = host_.exports_.SetDirectory(handle, name.c_str(), 0);
    }
    if (!plugin_ || handle_ != handle) return false;
    // Listed again whatever SetDirectory answered.
    ListPlugin(false, false);
    if (!entered || !plugin_ || handle_ != handle) return false;
    // Coming out of a folder puts the cursor on it; going in starts at the top.
    current_ = 0;
    if (dots) SetCurrentByName(LastPart(before));
    Redraw();
    return true;
}

// ---- Panel information for the plugin -------------------------------------------------------

void Panel::FillPanelInfo(PanelInfo *info, bool focus) {
    std::memset(info, 0, sizeof *info);
    info->PanelType = 0; // a file panel, which a plugin panel is too
    info->Plugin = plugin_ ? 1 : 0;
    info->PanelRect =
        side_ == Side::Left ? PanelRectangle{0, 1, 39, 21} : PanelRectangle{40, 1, 79, 21};
    infoItems_ = items_;
    infoSelected_.clear();
    for (const PluginPanelItem &item : items_)
        if (item.Flags & PPIF_SELECTED) infoSelected_.push_back(item);
    // Nothing selected: the current item stands for the selection, unless it is "..".
    if (infoSelected_.empty() && current_ >= 0 && current_ < Count() && !IsDotsItem(current_))
        infoSelected_.push_back(items_[current_]);
    // The plugin's own flags come back as it gave them, with the host's selection added.
    for (int i = 0; i < Count(); ++i)
        if (origin_[i] < static_cast<int>(pluginSelected_.size()) && pluginSelected_[origin_[i]])
            infoItems_[i].Flags |= PPIF_SELECTED;
    info->PanelItems = infoItems_.empty() ? nullptr : infoItems_.data();
    info->ItemsNumber = Count();
    info->SelectedItems = infoSelected_.empty() ? nullptr : infoSelected_.data();
    info->SelectedItemsNumber = static_cast<int>(infoSelected_.size());
    info->CurrentItem = Count() > 0 ? current_ : 0;
    info->TopPanelItem = 0;
    info->Visible = 1;
    info->Focus = focus ? 1 : 0;
    info->ViewMode = viewMode_;
    std::string types = ViewColumnTypes(), widths = ViewColumnWidths();
    std::strncpy(info->ColumnTypes, types.c_str(), sizeof info->ColumnTypes - 1);
    std::strncpy(info->ColumnWidths, widths.c_str(), sizeof info->ColumnWidths - 1);
    std::string curDir = CurDir();
    std::strncpy(info->CurDir, curDir.c_str(), sizeof info->CurDir - 1);
    info->ShortNames = 0;
    info->SortMode = sortMode_;
}

bool Panel::CountFolderSize() {
    if (!plugin_ || current_ < 0 || current_ >= Count() || IsDotsItem(current_) ||
        !(items_[current_].FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    std::string name = items_[current_].FindData.cFileName;
    PluginPanelItem *list = nullptr;
    int count = 0;
    host_.GetPluginDirList(handle_, name.c_str(), &list, &count);
    uint64_t sum = 0;
    for (int i = 0; i < count; ++i)
        if (!(list[i].FindData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            sum += static_cast<uint64_t>(list[i].FindData.nFileSizeHigh) << 32 |
                   list[i].FindData.nFileSizeLow;
    host_.FreeDirList(list);
    folderSizes_[name] = sum;
    int index = IndexOf(name);
    if (index < 0) return false;
    items_[index].FindData.nFileSizeLow = static_cast<DWORD>(sum);
    items_[index].FindData.nFileSizeHigh = static_cast<DWORD>(sum >> 32);
    SortItems();
    ApplyCurrent(name, current_);
    return true;
}

} // namespace standin
