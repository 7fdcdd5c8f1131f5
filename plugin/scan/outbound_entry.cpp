#include "scan/outbound_entry.h"

#include <stdlib.h>
#include <string.h>

char *DuplicateString(const char *Text) {
    if (!Text) return nullptr;
    size_t size = strlen(Text) + 1;
    char *copy = static_cast<char *>(malloc(size));
    if (copy) memcpy(copy, Text, size);
    return copy;
}

void FreeEntryStrings(OutboundEntry &Entry) {
    free(Entry.NetmailFlavors);
    free(Entry.FlowFlavors);
    free(Entry.SourceText);
    free(Entry.Status.LastResult);
    Entry.Status.LastResult = nullptr;
    Entry.NetmailFlavors = nullptr;
    Entry.FlowFlavors = nullptr;
    Entry.SourceText = nullptr;
    Entry.BusyMark = 0;
    Entry.RequestMark = 0;
}

void FreeEntries(OutboundEntry *&Entries, int &Count) {
    if (Entries) {
        for (int i = 0; i < Count; ++i) FreeEntryStrings(Entries[i]);
        free(Entries);
    }
    Entries = nullptr;
    Count = 0;
}
