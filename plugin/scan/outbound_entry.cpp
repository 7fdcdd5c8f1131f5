#include "scan/outbound_entry.h"

#include "bso/outbound.h"

#include <stdlib.h>
#include <string.h>

char *DuplicateString(const char *Text) {
    if (!Text) return nullptr;
    size_t size = strlen(Text) + 1;
    char *copy = static_cast<char *>(malloc(size));
    if (copy) memcpy(copy, Text, size);
    return copy;
}

bool StartEntryStrings(OutboundEntry &Entry, const char *Folder, size_t FolderLength,
                       const char *File, size_t FileLength, const char *Alternate,
                       const char *SourceText) {
    if (!Alternate) Alternate = "";
    size_t name = FolderLength + FileLength + 1, alternate = strlen(Alternate) + 1;
    size_t source = SourceText ? strlen(SourceText) + 1 : 0;
    char *block = static_cast<char *>(malloc(2 * FlavorStringSize + name + alternate + source));
    Entry.NetmailFlavors = block;
    if (!block) {
        Entry.FlowFlavors = Entry.Name = Entry.SourceText = nullptr;
        return false;
    }
    memcpy(block, EmptyFlavorString, FlavorStringSize);
    Entry.FlowFlavors =
        static_cast<char *>(memcpy(block + FlavorStringSize, EmptyFlavorString, FlavorStringSize));
    char *at = block + 2 * FlavorStringSize;
    Entry.Name = at;
    memcpy(at, Folder, FolderLength);
    memcpy(at += FolderLength, File, FileLength);
    *(at += FileLength) = '\0';
    memcpy(++at, Alternate, alternate);
    Entry.SourceText =
        SourceText ? static_cast<char *>(memcpy(at + alternate, SourceText, source)) : nullptr;
    return true;
}

bool SetEntryStrings(OutboundEntry &Entry, const char *Name, const char *Alternate,
                     const char *NetmailFlavors, const char *FlowFlavors, const char *SourceText) {
    if (!StartEntryStrings(Entry, "", 0, Name, strlen(Name), Alternate, SourceText)) return false;
    memcpy(Entry.NetmailFlavors, NetmailFlavors, FlavorStringSize);
    memcpy(Entry.FlowFlavors, FlowFlavors, FlavorStringSize);
    return true;
}

const char *EntryAlternateName(const OutboundEntry &Entry) {
    return Entry.Name + strlen(Entry.Name) + 1;
}

void FreeEntryStrings(OutboundEntry &Entry) {
    free(Entry.NetmailFlavors); // the block of all its strings
    free(Entry.Status.LastResult);
    Entry.Status.LastResult = nullptr;
    Entry.NetmailFlavors = nullptr;
    Entry.FlowFlavors = nullptr;
    Entry.Name = nullptr;
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
