#include "commands/flavor_change.h"

#include "bso/flow_file.h"
#include "bso/outbound.h"
#include "bso/text_file.h"
#include "commands/command_boxes.h"
#include "settings/settings.h"
#include "shell/host.h"

#include <ctype.h>
#include <direct.h> // _stricmp on POSIX
#include <stdlib.h>
#include <string.h>

const DialogTemplateItem FlavorDialogTemplate[FlavorItemCount] = {
    DialogFrame(3, 1, 42, 9, MsgFlavorTitle),
    DialogRadioButton(5, 2, 40, MsgFlavorImmediate, true),
    DialogRadioButton(5, 3, 40, MsgFlavorCrash, false),
    DialogRadioButton(5, 4, 40, MsgFlavorDirect, false),
    DialogRadioButton(5, 5, 40, MsgFlavorNormal, false),
    DialogRadioButton(5, 6, 40, MsgFlavorHold, false),
    DialogSeparator(5, 7),
    DialogButton(8, MsgOk, true),
    DialogButton(8, MsgCancel, false),
};

static const int FlavorCount = 5;
static const int NormalFlavorIndex = 3;
// Room in the taken-line buffer beyond the old flow file's size, for lines the mailer may
// append between the look-up and the rewrite.
static const size_t LineBufferMargin = 65536;

// Base path followed by the suffix; false when it does not fit.
static bool JoinPath(char (&Path)[MAX_PATH], const char *BasePath, const char *Suffix) {
    size_t baseLength = strlen(BasePath);
    size_t suffixLength = strlen(Suffix);
    if (baseLength + suffixLength >= sizeof(Path)) return false;
    memcpy(Path, BasePath, baseLength);
    memcpy(Path + baseLength, Suffix, suffixLength + 1);
    return true;
}

static bool FindFile(const char *Path, WIN32_FIND_DATAA *Found) {
    HANDLE search = FindFirstFileA(Path, Found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

int ChangeItemFlavor(BSOBrowser *, const PluginPanelItem *Item, const char *BasePath,
                     int ChosenFlavor) {
    if (Item->CustomColumnNumber != 5 || Item->CustomColumnData == nullptr) return 0;
    const char *source = Item->CustomColumnData[4];
    EntryKind kind;
    Flavor flavor;
    if (source == nullptr || strlen(source) != 4 || !ClassifyOutboundFile(source, &kind, &flavor) ||
        kind != FlowFile)
        return 0;
    if (ChosenFlavor < 1 || ChosenFlavor > FlavorCount) return 0;

    char oldPath[MAX_PATH];
    if (!JoinPath(oldPath, BasePath, source)) return 0;
    WIN32_FIND_DATAA oldFound;
    if (!FindFile(oldPath, &oldFound)) {
        ShowWarning(MsgWarning, MsgFileNotFound, oldPath);
        return 0;
    }

    // The new flow file, named in the case of the names the plugin makes.
    char suffix[] = ".?LO";
    suffix[1] = FlavorLetters[ChosenFlavor - 1];
    if (OutboundCase == LowerCaseNames)
        for (char *c = suffix; *c; ++c)
            *c = static_cast<char>(tolower(static_cast<unsigned char>(*c)));
    char newPath[MAX_PATH];
    if (!JoinPath(newPath, BasePath, suffix)) return 0;

    // The old flow file's copy without the line waits until the line is safe in the new one.
    // The taken line is handed back whole: the buffer holds the whole flow file.
    size_t lineSize = oldFound.nFileSizeHigh != 0 ? 0 : oldFound.nFileSizeLow + LineBufferMargin;
    char *line = lineSize != 0 ? static_cast<char *>(malloc(lineSize)) : nullptr;
    PluginPanelItem diskItem = ItemWithDiskName(Item);
    PendingFlowRewrite pending;
    if (line == nullptr ||
        !PrepareFlowLineRemoval(oldPath, &diskItem, line, lineSize, nullptr, &pending)) {
        free(line);
        ShowWarning(MsgWarning, MsgLineNotRemoved, oldPath);
        return 0;
    }
    bool moved;
    if (_stricmp(pending.Path, newPath) == 0) {
        // The flavor it has: the line goes to the end of the copy, which then takes the place.
        moved = AppendLineToFile(pending.TemporaryPath, line) && CommitFlowRewrite(&pending);
        if (!moved) DiscardFlowRewrite(&pending);
    } else {
        AppendedLine appended;
        moved = AppendLineToFileUndoable(newPath, line, &appended) != 0;
        if (!moved) {
            DiscardFlowRewrite(&pending);
        } else if (!CommitFlowRewrite(&pending)) {
            // The old flow file still lists it: out of the new one again. Should that fail
            // too, it is listed in both, and the box says it was not taken out of the old one.
            UndoAppend(&appended);
            moved = false;
        }
    }
    free(line);
    // Either way, the old flow file and the new one are as they were.
    if (!moved) ShowWarning(MsgWarning, MsgLineNotRemoved, oldPath);
    return moved ? 1 : 0;
}

// The part of ChangeFlavor that runs while it holds the link's flag.
static void ChangeFlavorOfItems(BSOBrowser *Browser, const FarDialogItem *items,
                                const FtnAddress *link, const FtnAddress *own, int UseSelection) {
    PanelInfo info;
    AskPanelInfo(Browser, FCTL_GETPANELINFO, &info);
    if (info.ItemsNumber <= 0 || info.PanelItems == nullptr) return;

    int chosen = FlavorCount;
    for (int i = 0; i < FlavorCount; ++i)
        if (items[FlavorFirstChoice + i].Selected) {
            chosen = i + 1;
            break;
        }
    char basePath[OutboundPathSize];
    if (!BuildOutboundPath(link, basePath, Settings.PathToOutbound, "", own)) return;

    if (UseSelection && info.SelectedItemsNumber > 0 && info.SelectedItems != nullptr) {
        for (int i = 0; i < info.SelectedItemsNumber; ++i)
            ChangeItemFlavor(Browser, &info.SelectedItems[i], basePath, chosen);
    } else if (const PluginPanelItem *current = CurrentPanelItem(&info)) {
        ChangeItemFlavor(Browser, current, basePath, chosen);
    }
}

void ChangeFlavor(BSOBrowser *Browser, int UseSelection) {
    FarDialogItem items[FlavorItemCount];
    ExpandDialogTemplate(FlavorDialogTemplate, items, FlavorItemCount);
    // The configured attach flavor, whatever the flavor of the items.
    int preset = Settings.AttachFlavor;
    if (preset < 0 || preset >= FlavorCount) preset = NormalFlavorIndex;
    items[FlavorFirstChoice + preset].Focus = 1;
    items[FlavorFirstChoice + preset].Selected = 1;
    if (HostInfo.Dialog(HostInfo.ModuleNumber, -1, -1, 46, 11, "BSOFlavor", items,
                        FlavorItemCount) != FlavorOk)
        return;

    FtnAddress own, link;
    ParseOwnAddress(&own);
    if (!ParseBoundedAddress(&link, Browser->CurDir, sizeof(Browser->CurDir), &own)) return;
    LinkLock lock;
    if (!LockLinkForCommand(MsgWarning, Browser->CurDir, &lock)) return;
    ChangeFlavorOfItems(Browser, items, &link, &own, UseSelection);
    ReleaseLink(&lock);
}
