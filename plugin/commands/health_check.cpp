#include "commands/health_check.h"

#include "bso/outbound.h"
#include "bso/text_file.h"
#include "commands/command_boxes.h"
#include "commands/list_text.h"
#include "common/helpers.h"
#include "panel/nodelist_names.h"
#include "scan/health_check.h"
#include "settings/settings.h"
#include "shell/box_text.h"
#include "shell/host.h"

#include <stdio.h>
#include <string.h>
#include <time.h>

const DialogTemplateItem HealthAttachTemplate[HealthAttachItemCount] = {
    DialogFrame(3, 1, 64, 7, MsgHealthAttachTitle),
    DialogText(5, 2, 0, MsgHealthAttachAddress),
    ShowingData(DialogText(5, 3, 62, MsgHealthAttachAddress)),
    DialogAddressField(4),
    DialogSeparator(5, 5),
    DialogButton(6, MsgOk, true),
    DialogButton(6, MsgCancel, false),
};

static const int ProblemIds[] = {
    MsgHealthOrphanBundle, MsgHealthOldEmptyBundle, MsgHealthMissingFile,  MsgHealthNotAName,
    MsgHealthUnknownName,  MsgHealthWrongZone,      MsgHealthRelativeLine, MsgHealthWrongCase,
    MsgHealthNotAFile,     MsgHealthDroppedPacket,  MsgHealthDownNode,     MsgHealthUnlistedNode,
    MsgHealthNodelistLines};

// A path as the platform names it (on Linux the native one); the path as it is when it has none.
static const char *Shown(const char *Path, char (&Buffer)[MAX_PATH]) {
    return NativePath(Path, Buffer, sizeof(Buffer)) ? Buffer : Path;
}

// One entry of the report: the problem, the file, and the line or the bundle's size and age.
static void FormatFinding(char *Buffer, size_t Size, const HealthFinding *Finding) {
    char path[MAX_PATH], native[MAX_PATH];
    // A node's finding names its address, which is no path.
    bool address = Finding->Problem == HealthDownNode || Finding->Problem == HealthUnlistedNode;
    ShortenPath(path, sizeof(path), address ? Finding->Path : Shown(Finding->Path, native), 26);
    char detail[MAX_PATH] = "";
    if (Finding->Problem == HealthOrphanBundle || Finding->Problem == HealthOldEmptyBundle ||
        Finding->Problem == HealthDroppedPacket) {
        // The form goes by the days; the bytes take their place in it.
        char size[24], half[MAX_PATH];
        FormatCount(size, sizeof(size), Finding->Size);
        FormatCountText(half, sizeof(half), GetMessageText(MsgHealthAgeSizeFormat),
                        static_cast<unsigned long long>(Finding->Days));
        FormatWithOneArgument(detail, sizeof(detail), half, 's', size);
    } else if (Finding->Problem == HealthNodelistLines) {
        FormatCountText(detail, sizeof(detail), GetMessageText(MsgNodelistSkippedFormat),
                        Finding->Size);
    } else if (Finding->Line != nullptr) {
        ShortenPath(detail, sizeof(detail), Finding->Line, 20);
    }
    // The row stays inside the frame: the radio button's text has 67 columns there.
    Buffer[0] = '\0';
    AppendColumn(Buffer, Size, GetMessageText(ProblemIds[Finding->Problem]), 18);
    AppendColumn(Buffer, Size, " ", 1);
    AppendColumn(Buffer, Size, path, 26);
    AppendColumn(Buffer, Size, " ", 1);
    AppendColumn(Buffer, Size, detail, HealthRowWidth - 46);
    TrimLineEnd(Buffer);
}

// The report, page by page. The entry picked for a fix, or -1 when the user closed it.
static int PickFinding(const HealthReport *Report) {
    int pages = (Report->Count + HealthReportRows - 1) / HealthReportRows;
    for (int page = 0;; page = (page + 1) % pages) {
        int first = page * HealthReportRows;
        int shown = Report->Count - first;
        if (shown > HealthReportRows) shown = HealthReportRows;
        DialogTemplateItem templates[HealthReportRows + 5];
        FarDialogItem items[HealthReportRows + 5];
        int count = 0;
        int bottom = 3 + shown;
        templates[count++] = DialogFrame(3, 1, 76, bottom + 1, MsgHealthTitle);
        for (int i = 0; i < shown; ++i) {
            // Rows of a list: the selection follows the cursor, and paths show their '&'.
            DialogTemplateItem radio = DialogRadioButton(5, 2 + i, 74, MsgOk, i == 0);
            radio.Flags |= DIF_MOVESELECT | DIF_SHOWAMPERSAND;
            templates[count++] = i == 0 ? Focused(radio) : radio;
        }
        templates[count++] = DialogSeparator(5, 2 + shown);
        int fix = count;
        templates[count++] = DialogButton(bottom, MsgHealthFix, true);
        int more = pages > 1 ? count : -1;
        if (pages > 1) templates[count++] = DialogButton(bottom, MsgMore, false);
        templates[count++] = DialogButton(bottom, MsgCancel, false);
        ExpandDialogTemplate(templates, items, count);
        items[1].Selected = 1;
        for (int i = 0; i < shown; ++i)
            FormatFinding(items[1 + i].Data, sizeof(items[0].Data), &Report->Findings[first + i]);
        int result = HostInfo.Dialog(HostInfo.ModuleNumber, -1, -1, 80, bottom + 3, "BSOHealth",
                                     items, count);
        if (result >= 0 && result == more) continue; // Esc is -1, as "no More button" is
        if (result != fix) return -1;
        // The row under the cursor, as the host wrote the focus back; else the one selected.
        for (int i = 0; i < shown; ++i)
            if (items[1 + i].Focus) return first + i;
        for (int i = 0; i < shown; ++i)
            if (items[1 + i].Selected) return first + i;
        return first;
    }
}

// A question with the subject (shortened) under it: true for OK.
static bool Ask(int LineId, const char *Subject, const char *Second) {
    char shown[MAX_PATH], second[MAX_PATH];
    ShortenPath(shown, sizeof(shown), Subject, MessageLineWidth);
    ShortenPath(second, sizeof(second), Second ? Second : "", MessageLineWidth);
    const char *items[] = {GetMessageText(MsgHealthTitle), GetMessageText(LineId),   shown, second,
                           GetMessageText(MsgOk),          GetMessageText(MsgCancel)};
    if (Second == nullptr) {
        items[3] = items[4];
        items[4] = items[5];
    }
    return HostInfo.Message(HostInfo.ModuleNumber, 0, nullptr, items, Second ? 6 : 5, 2) == 0;
}

// Attaches the bundle to the link the user names, with "^": the mailer deletes it once sent,
// as the tosser would have had it.
static void AttachBundle(const HealthFinding *Finding, const OutboundConfig &Config) {
    FarDialogItem items[HealthAttachItemCount];
    ExpandDialogTemplate(HealthAttachTemplate, items, HealthAttachItemCount);
    char shown[MAX_PATH];
    Shown(Finding->Path, shown);
    ShortenPath(items[HealthAttachBundle].Data, sizeof(items[0].Data), shown, 56);
    FtnAddress link;
    if (!RunAddressDialog(MsgHealthAttachTitle, "BSOHealth", 68, 9, items, HealthAttachItemCount,
                          HealthAttachAddress, HealthAttachOk, &Config.Own, &link))
        return;
    LinkLock lock;
    if (!LockLinkForCommand(MsgHealthAttachTitle, Config, &link, &lock)) return;
    // A tosser may have queued it meanwhile: attached again, one link would get the other's mail.
    if (!IsStillOrphan(Config.Root, &Config.Own, Finding)) {
        ShowWarning(MsgHealthAttachTitle, MsgHealthFixFailed, Finding->Path);
        ReleaseLink(&lock);
        return;
    }
    char suffix[] = ".?LO";
    suffix[1] = FlavorRowOf(FlavorAtPosition(Settings.AttachFlavor, FlavorCount)).Letter;
    char flowPath[OutboundPathSize];
    // The line names the bundle as the mailer beside the plugin opens it.
    char line[MAX_PATH + 1] = "^";
    if (!NativePath(Finding->Path, line + 1, sizeof(line) - 1)) {
        ShowWriteFailure(MsgHealthAttachTitle, Finding->Path, ERROR_FILENAME_EXCED_RANGE);
    } else if (!PathExists(Finding->Path)) {
        ShowWarning(MsgHealthAttachTitle, MsgFileNotFound, shown);
    } else if (!BuildOutboundPath(&link, flowPath, Config.Root, suffix, &Config.Own)) {
        ShowWriteFailure(MsgHealthAttachTitle, Config.Root, ERROR_FILENAME_EXCED_RANGE);
    } else {
        EnsureDirectory(flowPath);
        if (AppendLineToFile(flowPath, line) != WriteDone)
            ShowWriteFailure(MsgHealthAttachTitle, flowPath, GetLastError());
    }
    ReleaseLink(&lock);
}

static void TakeOutLine(const HealthFinding *Finding, const OutboundConfig &Config) {
    char shown[MAX_PATH];
    if (!Ask(MsgHealthTakeOutLine, Finding->Line, Shown(Finding->Path, shown))) return;
    LinkLock lock;
    if (!LockLinkForCommand(MsgHealthTitle, Config, &Finding->Link, &lock)) return;
    if (TakeOutFlowLine(Finding->Path, Finding->LineNumber, Finding->Line, Finding->LineLength) !=
        WriteDone)
        ShowWarning(MsgHealthTitle, MsgHealthFixFailed, shown);
    ReleaseLink(&lock);
}

// Writes the file's own name into the line, after showing both.
static void FixCase(const HealthFinding *Finding, const OutboundConfig &Config) {
    char line[MAX_PATH], own[MAX_PATH];
    ShortenPath(line, sizeof(line), Finding->Line, MessageLineWidth);
    ShortenPath(own, sizeof(own), Finding->OwnName, MessageLineWidth);
    const char *items[] = {GetMessageText(MsgHealthTitle),
                           GetMessageText(MsgHealthExactNames),
                           line,
                           GetMessageText(MsgHealthFixCase),
                           own,
                           GetMessageText(MsgOk),
                           GetMessageText(MsgCancel)};
    if (HostInfo.Message(HostInfo.ModuleNumber, 0, nullptr, items, 7, 2) != 0) return;
    LinkLock lock;
    if (!LockLinkForCommand(MsgHealthTitle, Config, &Finding->Link, &lock)) return;
    if (WriteOwnName(Finding->Path, Finding->LineNumber, Finding->Line, Finding->LineLength,
                     Finding->OwnName) != WriteDone)
        ShowWarning(MsgHealthTitle, MsgHealthFixFailed, Finding->Path);
    ReleaseLink(&lock);
}

// Under the link's flag: the mailer neither sends the packet nor writes into it meanwhile.
static void RemovePacket(const HealthFinding *Finding, const OutboundConfig &Config) {
    char shown[MAX_PATH];
    Shown(Finding->Path, shown);
    if (!Ask(MsgHealthRemovePacket, shown, nullptr)) return;
    LinkLock lock;
    if (!LockLinkForCommand(MsgHealthTitle, Config, &Finding->Link, &lock)) return;
    if (RemoveDroppedPacket(Finding->Path, &Finding->Seen) != WriteDone)
        ShowWarning(MsgHealthTitle, MsgHealthFixFailed, shown);
    ReleaseLink(&lock);
}

static void OfferFix(const HealthFinding *Finding, const OutboundConfig &Config) {
    char shown[MAX_PATH];
    Shown(Finding->Path, shown);
    switch (Finding->Problem) {
    case HealthOrphanBundle:
        AttachBundle(Finding, Config);
        break;
    case HealthOldEmptyBundle:
        // No link's flag covers it: its name gives no address. It goes only while still empty.
        if (Ask(MsgHealthRemoveBundle, shown, nullptr) &&
            RemoveEmptyBundle(Finding->Path, &Finding->Seen) != WriteDone)
            ShowWarning(MsgHealthTitle, MsgHealthFixFailed, shown);
        break;
    case HealthMissingFile:
    case HealthNotAName:
    case HealthRelativeLine:
        TakeOutLine(Finding, Config);
        break;
    case HealthWrongCase:
        FixCase(Finding, Config);
        break;
    case HealthDroppedPacket:
        RemovePacket(Finding, Config);
        break;
    default:
        ShowWarning(MsgHealthTitle, MsgHealthNoFix, shown);
        break;
    }
}

void CheckHealth(BSOBrowser * /*Browser*/) {
    OutboundConfig config;
    LoadOutboundConfig(&config);
    for (;;) {
        // Now in file time: 100-nanosecond ticks since 1601, which lies 11644473600 s before 1970.
        unsigned long long now =
            (static_cast<unsigned long long>(time(nullptr)) + 11644473600ull) * 10000000ull;
        HealthReport report = {nullptr, 0, 0};
        // A negative age (typed or stored) reads as one no bundle reaches.
        CheckOutboundHealth(config.Root, &config.Own,
                            static_cast<unsigned>(Settings.OldEmptyBundleDays), now, &report);
        AddNodelistFindings(CurrentNodelist(true), config, &report);
        if (report.Count == 0) {
            FreeHealthReport(&report);
            char shown[MAX_PATH], native[MAX_PATH];
            ShortenPath(shown, sizeof(shown), Shown(config.Root, native), MessageLineWidth);
            const char *items[] = {GetMessageText(MsgHealthTitle), GetMessageText(MsgHealthClean),
                                   shown, GetMessageText(MsgOk)};
            HostInfo.Message(HostInfo.ModuleNumber, 0, nullptr, items, 4, 1);
            return;
        }
        int picked = PickFinding(&report);
        if (picked >= 0) OfferFix(&report.Findings[picked], config);
        FreeHealthReport(&report);
        if (picked < 0) return;
    }
}
