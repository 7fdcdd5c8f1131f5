// Between listings: moving between the link list and one link, the order of links, and the
// refresh when the outbound changes. SetDirectory, Compare and ProcessEvent hand their calls
// here unchanged.
#ifndef BSOPANEL_PANEL_NAVIGATION_H
#define BSOPANEL_PANEL_NAVIGATION_H

#include "plugin_api.h"
#include "shell/browser.h"

// 1 when the instance now shows the view Dir names, 0 when it names nothing here.
int ChangePanelDirectory(BSOBrowser *Browser, const char *Dir, int OpMode);
// -1, 0 or 1, or -2 to let the host compare by its own rule.
int CompareLinks(BSOBrowser *Browser, const PluginPanelItem *Item1, const PluginPanelItem *Item2,
                 unsigned int Mode);
// Always 0, so that the host goes on with the event.
int HandlePanelEvent(BSOBrowser *Browser, int Event, void *Param);

#endif
