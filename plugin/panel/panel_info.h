// How the host presents the panel: title, flags, view modes, key bars. GetOpenPluginInfo hands
// its calls here unchanged.
#ifndef BSOPANEL_PANEL_PANEL_INFO_H
#define BSOPANEL_PANEL_PANEL_INFO_H

#include "plugin_api.h"
#include "shell/browser.h"

void DescribePanel(BSOBrowser *Browser, OpenPluginInfo *Info);

#endif
