// The built plugin module called through its exports with a minimal host table, for the
// measures where the stand-in host's own work (its copies of the items, its sort, its panel
// bookkeeping) would be counted as the plugin's.
//
// The table answers as a host that does nothing: no screen, message boxes answered at once,
// texts from no language file, GetPluginDirList from a listing the benchmark sets. One
// DirectPlugin at a time: the host's functions have no context argument.
#ifndef BSOPANEL_BENCH_DIRECT_PLUGIN_H
#define BSOPANEL_BENCH_DIRECT_PLUGIN_H

#include "plugin_api.h"

#include <string>

namespace bench {

class DirectPlugin {
public:
    DirectPlugin();
    ~DirectPlugin();
    DirectPlugin(const DirectPlugin &) = delete;
    DirectPlugin &operator=(const DirectPlugin &) = delete;

    // Loads the module (Win32 or native path) and finds its exports. False with `error`.
    bool Load(const std::string &modulePath, std::string &error);
    // Hands the module its start-up record with this registry root: the plugin reads its
    // settings from "<rootKey>\KESTREL" now. Called again, it re-points a loaded module at
    // other settings (the stand-in host may have bound it to its own table meanwhile).
    void Start(const std::string &rootKey);

    // The items GetPluginDirList answers with (the host's earlier listing; the caller keeps
    // them); none by default.
    void SetEarlierItems(const PluginPanelItem *items, int count) {
        earlier_ = items;
        earlierCount_ = count;
    }

    HANDLE Open();
    void Close(HANDLE panel);
    // GetFindData with OpMode 0, as the host lists its panel. Returns the items and count.
    int List(HANDLE panel, PluginPanelItem **items, int *count);
    void Free(HANDLE panel, PluginPanelItem *items, int count);
    int SetDirectory(HANDLE panel, const char *directory);
    int Compare(HANDLE panel, const PluginPanelItem *a, const PluginPanelItem *b, int mode);

    // What the plugin asked of the host.
    int DirListCalls() const { return dirListCalls_; }
    int Questions() const { return questions_; } // message boxes with buttons
    int ControlCalls() const { return controlCalls_; }

private:
    struct Table;
    HMODULE module_ = nullptr;
    std::string rootKey_;
    PluginStartupInfo info_;
    PFN_SetStartupInfo setStartupInfo_ = nullptr;
    PFN_OpenPlugin openPlugin_ = nullptr;
    PFN_ClosePlugin closePlugin_ = nullptr;
    PFN_GetFindData getFindData_ = nullptr;
    PFN_FreeFindData freeFindData_ = nullptr;
    PFN_SetDirectory setDirectory_ = nullptr;
    PFN_Compare compare_ = nullptr;
    const PluginPanelItem *earlier_ = nullptr;
    int earlierCount_ = 0;
    int dirListCalls_ = 0, questions_ = 0, controlCalls_ = 0;
};

} // namespace bench

#endif
