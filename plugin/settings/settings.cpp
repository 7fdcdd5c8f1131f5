#include "settings/settings.h"

PluginSettings Settings;
