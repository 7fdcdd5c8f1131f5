// The thirteen exports. Until the panel is built they answer "nothing to show".
#include "plugin_api.h"

#include <string.h>

extern "C" {

void WINAPI SetStartupInfo(const PluginStartupInfo *) {}
void WINAPI GetPluginInfo(PluginInfo *Info) {
    memset(Info, 0, sizeof(*Info));
    Info->StructSize = sizeof(*Info);
}
HANDLE WINAPI OpenPlugin(int, INT_PTR) { return INVALID_HANDLE_VALUE; }
void WINAPI ClosePlugin(HANDLE) {}
int WINAPI GetFindData(HANDLE, PluginPanelItem **pPanelItem, int *pItemsNumber, int) {
    *pPanelItem = nullptr;
    *pItemsNumber = 0;
    return 1;
}
void WINAPI FreeFindData(HANDLE, PluginPanelItem *, int) {}
void WINAPI GetOpenPluginInfo(HANDLE, OpenPluginInfo *Info) { Info->StructSize = 68; }
int WINAPI SetDirectory(HANDLE, const char *, int) { return 0; }
int WINAPI ProcessKey(HANDLE, int, unsigned int) { return 0; }
int WINAPI Configure(int) { return 0; }
int WINAPI Compare(HANDLE, const PluginPanelItem *, const PluginPanelItem *, unsigned int) {
    return -2;
}
int WINAPI PutFiles(HANDLE, PluginPanelItem *, int, int, int) { return 0; }
int WINAPI ProcessEvent(HANDLE, int, void *) { return 0; }
}
