#include "shell/host.h"

PluginStartupInfo HostInfo;
