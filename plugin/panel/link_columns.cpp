#include "panel/link_columns.h"

#include "bso/mailer_state.h"
#include "common/helpers.h"
#include "settings/settings.h"
#include "shell/messages.h"

#include <stdio.h>
#include <string.h>
#include <time.h>

// Writes the number in decimal and Suffix (at most two characters) into Buffer, cut to fit: a
// listing writes two of these for every link, so no formatter is run.
static char *PutNumber(char *Buffer, size_t Size, uint64_t Number, const char *Suffix) {
    char text[24];
    size_t length = 0;
    do {
        text[length++] = static_cast<char>('0' + Number % 10);
        Number /= 10;
    } while (Number);
    size_t used = 0;
    while (length && used + 1 < Size) Buffer[used++] = text[--length];
    for (; *Suffix && used + 1 < Size; ++Suffix) Buffer[used++] = *Suffix;
    Buffer[used] = '\0';
    return Buffer;
}

char *FormatQueuedBytes(uint64_t Bytes, char *Buffer, size_t Size) {
    static const char *const Units[] = {"", "K", "M", "G", "T"};
    int unit = 0;
    uint64_t shown = Bytes;
    // Up to seven digits as they are; beyond, the largest unit that leaves under 1024 of it.
    while (unit < 4 && (shown > 9999999u || (unit > 0 && shown >= 1024u))) {
        shown = (shown + 1023) / 1024;
        ++unit;
    }
    if (Bytes == 0) {
        Buffer[0] = '\0';
        return Buffer;
    }
    return PutNumber(Buffer, Size, shown, Units[unit]);
}

char *FormatQueueAge(int64_t Oldest, int64_t Now, int MarkDays, char *Buffer, size_t Size) {
    if (Oldest <= 0) {
        Buffer[0] = '\0';
        return Buffer;
    }
    int64_t seconds = Now > Oldest ? Now - Oldest : 0;
    bool marked = MarkDays > 0 && seconds > static_cast<int64_t>(MarkDays) * 86400;
    uint64_t days = static_cast<uint64_t>(seconds / 86400);
    // The column holds six characters: past 9999 days the age goes in years, mark kept.
    if (days > 9999) return PutNumber(Buffer, Size, days / 365, marked ? "y!" : "y");
    return PutNumber(Buffer, Size, days, marked ? "d!" : "d");
}

char *FormatSpan(int64_t Seconds, char *Buffer, size_t Size) {
    if (Seconds < 0) Seconds = 0;
    long long value = Seconds;
    char unit = 's';
    if (Seconds >= 86400 * 2) {
        value = Seconds / 86400;
        unit = 'd';
    } else if (Seconds >= 3600) {
        value = Seconds / 3600;
        unit = 'h';
    } else if (Seconds >= 60) {
        value = Seconds / 60;
        unit = 'm';
    }
    snprintf(Buffer, Size, "%lld%c", value, unit);
    return Buffer;
}

// Appends Part behind what Buffer holds, "; " between; cut to fit.
static void AppendPart(char *Buffer, size_t Size, const char *Part) {
    size_t used = strlen(Buffer);
    if (used && used + 2 < Size) {
        memcpy(Buffer + used, "; ", 3);
        used += 2;
    }
    size_t length = strlen(Part);
    if (used + length >= Size) length = Size - used - 1;
    memcpy(Buffer + used, Part, length);
    Buffer[used + length] = '\0';
}

char *FormatMailerState(const LinkStatus &Status, int64_t Now, int64_t StaleSeconds, char *Buffer,
                        size_t Size) {
    Buffer[0] = '\0';
    char part[LastResultSize + 64];
    if (Status.HeldUntil > Now) {
        time_t until = static_cast<time_t>(Status.HeldUntil);
        struct tm *local = localtime(&until);
        char when[32] = "?";
        if (local) strftime(when, sizeof when, "%d.%m.%y %H:%M", local);
        FormatWithOneArgument(part, sizeof part, GetMessageText(MsgStatusHeldFormat), 's', when);
        AppendPart(Buffer, Size, part);
    }
    // A busy flag whose process runs is a session under way, whatever its age.
    bool stale = Status.Busy && IsBusyFlagStale(Status.BusyProcess, Status.BusyRunning,
                                                Now - Status.BusySince, StaleSeconds);
    if (Status.Calling || (Status.Busy && Status.BusyRunning)) {
        snprintf(part, sizeof part, "%s", GetMessageText(MsgStatusCalling));
    } else if (stale) {
        char age[24];
        FormatSpan(Now - Status.BusySince, age, sizeof age);
        FormatWithOneArgument(part, sizeof part, GetMessageText(MsgStatusStaleFormat), 's', age);
    } else {
        part[0] = '\0';
    }
    if (part[0]) {
        if (Status.Busy && Status.BusyProcess && (Status.BusyRunning || stale)) {
            char process[24], text[64];
            snprintf(process, sizeof process, "%lu", Status.BusyProcess);
            FormatWithOneArgument(text, sizeof text, GetMessageText(MsgStatusProcessFormat), 's',
                                  process);
            size_t used = strlen(part);
            snprintf(part + used, sizeof part - used, " %s", text);
        }
        AppendPart(Buffer, Size, part);
    }
    // binkd's first counter is of good calls: only the failures since the last one are told.
    if (Status.HasTries && Status.Failures > 0) {
        FormatCountText(part, sizeof part, GetMessageText(MsgStatusTriesFormat),
                        static_cast<unsigned long long>(Status.Failures));
        if (Status.LastResult && Status.LastResult[0]) {
            size_t used = strlen(part);
            snprintf(part + used, sizeof part - used, ": %s", Status.LastResult);
        }
        AppendPart(Buffer, Size, part);
    }
    return Buffer;
}

int64_t CurrentTime() {
    return static_cast<int64_t>(time(nullptr));
}

int64_t StaleBusySeconds() {
    return static_cast<int64_t>(Settings.StaleBusyHours) * 3600;
}

// The clock and the thresholds of the listing under way: read once for all its rows, since
// asking the clock may cost a system call each time.
static int64_t ListingNow;
static int64_t ListingStaleSeconds;
static int ListingMarkDays;

void StartColumnTexts() {
    ListingNow = CurrentTime();
    ListingStaleSeconds = StaleBusySeconds();
    ListingMarkDays = Settings.AgeMarkDays;
}

char *RowQueuedBytes(const OutboundEntry &Row, char *Buffer, size_t Size) {
    return FormatQueuedBytes(Row.Status.Bytes, Buffer, Size);
}

char *RowQueueAge(const OutboundEntry &Row, char *Buffer, size_t Size) {
    return FormatQueueAge(Row.Status.Oldest, ListingNow, ListingMarkDays, Buffer, Size);
}

// Whether a flavor string marks a flavor that makes the mailer call (all but hold, the last).
static bool MarksCallingFlavor(const char *Flavors) {
    if (Flavors == nullptr) return false;
    for (int i = 0; i < FlavorStringSize - 2 && Flavors[i]; ++i)
        if (Flavors[i] != '.') return true;
    return false;
}

// Whether a flavor string marks any flavor: it differs from the empty one.
static bool MarksFlavor(const char *Flavors) {
    return Flavors != nullptr && memcmp(Flavors, EmptyFlavorString, FlavorStringSize) != 0;
}

bool WaitsForCall(const OutboundEntry &Row) {
    bool queued =
        Row.RequestMark || MarksFlavor(Row.NetmailFlavors) || MarksFlavor(Row.FlowFlavors);
    return queued && !MarksCallingFlavor(Row.NetmailFlavors) &&
           !MarksCallingFlavor(Row.FlowFlavors);
}

char *RowMailerState(const OutboundEntry &Row, char *Buffer, size_t Size) {
    FormatMailerState(Row.Status, ListingNow, ListingStaleSeconds, Buffer, Size);
    // First, so that what the mailer says follows it, its last result last.
    if (WaitsForCall(Row) && Size > 1) {
        const char *waits = GetMessageText(MsgStatusWaitsForCall);
        size_t used = strlen(Buffer), length = strlen(waits);
        size_t prefix = used ? length + 2 : length;
        if (prefix > Size - 1) prefix = Size - 1;
        if (used > Size - 1 - prefix) used = Size - 1 - prefix; // the host cuts the end anyway
        memmove(Buffer + prefix, Buffer, used);
        Buffer[prefix + used] = '\0';
        if (prefix > length) {
            memcpy(Buffer, waits, length);
            memcpy(Buffer + length, "; ", 2);
        } else {
            memcpy(Buffer, waits, prefix);
        }
    }
    return Buffer;
}

int CompareQueues(const QueueFigures &First, const QueueFigures &Second, unsigned int Mode,
                  bool Reversed) {
    uint64_t first, second;
    if (Mode == SM_SIZE) {
        first = First.Bytes;
        second = Second.Bytes;
    } else if (Mode == SM_MTIME) {
        first = First.Written;
        second = Second.Written;
        // The host turns the answer round for oldest first; an empty queue stays last.
        if ((first == 0) != (second == 0)) return (first == 0) != Reversed ? 1 : -1;
    } else {
        return 0;
    }
    return first == second ? 0 : first > second ? -1 : 1;
}
