#include "commands/link_state.h"

#include "bso/mailer_state.h"
#include "bso/outbound.h"
#include "bso/text_file.h"
#include "commands/command_boxes.h"
#include "panel/link_columns.h"
#include "settings/settings.h"
#include "shell/host.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

const DialogTemplateItem HoldDialogTemplate[HoldItemCount] = {
    DialogFrame(3, 1, 62, 7, MsgHoldTitle),
    DialogText(5, 3, 0, MsgHoldPrompt),
    Focused(DialogEdit(5, 4, 60)),
    DialogSeparator(5, 5),
    DialogButton(6, MsgOk, true),
    DialogButton(6, MsgCancel, false),
    ShowingData(DialogText(5, 2, 60, MsgHoldSubjectFormat)),
};

// ---- The time of a hold -------------------------------------------------------------------

// Reads Count digits (at least one, at most Limit) at *Text into *Value and moves past them.
static bool ReadNumber(const char *&Text, int Limit, long *Value) {
    int digits = 0;
    long value = 0;
    while (*Text >= '0' && *Text <= '9') {
        if (++digits > Limit) return false;
        value = value * 10 + (*Text++ - '0');
    }
    *Value = value;
    return digits > 0;
}

static const char *SkipBlanks(const char *Text) {
    while (*Text == ' ' || *Text == '\t') ++Text;
    return Text;
}

int ParseHoldTime(const char *Text, int64_t Now, int64_t *Until) {
    const char *at = SkipBlanks(Text);
    long first;
    if (!ReadNumber(at, 9, &first)) return 0;
    if (*SkipBlanks(at) == '\0') { // minutes
        if (first <= 0) return 0;
        *Until = Now + static_cast<int64_t>(first) * 60;
        return 1;
    }
    time_t now = static_cast<time_t>(Now);
    struct tm *local = localtime(&now);
    if (!local) return 0;
    struct tm wanted = *local;
    bool dated = false;
    long hour = first, minute;
    if (*at == '.') { // DD.MM.YYYY HH:MM
        long day = first, month, year;
        ++at;
        if (!ReadNumber(at, 2, &month) || *at++ != '.' || !ReadNumber(at, 4, &year)) return 0;
        if (*at != ' ' && *at != '\t') return 0;
        at = SkipBlanks(at);
        if (!ReadNumber(at, 2, &hour)) return 0;
        if (day < 1 || day > 31 || month < 1 || month > 12 || year < 1970) return 0;
        wanted.tm_mday = static_cast<int>(day);
        wanted.tm_mon = static_cast<int>(month - 1);
        wanted.tm_year = static_cast<int>(year - 1900);
        dated = true;
    }
    if (*at++ != ':' || !ReadNumber(at, 2, &minute) || *SkipBlanks(at) != '\0') return 0;
    if (hour > 23 || minute > 59) return 0;
    wanted.tm_hour = static_cast<int>(hour);
    wanted.tm_min = static_cast<int>(minute);
    wanted.tm_sec = 0;
    wanted.tm_isdst = -1;
    time_t until = mktime(&wanted);
    if (until == static_cast<time_t>(-1)) return 0;
    // A date that does not exist (31.02) comes back as another day: refused.
    if (dated && wanted.tm_hour != hour) return 0;
    if (!dated && until <= now) {
        wanted.tm_mday += 1; // that time has passed today: tomorrow
        wanted.tm_hour = static_cast<int>(hour);
        wanted.tm_min = static_cast<int>(minute);
        wanted.tm_isdst = -1;
        until = mktime(&wanted);
    }
    if (until <= now) return 0;
    *Until = static_cast<int64_t>(until);
    return 1;
}

// ---- The links an action works on ---------------------------------------------------------

namespace {

// The selected links, or the one under the cursor: their addresses as the rows name them,
// with the outbound configuration the command works in.
struct ChosenLinks {
    const BSOBrowser *Browser; // whose rows the items name
    PanelInfo Info;
    int Count;
    OutboundConfig Config;
};

} // namespace

// No links (after a box) when an item has no row: nothing is done for a guess.
static void ChooseLinks(BSOBrowser *Browser, ChosenLinks *Links) {
    Links->Browser = Browser;
    AskPanelInfo(Browser, FCTL_GETPANELINFO, &Links->Info);
    Links->Count = Links->Info.SelectedItems ? Links->Info.SelectedItemsNumber : 0;
    if (!FindItemRows(Browser, Links->Info.SelectedItems, Links->Count, nullptr)) Links->Count = 0;
    LoadOutboundConfig(&Links->Config);
}

// The address of the n-th chosen link and its base path; false for a row that names none.
static bool ChosenLink(const ChosenLinks *Links, int Number, FtnAddress *Address, char *Text,
                       char *Base) {
    ItemRow row;
    if (!LookUpItemRow(Links->Browser, &Links->Info.SelectedItems[Number], &row) ||
        row.Row->Kind != LinkRow)
        return false;
    *Address = row.Row->Link;
    FormatAddress(Address, Text);
    return BuildOutboundPath(Address, Base, Links->Config.Root, "", &Links->Config.Own) != nullptr;
}

// "2:5020/1.0" for one link, "3 links" for more: what a question names.
static void NameChosenLinks(BSOBrowser *Browser, const ChosenLinks *Links, char *Text,
                            size_t Size) {
    (void)Browser;
    if (Links->Count == 1) {
        FtnAddress address;
        char base[OutboundPathSize];
        if (ChosenLink(Links, 0, &address, Text, base)) return;
    }
    FormatCountText(Text, Size, GetMessageText(MsgLinkCountFormat),
                    static_cast<unsigned long long>(Links->Count));
}

// Asks the question (one %s in QuestionId) about the chosen links; true for OK.
static bool AskAboutLinks(BSOBrowser *Browser, const ChosenLinks *Links, int TitleId,
                          int QuestionId, const char *HelpTopic) {
    char named[64];
    NameChosenLinks(Browser, Links, named, sizeof named);
    char question[256];
    FormatWithOneArgument(question, sizeof question, GetMessageText(QuestionId), 's', named);
    const char *items[] = {GetMessageText(TitleId), question, GetMessageText(MsgOk),
                           GetMessageText(MsgCancel)};
    return HostInfo.Message(HostInfo.ModuleNumber, 0, HelpTopic, items, 4, 2) == 0;
}

// Runs Write on every chosen link under the link's busy flag; a failure is shown with the
// mailer file's path. Ends when the user declines to go on at a busy link.
template <typename Writer>
static void WriteEachLink(const ChosenLinks *Links, int TitleId, MailerFile Kind, Writer Write) {
    for (int i = 0; i < Links->Count; ++i) {
        FtnAddress address;
        char text[AddressTextSize], base[OutboundPathSize];
        if (!ChosenLink(Links, i, &address, text, base)) continue;
        LinkLock lock;
        if (!LockLinkForCommand(TitleId, Links->Config, &address, &lock)) return;
        if (!Write(base)) {
            DWORD error = GetLastError();
            char path[MAX_PATH];
            if (!MailerFilePath(base, Kind, path, sizeof path)) strcpy(path, base);
            ShowWriteFailure(TitleId, path, error);
        }
        ReleaseLink(&lock);
    }
}

// ---- The actions ------------------------------------------------------------------------

void HoldLinks(BSOBrowser *Browser) {
    ChosenLinks links;
    ChooseLinks(Browser, &links);
    if (links.Count == 0) return;
    FarDialogItem items[HoldItemCount];
    ExpandDialogTemplate(HoldDialogTemplate, items, HoldItemCount);
    char named[64];
    NameChosenLinks(Browser, &links, named, sizeof named);
    FormatWithOneArgument(items[HoldSubject].Data, sizeof(items[0].Data),
                          GetMessageText(MsgHoldSubjectFormat), 's', named);
    int64_t until = 0;
    // A text that names no time to come is refused, and the dialog comes back as it was left.
    for (;;) {
        int result =
            HostInfo.Dialog(HostInfo.ModuleNumber, -1, -1, 66, 9, "BSOHold", items, HoldItemCount);
        if (result != HoldOk) return;
        items[HoldTimeField].Data[sizeof(items[0].Data) - 1] = '\0';
        if (ParseHoldTime(items[HoldTimeField].Data, CurrentTime(), &until)) break;
        ShowWarning(MsgHoldTitle, MsgHoldBadTime, items[HoldTimeField].Data);
    }
    WriteEachLink(&links, MsgHoldTitle, HoldFile,
                  [until](const char *Base) { return WriteHold(Base, until) == WriteDone; });
}

void ReleaseLinks(BSOBrowser *Browser) {
    ChosenLinks links;
    ChooseLinks(Browser, &links);
    if (links.Count == 0 ||
        !AskAboutLinks(Browser, &links, MsgReleaseTitle, MsgReleaseQuestionFormat, "BSORelease"))
        return;
    WriteEachLink(&links, MsgReleaseTitle, HoldFile,
                  [](const char *Base) { return RemoveMailerFile(Base, HoldFile) == WriteDone; });
}

void ResetLinkTries(BSOBrowser *Browser) {
    ChosenLinks links;
    ChooseLinks(Browser, &links);
    if (links.Count == 0 ||
        !AskAboutLinks(Browser, &links, MsgResetTitle, MsgResetQuestionFormat, "BSOResetTries"))
        return;
    WriteEachLink(&links, MsgResetTitle, TryFile,
                  [](const char *Base) { return RemoveMailerFile(Base, TryFile) == WriteDone; });
}

// The busy flag's state now: false when the link has none.
static bool ReadBusyFlag(const char *Base, MailerState *State) {
    ReadMailerState(Base, CurrentTime(), State);
    return State->Busy;
}

static bool IsStale(const MailerState &State) {
    return IsBusyFlagStale(State.BusyProcess, State.BusyRunning, State.BusyAge, StaleBusySeconds());
}

// The link's text with the flag's age and, when it names one, its process: "2:5020/1 (30m)".
static void RefuseFreshFlag(const char *Text, const MailerState &State) {
    char age[24], subject[AddressTextSize + 96];
    FormatSpan(State.BusyAge, age, sizeof age);
    int used = snprintf(subject, sizeof subject, "%s (%s)", Text, age);
    if (State.BusyProcess && used > 0 && static_cast<size_t>(used) < sizeof subject) {
        char process[24];
        snprintf(process, sizeof process, "%lu", State.BusyProcess);
        subject[used++] = ' ';
        FormatWithOneArgument(subject + used, sizeof subject - static_cast<size_t>(used),
                              GetMessageText(MsgStatusProcessFormat), 's', process);
    }
    ShowWarning(MsgStaleBusyTitle, MsgBusyNotStale, subject);
}

// One link's stale flag: refused with a box when there is none or it is younger than the
// setting, else removed after a question that shows its age and process. The flag is the
// mailer's: it is not taken first, since taking it is exactly what a stale one prevents.
static void RemoveOneStaleFlag(const char *Text, const char *Base) {
    MailerState state;
    if (!ReadBusyFlag(Base, &state)) {
        ShowWarning(MsgStaleBusyTitle, MsgNoBusyFlag, Text);
        return;
    }
    // The flag the question is about: a new one set meanwhile is another file, or one of
    // another size or time.
    char path[MAX_PATH];
    FileIdentity seen;
    bool known =
        MailerFilePath(Base, BusyFlagFile, path, sizeof path) && GetFileIdentity(path, &seen);
    char age[24], ageLine[96], processLine[96];
    FormatSpan(state.BusyAge, age, sizeof age);
    if (!IsStale(state)) {
        RefuseFreshFlag(Text, state);
        return;
    }
    FormatWithOneArgument(ageLine, sizeof ageLine, GetMessageText(MsgBusyAgeFormat), 's', age);
    if (state.BusyProcess) {
        char process[24];
        snprintf(process, sizeof process, "%lu", state.BusyProcess);
        FormatWithOneArgument(processLine, sizeof processLine, GetMessageText(MsgBusyProcessFormat),
                              's', process);
    } else {
        snprintf(processLine, sizeof processLine, "%s", GetMessageText(MsgBusyNoProcess));
    }
    char question[128];
    FormatWithOneArgument(question, sizeof question, GetMessageText(MsgStaleBusyQuestionFormat),
                          's', Text);
    const char *items[] = {
        GetMessageText(MsgStaleBusyTitle), question, ageLine, processLine, GetMessageText(MsgOk),
        GetMessageText(MsgCancel)};
    if (HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, "BSOStaleBusy", items, 6, 2) != 0)
        return;
    // While the question was open a mailer may have ended and a new session set a new flag.
    if (!ReadBusyFlag(Base, &state)) return;
    if (!IsStale(state) || !known || !FileUnchanged(path, &seen)) {
        RefuseFreshFlag(Text, state);
        return;
    }
    if (RemoveMailerFile(Base, BusyFlagFile) != WriteDone)
        ShowWriteFailure(MsgStaleBusyTitle, path, GetLastError());
}

void RemoveStaleBusy(BSOBrowser *Browser) {
    ChosenLinks links;
    ChooseLinks(Browser, &links);
    for (int i = 0; i < links.Count; ++i) {
        FtnAddress address;
        char text[AddressTextSize], base[OutboundPathSize];
        if (ChosenLink(&links, i, &address, text, base)) RemoveOneStaleFlag(text, base);
    }
}
