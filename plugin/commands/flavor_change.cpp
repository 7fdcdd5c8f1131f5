#include "commands/flavor_change.h"

#include "bso/flow_file.h"
#include "bso/outbound.h"
#include "bso/text_file.h"
#include "commands/command_boxes.h"
#include "settings/settings.h"
#include "shell/box_text.h"
#include "shell/host.h"

#include <ctype.h>
#include <direct.h> // _stricmp on POSIX
#include <stdlib.h>
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

int ChangeItemFlavor(BSOBrowser *Browser, const PluginPanelItem *Item, const char *BasePath,
                     int ChosenFlavor) {
    ItemRow row;
    if (!LookUpItemRow(Browser, Item, &row) || row.Row->Kind != QueuedFileRow) return 0;
    const char *source = row.Row->Extension;
    EntryKind kind;
    Flavor flavor;
    if (strlen(source) != 4 || !ClassifyOutboundFile(source, &kind, &flavor) || kind != FlowFile)
        return 0;
    if (ChosenFlavor < Immediate || ChosenFlavor > Hold) return 0;

    char oldPath[MAX_PATH];
    if (!JoinPath(oldPath, sizeof(oldPath), BasePath, "", source)) return 0;
    WIN32_FIND_DATAA oldFound;
    if (!FindFirstEntry(oldPath, &oldFound)) {
        ShowWarning(MsgWarning, MsgFileNotFound, oldPath);
        return 0;
    }

    // The new flow file, named in the case of the names the plugin makes.
    char suffix[] = ".?LO";
    suffix[1] = FlavorRowOf(ChosenFlavor).Letter;
    if (OutboundCase == LowerCaseNames)
        for (char *c = suffix; *c; ++c)
            *c = static_cast<char>(tolower(static_cast<unsigned char>(*c)));
    char newPath[MAX_PATH];
    if (!JoinPath(newPath, sizeof(newPath), BasePath, "", suffix)) return 0;

    // The old flow file's copy without the lines waits until they are safe in the new one.
    // Every line taken out goes there, duplicates too, each as it stood.
    PluginPanelItem diskItem = ItemWithRowName(Item, row);
    PatternLineAnswer answer = {false};
    TakenLines taken;
    PendingFlowRewrite pending;
    if (!PrepareFlowLineRemoval(oldPath, &diskItem, SameOutboundFileName, AskAboutPatternLine,
                                &answer, &taken, &pending)) {
        if (!answer.Declined) ShowWarning(MsgWarning, MsgLineNotRemoved, oldPath);
        return 0;
    }
    bool moved = true;
    const char *line;
    size_t length;
    size_t offset = 0;
    if (_stricmp(pending.Path, newPath) == 0) {
        // The flavor it has: the lines go to the end of the copy, which then takes the place.
        AppendedLine appended;
        while (moved && NextTakenLine(&taken, &offset, &line, &length))
            moved = AppendLineBytesUndoable(pending.TemporaryPath, line, length, &appended) != 0;
        pending.Empties = false;
        moved = moved && CommitFlowRewrite(&pending);
        if (!moved) DiscardFlowRewrite(&pending);
    } else {
        AppendedLine *appended = static_cast<AppendedLine *>(
            malloc(static_cast<size_t>(taken.Count) * sizeof(AppendedLine)));
        int done = 0;
        moved = appended != nullptr;
        while (moved && NextTakenLine(&taken, &offset, &line, &length)) {
            moved = AppendLineBytesUndoable(newPath, line, length, &appended[done]) != 0;
            if (moved) ++done;
        }
        if (!moved) {
            DiscardFlowRewrite(&pending);
        } else if (!CommitFlowRewrite(&pending)) {
            moved = false;
        }
        // The old flow file still lists them: out of the new one again, the last first. Should
        // that fail too, they are listed in both, and the box says they were not taken out.
        if (!moved)
            while (done > 0) UndoAppend(&appended[--done]);
        free(appended);
    }
    FreeTakenLines(&taken);
    // Either way, the old flow file and the new one are as they were.
    if (!moved) ShowWarning(MsgWarning, MsgLineNotRemoved, oldPath);
    return moved ? 1 : 0;
}

// The part of ChangeFlavor that runs while it holds the link's flag.
static void ChangeFlavorOfItems(BSOBrowser *Browser, const FarDialogItem *items,
                                const OutboundConfig &config, const FtnAddress *link,
                                int UseSelection) {
    PanelInfo info;
    AskPanelInfo(Browser, FCTL_GETPANELINFO, &info);
    if (info.ItemsNumber <= 0 || info.PanelItems == nullptr) return;

    // Normal when no button is on, as in every flavor dialog.
    int chosen = ChosenFlavor(&items[FlavorFirstChoice], FlavorCount);
    char basePath[OutboundPathSize];
    if (!BuildOutboundPath(link, basePath, config.Root, "", &config.Own)) return;

    if (UseSelection && info.SelectedItemsNumber > 0 && info.SelectedItems != nullptr) {
        if (!FindItemRows(Browser, info.SelectedItems, info.SelectedItemsNumber, nullptr)) return;
        for (int i = 0; i < info.SelectedItemsNumber; ++i)
            ChangeItemFlavor(Browser, &info.SelectedItems[i], basePath, chosen);
    } else if (const PluginPanelItem *current = CurrentPanelItem(&info)) {
        if (FindItemRows(Browser, current, 1, nullptr))
            ChangeItemFlavor(Browser, current, basePath, chosen);
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
    if (!LockLinkForCommand(MsgWarning, config, &Browser->Link, &lock)) return;
    ChangeFlavorOfItems(Browser, items, config, &Browser->Link, UseSelection);
    ReleaseLink(&lock);
}
