// The panel listing: every listing rescans the outbound and turns the instance's rows into host
// panel items. GetFindData and FreeFindData hand their calls here unchanged.
#ifndef BSOPANEL_PANEL_LISTING_H
#define BSOPANEL_PANEL_LISTING_H

#include "plugin_api.h"
#include "shell/browser.h"

// 1 with the items (an empty view gives an empty listing), 0 on failure.
int ListPanelItems(BSOBrowser *Browser, PluginPanelItem **PanelItem, int *ItemsNumber, int OpMode);
// Releases what ListPanelItems gave.
void FreePanelItems(BSOBrowser *Browser, PluginPanelItem *PanelItem, int ItemsNumber);

#endif
