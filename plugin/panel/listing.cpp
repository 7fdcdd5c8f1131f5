// Until the outbound is scanned the panel lists nothing.
#include "panel/listing.h"

int ListPanelItems(BSOBrowser *, PluginPanelItem **PanelItem, int *ItemsNumber, int) {
    *PanelItem = nullptr;
    *ItemsNumber = 0;
    return 1;
}

void FreePanelItems(BSOBrowser *, PluginPanelItem *, int) {}
