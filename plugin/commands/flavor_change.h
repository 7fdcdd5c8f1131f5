// The flavor change inside a link: each chosen file's line leaves its flow file and goes to
// the end of the link's flow file of the chosen flavor.
#ifndef BSOPANEL_COMMANDS_FLAVOR_CHANGE_H
#define BSOPANEL_COMMANDS_FLAVOR_CHANGE_H

#include "plugin_api.h"
#include "shell/browser.h"
#include "shell/messages.h"

enum FlavorDialogItem {
    FlavorFirstChoice = 1, // five buttons: immediate, crash, direct, normal, hold
    FlavorOk = 7,
    FlavorSubject = 9, // the file or the number of files that move
    FlavorItemCount = 10
};

extern const DialogTemplateItem FlavorDialogTemplate[FlavorItemCount];

// Asks for the flavor (preset: the AttachFlavor setting) and moves the selected items (when
// UseSelection is set and any are selected) or the current item.
void ChangeFlavor(BSOBrowser *Browser, int UseSelection);

// True when one item's line moved into the flow file "<BasePath>.?LO" of ChosenFlavor (1 to 5).
// Items that no flow file lists, and items without their row, are left alone without a message;
// a failure leaves both flow files as they were, and a warning says so.
bool ChangeFlavorOfItem(BSOBrowser *Browser, const PluginPanelItem *Item, const char *BasePath,
                        int ChosenFlavor);

#endif
