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

// Moves one item's line into the flow file "<BasePath>.?LO" of ChosenFlavor (1 to 5). Items
// that no flow file lists, and items without their row, are left alone without a message. The line
// never gets lost nor doubled: the old flow file is replaced by its copy without the line only once
// the line is on disk in the new one, and a failure on the way leaves both files as they were (the
// warning says so). Returns 1 when the line was moved.
int ChangeItemFlavor(BSOBrowser *Browser, const PluginPanelItem *Item, const char *BasePath,
                     int ChosenFlavor);

#endif
