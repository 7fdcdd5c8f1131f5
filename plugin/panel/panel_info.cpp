// Until the view modes are built the host shows the panel with its own settings.
#include "panel/panel_info.h"

#include <string.h>

void DescribePanel(BSOBrowser *Browser, OpenPluginInfo *Info) {
    memset(Info, 0, sizeof(*Info));
    Info->StructSize = sizeof(*Info);
    Info->CurDir = Browser->CurDir;
}
