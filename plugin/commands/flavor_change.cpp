#include "commands/flavor_change.h"

#include "bso/flow_file.h"
#include "bso/outbound.h"
#include "commands/command_boxes.h"
#include "settings/settings.h"
#include "shell/box_text.h"
#include "shell/host.h"
#include "shell/panel_row.h"

#include <string.h>

const DialogTemplateItem FlavorDialogTemplate[FlavorItemCount] = {
    DialogFrame(3, 1, 62, 10, MsgFlavorTitle),
    DialogRadioButton(5, 3, 60, MsgFlavorImmediate, true),
    DialogRadioButton(5, 4, 60, MsgFlavorCrash, false),
    DialogRadioButton(5, 5, 60, MsgFlavorDirect, false),
    DialogRadioButton(5, 6, 60, MsgFlavorNormal, false),
    DialogRadioButton(5, 7, 60, MsgFlavorHold, false),
    DialogSeparator(5, 8),
    DialogButton(9, MsgOk, true),
    DialogButton(9, MsgCancel, false),
    ShowingData(DialogText(5, 2, 60, MsgFlavorSubjectFormat)),
};

// The subject line: the one file (its name shortened to fit the frame) or how many move.
// False when there is nothing to move (no selection, the cursor on "..").
static bool NameFlavorSubject(BSOBrowser *Browser, int UseSelection, char *Line, size_t Size) {
    PanelInfo info;
    AskPanelInfo(Browser, FCTL_GETPANELINFO, &info);
    const PluginPanelItem *named = CurrentPanelItem(&info);
    int selected = UseSelection && info.SelectedItems ? info.SelectedItemsNumber : 0;
    if (selected == 0 && named == nullptr) return false;
    char subject[MAX_PATH + 64] = "";
    if (selected > 1) {
        FormatCountText(subject, sizeof(subject), GetMessageText(MsgRemoveCountFormat),
                        static_cast<unsigned long long>(selected));
    } else {
        if (selected == 1) named = &info.SelectedItems[0];
        char name[MAX_PATH];
        if (named) {
            size_t length = strnlen(named->FindData.cFileName, sizeof(name) - 1);
            memcpy(name, named->FindData.cFileName, length);
            name[length] = '\0';
            // The frame holds 56 columns of text; the format's own words take their share.
            size_t words = strlen(GetMessageText(MsgFlavorSubjectFormat));
            ShortenPath(subject, sizeof(subject), name, words < 40 ? 58 - words : 18);
        }
    }
    FormatWithOneArgument(Line, Size, GetMessageText(MsgFlavorSubjectFormat), 's', subject);
    return true;
}

bool ChangeFlavorOfItem(BSOBrowser *Browser, const PluginPanelItem *Item, const char *BasePath,
                        int ChosenFlavor) {
    ItemRow row;
    if (!LookUpItemRow(Browser, Item, &row) || row.Row->Kind != QueuedFileRow) return false;
    const char *source = row.Row->Extension;
    EntryKind kind;
    Flavor flavor;
    if (strlen(source) != 4 || !ClassifyOutboundFile(source, &kind, &flavor) || kind != FlowFile)
        return false;
    if (ChosenFlavor < Immediate || ChosenFlavor > Hold) return false;
    char oldPath[MAX_PATH];
    if (!JoinPath(oldPath, sizeof(oldPath), BasePath, "", source)) return false;

    PluginPanelItem diskItem = ItemWithRowName(Item, row);
    PatternLineAnswer answer = {false};
    WriteOutcome outcome =
        ChangeItemFlavor(oldPath, &diskItem, BasePath, ChosenFlavor, AskAboutPatternLine, &answer);
    if (outcome == WriteChanged)
        ShowWarning(MsgWarning, MsgFileNotFound, oldPath);
    else if (outcome != WriteDone && !answer.Declined)
        ShowWarning(MsgWarning, MsgLineNotRemoved, oldPath);
    return outcome == WriteDone;
}

// The part of ChangeFlavor that runs while it holds the link's flag.
static void ChangeFlavorOfItems(BSOBrowser *Browser, const FarDialogItem *items,
                                const char *BasePath, int UseSelection) {
    PanelInfo info;
    AskPanelInfo(Browser, FCTL_GETPANELINFO, &info);
    if (info.ItemsNumber <= 0 || info.PanelItems == nullptr) return;

    // Normal when no button is on, as in every flavor dialog.
    int chosen = ChosenFlavor(&items[FlavorFirstChoice], FlavorCount);
    if (UseSelection && info.SelectedItemsNumber > 0 && info.SelectedItems != nullptr) {
        if (!FindItemRows(Browser, info.SelectedItems, info.SelectedItemsNumber, nullptr)) return;
        for (int i = 0; i < info.SelectedItemsNumber; ++i)
            ChangeFlavorOfItem(Browser, &info.SelectedItems[i], BasePath, chosen);
    } else if (const PluginPanelItem *current = CurrentPanelItem(&info)) {
        if (FindItemRows(Browser, current, 1, nullptr))
            ChangeFlavorOfItem(Browser, current, BasePath, chosen);
    }
}

void ChangeFlavor(BSOBrowser *Browser, int UseSelection) {
    FarDialogItem items[FlavorItemCount];
    ExpandDialogTemplate(FlavorDialogTemplate, items, FlavorItemCount);
    // The configured attach flavor, whatever the flavor of the items.
    PresetFlavorButton(&items[FlavorFirstChoice], FlavorCount, Settings.AttachFlavor, true);
    if (!NameFlavorSubject(Browser, UseSelection, items[FlavorSubject].Data, sizeof(items[0].Data)))
        return;
    if (HostInfo.Dialog(HostInfo.ModuleNumber, -1, -1, 66, 12, "BSOFlavor", items,
                        FlavorItemCount) != FlavorOk)
        return;

    OutboundConfig config;
    LoadOutboundConfig(&config);
    if (!Browser->IsInsideLink()) return;
    LinkLock lock;
    char basePath[OutboundPathSize];
    if (!LockLinkAtBase(MsgWarning, config, &Browser->Link, &lock, basePath)) return;
    ChangeFlavorOfItems(Browser, items, basePath, UseSelection);
    ReleaseLink(&lock);
}
