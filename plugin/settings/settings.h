// The plugin's ten settings, each named after its registry value. Read once at start-up,
// written back by the configuration dialog.
#ifndef BSOPANEL_SETTINGS_SETTINGS_H
#define BSOPANEL_SETTINGS_SETTINGS_H

struct PluginSettings {
    int AddToDisksMenu;
    int DisksMenuDigit;
    int LinksPanelMode;
    int FilesPanelMode;
    int NoChangePanelMode;
    char PathToOutbound[256];
    char Address[256];
    int PollFlavor;
    int AttachFlavor;
    int AutoRefresh;
};

extern PluginSettings Settings;

#endif
