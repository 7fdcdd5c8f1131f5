// Until links are listed there is nowhere to go, nothing to sort and nothing to refresh.
#include "panel/navigation.h"

int ChangePanelDirectory(BSOBrowser *, const char *, int) {
    return 0;
}

int CompareLinks(BSOBrowser *, const PluginPanelItem *, const PluginPanelItem *, unsigned int) {
    return -2;
}

int HandlePanelEvent(BSOBrowser *, int, void *) {
    return 0;
}
