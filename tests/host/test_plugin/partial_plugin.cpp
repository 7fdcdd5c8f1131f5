// A module that lacks most of a plugin's exports, for the host's loading error.
#include "plugin_api.h"

extern "C" {
void WINAPI SetStartupInfo(const PluginStartupInfo *) {}
void WINAPI GetPluginInfo(PluginInfo *) {}
}
