// The host's function table, kept whole at start-up; every call back into the host goes
// through it and its ModuleNumber.
#ifndef BSOPANEL_SHELL_HOST_H
#define BSOPANEL_SHELL_HOST_H

#include "plugin_api.h"

extern PluginStartupInfo HostInfo;

// The parameter of FCTL_UPDATEPANEL: any non-NULL value makes the host keep the selection by
// name (NULL drops it).
static void *const KeepSelection = reinterpret_cast<void *>(1);

#endif
