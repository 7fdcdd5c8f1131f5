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

bool SetEntryStrings(OutboundEntry &Entry, const char *NetmailFlavors, const char *FlowFlavors,
                     const char *SourceText) {
    size_t netmail = strlen(NetmailFlavors) + 1, flow = strlen(FlowFlavors) + 1;
    size_t source = SourceText ? strlen(SourceText) + 1 : 0;
    char *block = static_cast<char *>(malloc(netmail + flow + source));
    Entry.NetmailFlavors = block;
    Entry.FlowFlavors =
        block ? static_cast<char *>(memcpy(block + netmail, FlowFlavors, flow)) : nullptr;
    Entry.SourceText = block && SourceText
                           ? static_cast<char *>(memcpy(block + netmail + flow, SourceText, source))
                           : nullptr;
    if (block) memcpy(block, NetmailFlavors, netmail);
    return block != nullptr;
}

void FreeEntryStrings(OutboundEntry &Entry) {
    free(Entry.NetmailFlavors); // the block of all three
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
