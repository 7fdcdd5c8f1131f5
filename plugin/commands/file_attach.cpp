// Until the attach command is built nothing is attached.
#include "commands/file_attach.h"

int AttachFiles(BSOBrowser *, PluginPanelItem *, int, int, int) {
    return 0;
}
