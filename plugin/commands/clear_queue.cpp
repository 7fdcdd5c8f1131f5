#include "commands/clear_queue.h"

#include "bso/outbound.h"
#include "bso/queue_clear.h"
#include "commands/command_boxes.h"
#include "commands/list_text.h"
#include "common/helpers.h"
#include "settings/settings.h"
#include "shell/box_text.h"
#include "shell/host.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

const DialogTemplateItem ClearDialogTemplate[ClearItemCount] = {
    DialogFrame(3, 1, 64, 8, MsgClearTitle),
    ShowingData(DialogText(5, 2, 0, MsgClearQuestionFormat)),
    DialogSeparator(5, 3),
    Focused(DialogCheckBox(5, 4, 60, MsgClearKeepNetmail)),
    DialogCheckBox(5, 5, 60, MsgClearKeepCaretFiles),
    DialogSeparator(5, 6),
    DialogButton(7, MsgOk, true),
    DialogButton(7, MsgCancel, false),
};

// A preview line: wider than any row the dialog shows.
const size_t PreviewLineSize = 400;

namespace {

// One link of the command: its flag.
struct ClearedLink {
    FtnAddress Link;
    char Address[AddressTextSize];
    LinkLock Lock;
};

// The preview's lines, built once: a row per file and, under a file left for a reason, why.
struct PreviewLines {
    char (*Lines)[PreviewLineSize];
    int Count;
};

} // namespace

static const int ActionIds[] = {MsgClearDelete, MsgClearTruncate, MsgClearLeave, MsgClearKeep,
                                MsgClearGone};
static const int ReasonIds[] = {0,
                                MsgClearWhyRelative,
                                MsgClearWhyOtherLinkFormat,
                                MsgClearWhyOwnFile,
                                MsgClearWhyNotAFile,
                                MsgClearWhyCannotOpen,
                                MsgClearWhyFlowStays};

// One preview row: what happens, the file, its size when it leaves the queue (the total is the
// sum of those).
static void FormatStep(char *Buffer, size_t Size, const ClearStep *Step) {
    char shown[MAX_PATH];
    ShortenPath(shown, sizeof(shown), Step->Path, 44);
    char bytes[24] = "";
    if (Step->Counted) FormatCount(bytes, sizeof(bytes), Step->Size);
    char size[32];
    snprintf(size, sizeof(size), "%11s", bytes);
    Buffer[0] = '\0';
    AppendColumn(Buffer, Size, GetMessageText(ActionIds[Step->Action]), 10);
    AppendColumn(Buffer, Size, " ", 1);
    AppendColumn(Buffer, Size, shown, 44);
    AppendColumn(Buffer, Size, " ", 1);
    AppendColumn(Buffer, Size, size, 11);
}

static bool BuildPreview(const ClearPlan *Plan, PreviewLines *Preview) {
    Preview->Count = 0;
    Preview->Lines = static_cast<char(*)[PreviewLineSize]>(
        malloc(static_cast<size_t>(Plan->Count) * 2 * PreviewLineSize + 1));
    if (Preview->Lines == nullptr) return false;
    // The .tic files come last in the plan, in the order of their files: each is shown right
    // under its file.
    int tic = 0;
    for (int s = 0; s < Plan->Count; ++s) {
        const ClearStep &step = Plan->Steps[s];
        if (step.Role == ClearTicFile) continue;
        FormatStep(Preview->Lines[Preview->Count++], PreviewLineSize, &step);
        for (; tic < Plan->Count &&
               (Plan->Steps[tic].Role != ClearTicFile || Plan->Steps[tic].Owner <= s);
             ++tic)
            if (Plan->Steps[tic].Role == ClearTicFile && Plan->Steps[tic].Owner == s)
                FormatStep(Preview->Lines[Preview->Count++], PreviewLineSize, &Plan->Steps[tic]);
        if (step.Reason == ClearNoReason) continue;
        char other[AddressTextSize];
        FormatAddress(&step.Other, other);
        FormatWithOneArgument(Preview->Lines[Preview->Count++], PreviewLineSize,
                              GetMessageText(ReasonIds[step.Reason]), 's', other);
    }
    return true;
}

// The preview, page by page: true when the user chose "Clear".
static bool ConfirmPlan(const ClearPlan *Plan) {
    PreviewLines preview;
    if (!BuildPreview(Plan, &preview)) return false;
    int files;
    unsigned long long bytes;
    SumQueueClear(Plan, &files, &bytes);
    char total[200];
    FormatTotal(total, sizeof(total), MsgClearTotalFormat, files, MsgClearBytesFormat, bytes);
    int rows = preview.Count;
    int pages = (rows + ClearPreviewRows - 1) / ClearPreviewRows;
    for (int page = 0;; page = (page + 1) % pages) {
        int shown = rows - page * ClearPreviewRows;
        if (shown > ClearPreviewRows) shown = ClearPreviewRows;
        // Frame, rows, separator, total, separator, three buttons.
        FarDialogItem items[ClearPreviewRows + 7];
        DialogTemplateItem templates[ClearPreviewRows + 7];
        int count = 0;
        int bottom = 2 + shown + 3;
        templates[count++] = DialogFrame(3, 1, 76, bottom + 1, MsgClearTitle);
        for (int i = 0; i < shown; ++i)
            templates[count++] = ShowingData(DialogText(5, 2 + i, 74, MsgOk));
        templates[count++] = DialogSeparator(5, 2 + shown);
        templates[count++] = DialogText(5, 3 + shown, 74, MsgOk);
        templates[count++] = DialogSeparator(5, 4 + shown);
        int ok = count;
        templates[count++] = Focused(DialogButton(bottom, MsgClearGo, true));
        int more = pages > 1 ? count : -1;
        if (pages > 1) templates[count++] = DialogButton(bottom, MsgMore, false);
        templates[count++] = DialogButton(bottom, MsgCancel, false);
        ExpandDialogTemplate(templates, items, count);
        for (int i = 0; i < shown; ++i)
            snprintf(items[1 + i].Data, sizeof(items[0].Data), "%s",
                     preview.Lines[page * ClearPreviewRows + i]);
        snprintf(items[2 + shown].Data, sizeof(items[0].Data), "%s", total);
        int result = HostInfo.Dialog(HostInfo.ModuleNumber, -1, -1, 80, bottom + 3, "BSOClear",
                                     items, count);
        if (result >= 0 && result == more) continue; // Esc is -1, as "no More button" is
        free(preview.Lines);
        return result == ok;
    }
}

// Names the files that were not handled, a few of them and how many more.
static void ShowFailures(const ClearPlan *Plan) {
    const int shownMost = 8;
    char lines[shownMost][MAX_PATH];
    int failed = 0;
    for (int s = 0; s < Plan->Count; ++s) {
        const ClearStep &step = Plan->Steps[s];
        if (step.Done || step.Error == 0) continue;
        if (failed < shownMost)
            ShortenPath(lines[failed], sizeof(lines[0]), step.Path, MessageLineWidth);
        ++failed;
    }
    if (failed == 0) return;
    const char *items[shownMost + 4];
    int count = 0;
    items[count++] = GetMessageText(MsgClearTitle);
    items[count++] = GetMessageText(MsgClearFailed);
    for (int i = 0; i < failed && i < shownMost; ++i) items[count++] = lines[i];
    char more[100];
    if (failed > shownMost) {
        FormatCountText(more, sizeof(more), GetMessageText(MsgMoreFailuresFormat),
                        static_cast<unsigned long long>(failed - shownMost));
        items[count++] = more;
    }
    items[count++] = GetMessageText(MsgOk);
    HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, items, count, 1);
}

// The links the command is for: the selected ones, or the one under the cursor. None (after a
// box) when an item has no row.
static int CollectLinks(const BSOBrowser *Browser, const PanelInfo *Info, ClearedLink *Links) {
    int count = 0;
    int selected = Info->SelectedItems != nullptr ? Info->SelectedItemsNumber : 0;
    const PluginPanelItem *current = CurrentPanelItem(Info);
    const PluginPanelItem *items = selected > 0 ? Info->SelectedItems : current;
    int itemCount = selected > 0 ? selected : current != nullptr ? 1 : 0;
    if (!FindItemRows(Browser, items, itemCount, nullptr)) return 0;
    for (int i = 0; i < itemCount; ++i) {
        ItemRow row;
        if (!LookUpItemRow(Browser, &items[i], &row) || row.Row->Kind != LinkRow) continue;
        memset(&Links[count], 0, sizeof(Links[count]));
        Links[count].Link = row.Row->Link;
        FormatAddress(&row.Row->Link, Links[count].Address);
        ++count;
    }
    return count;
}

void ClearQueue(BSOBrowser *Browser) {
    PanelInfo info;
    AskPanelInfo(Browser, FCTL_GETPANELINFO, &info);
    OutboundConfig config;
    LoadOutboundConfig(&config);
    int room = info.SelectedItems != nullptr && info.SelectedItemsNumber > 0
                   ? info.SelectedItemsNumber
                   : 1;
    ClearedLink *links =
        static_cast<ClearedLink *>(calloc(static_cast<size_t>(room), sizeof(ClearedLink)));
    if (links == nullptr) return;
    int linkCount = CollectLinks(Browser, &info, links);
    if (linkCount == 0) {
        free(links);
        return;
    }

    FarDialogItem items[ClearItemCount];
    ExpandDialogTemplate(ClearDialogTemplate, items, ClearItemCount);
    char subject[AddressTextSize];
    if (linkCount == 1) {
        snprintf(subject, sizeof(subject), "%s", links[0].Address);
    } else {
        FormatCountText(subject, sizeof(subject), GetMessageText(MsgClearLinksFormat),
                        static_cast<unsigned long long>(linkCount));
    }
    FormatWithOneArgument(items[ClearSubject].Data, sizeof(items[0].Data),
                          GetMessageText(MsgClearQuestionFormat), 's', subject);
    if (HostInfo.Dialog(HostInfo.ModuleNumber, -1, -1, 68, 10, "BSOClear", items, ClearItemCount) !=
        ClearOk) {
        free(links);
        return;
    }
    ClearOptions options = {items[ClearKeepNetmail].Selected != 0,
                            items[ClearKeepCaretFiles].Selected != 0};

    // Every flag first: while the preview is read, no mailer changes what it shows.
    int locked = 0;
    bool goOn = true;
    for (; locked < linkCount && goOn; ++locked)
        goOn = LockLinkForCommand(MsgClearTitle, config, &links[locked].Link, &links[locked].Lock);
    if (!goOn) --locked;
    bool planned = goOn;
    ClearPlan plan;
    memset(&plan, 0, sizeof(plan));
    FtnAddress *cleared =
        static_cast<FtnAddress *>(calloc(static_cast<size_t>(linkCount), sizeof(FtnAddress)));
    planned = planned && cleared != nullptr;
    for (int i = 0; planned && i < linkCount; ++i) {
        cleared[i] = links[i].Link;
        char basePath[OutboundPathSize];
        if (!BuildOutboundPath(&links[i].Link, basePath, config.Root, "", &config.Own)) continue;
        planned = PlanQueueClear(basePath, i, &options, &plan) != 0;
    }
    if (planned && plan.Count > 0)
        planned = FinishQueueClearPlan(&plan, config.Root, &config.Own, cleared, linkCount) != 0;
    // What another link needs is unknown: nothing goes, and the flow file is named.
    if (!planned && plan.Unreadable != nullptr)
        ShowWarning(MsgClearTitle, MsgFlowFileUnreadable, plan.Unreadable);
    if (planned && plan.Count == 0) {
        ShowWarning(MsgClearTitle, MsgClearNothing, subject);
    } else if (planned && ConfirmPlan(&plan)) {
        ExecuteQueueClear(&plan);
        ShowFailures(&plan);
    }
    for (int i = 0; i < locked; ++i) ReleaseLink(&links[i].Lock);
    FreeClearPlan(&plan);
    free(cleared);
    free(links);
}
