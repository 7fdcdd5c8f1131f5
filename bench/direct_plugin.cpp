#include "direct_plugin.h"

#include "host_core.h"

#include <cstring>

namespace bench {

namespace {
DirectPlugin *current = nullptr;
char screen; // what SaveScreen hands out: any non-null handle
} // namespace

struct DirectPlugin::Table {
    static int WINAPI Message(int, DWORD, const char *, const char *const *, int, int buttons) {
        if (current && buttons > 0) ++current->questions_;
        return -1; // a question is answered with Esc: nothing is changed on disk
    }
    static const char *WINAPI GetMsg(int, int) { return "%s"; }
    static int WINAPI Control(HANDLE, int, void *) {
        if (current) ++current->controlCalls_;
        return 0;
    }
    static HANDLE WINAPI SaveScreen(int, int, int, int) { return &screen; }
    static void WINAPI RestoreScreen(HANDLE) {}
    static int WINAPI GetPluginDirList(int, HANDLE, const char *, PluginPanelItem **items,
                                       int *count) {
        *items = nullptr;
        *count = 0;
        if (!current) return 0;
        ++current->dirListCalls_;
        // The host's own array, handed over as it is: copying it is the host's work.
        *items = const_cast<PluginPanelItem *>(current->earlier_);
        *count = current->earlier_ ? current->earlierCount_ : 0;
        return 1;
    }
    static void WINAPI FreeDirList(const PluginPanelItem *) {}
    static int WINAPI CmpName(const char *pattern, const char *string, int skipPath) {
        return standin::Host::CmpName(pattern, string, skipPath != 0) ? 1 : 0;
    }
};

DirectPlugin::DirectPlugin() {
    std::memset(&info_, 0, sizeof info_);
    current = this;
}

DirectPlugin::~DirectPlugin() {
    if (module_) FreeLibrary(module_);
    if (current == this) current = nullptr;
}

bool DirectPlugin::Load(const std::string &modulePath, std::string &error) {
    std::string path = standin::Win32Path(modulePath);
    module_ = LoadLibraryA(path.c_str());
    if (!module_) {
        error = "cannot load " + path;
        return false;
    }
    auto find = [&](const char *name) {
        FARPROC address = GetProcAddress(module_, name);
        if (!address) error = std::string("the module has no ") + name;
        return address;
    };
    setStartupInfo_ = reinterpret_cast<PFN_SetStartupInfo>(find("SetStartupInfo"));
    openPlugin_ = reinterpret_cast<PFN_OpenPlugin>(find("OpenPlugin"));
    closePlugin_ = reinterpret_cast<PFN_ClosePlugin>(find("ClosePlugin"));
    getFindData_ = reinterpret_cast<PFN_GetFindData>(find("GetFindData"));
    freeFindData_ = reinterpret_cast<PFN_FreeFindData>(find("FreeFindData"));
    setDirectory_ = reinterpret_cast<PFN_SetDirectory>(find("SetDirectory"));
    compare_ = reinterpret_cast<PFN_Compare>(find("Compare"));
    std::strncpy(info_.ModuleName, path.c_str(), sizeof info_.ModuleName - 1);
    return error.empty();
}

void DirectPlugin::Start(const std::string &rootKey) {
    current = this;
    rootKey_ = rootKey;
    info_.StructSize = sizeof info_;
    info_.ModuleNumber = 1;
    info_.RootKey = rootKey_.c_str();
    info_.Message = &Table::Message;
    info_.GetMsg = &Table::GetMsg;
    info_.Control = &Table::Control;
    info_.SaveScreen = &Table::SaveScreen;
    info_.RestoreScreen = &Table::RestoreScreen;
    info_.GetPluginDirList = &Table::GetPluginDirList;
    info_.FreeDirList = &Table::FreeDirList;
    info_.CmpName = &Table::CmpName;
    setStartupInfo_(&info_);
}

HANDLE DirectPlugin::Open() {
    return openPlugin_(OPEN_DISKMENU, 0);
}

void DirectPlugin::Close(HANDLE panel) {
    closePlugin_(panel);
}

int DirectPlugin::List(HANDLE panel, PluginPanelItem **items, int *count) {
    return getFindData_(panel, items, count, 0);
}

void DirectPlugin::Free(HANDLE panel, PluginPanelItem *items, int count) {
    freeFindData_(panel, items, count);
}

int DirectPlugin::SetDirectory(HANDLE panel, const char *directory) {
    return setDirectory_(panel, directory, 0);
}

int DirectPlugin::Compare(HANDLE panel, const PluginPanelItem *a, const PluginPanelItem *b,
                          int mode) {
    return compare_(panel, a, b, static_cast<unsigned>(mode));
}

} // namespace bench
