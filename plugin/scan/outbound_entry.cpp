#include "scan/outbound_entry.h"

#include "bso/outbound.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

char *DuplicateString(const char *Text) {
    if (!Text) return nullptr;
    size_t size = strlen(Text) + 1;
    char *copy = static_cast<char *>(malloc(size));
    if (copy) memcpy(copy, Text, size);
    return copy;
}

struct EntryChunk {
    EntryChunk *Next;
    size_t Size; // bytes after this header
};

// Bytes a chunk is made with: about 2,000 link rows' strings, 1,000 named files' in folders.
static const size_t EntryChunkBytes = 64 * 1024 - sizeof(EntryChunk);

static char *ChunkBytes(EntryChunk *Chunk) {
    return reinterpret_cast<char *>(Chunk + 1);
}

void StartEntryPool(EntryPool *Pool) {
    Pool->First = Pool->Current = nullptr;
    Pool->At = Pool->End = nullptr;
}

void EmptyEntryPool(EntryPool *Pool) {
    Pool->Current = nullptr;
    Pool->At = Pool->End = nullptr;
}

void TrimEntryPool(EntryPool *Pool) {
    EntryChunk **spare = Pool->Current ? &Pool->Current->Next : &Pool->First;
    while (EntryChunk *chunk = *spare) {
        *spare = chunk->Next;
        free(chunk);
    }
}

void FreeEntryPool(EntryPool *Pool) {
    EmptyEntryPool(Pool);
    TrimEntryPool(Pool);
}

// One made larger than the rest when the bytes would not fit a chunk goes before any kept chunk,
// which stays for later.
char *TakeFromNextEntryChunk(EntryPool *Pool, size_t Size) {
    EntryChunk **next = Pool->Current ? &Pool->Current->Next : &Pool->First;
    if (!*next || (*next)->Size < Size) {
        size_t room = Size > EntryChunkBytes ? Size : EntryChunkBytes;
        if (room > SIZE_MAX - sizeof(EntryChunk)) return nullptr;
        EntryChunk *chunk = static_cast<EntryChunk *>(malloc(sizeof(EntryChunk) + room));
        if (!chunk) return nullptr;
        chunk->Next = *next;
        chunk->Size = room;
        *next = chunk;
    }
    Pool->Current = *next;
    Pool->At = ChunkBytes(Pool->Current) + Size;
    Pool->End = ChunkBytes(Pool->Current) + Pool->Current->Size;
    return ChunkBytes(Pool->Current);
}

bool SetEntryStrings(OutboundEntry &Entry, const char *Name, const char *Alternate,
                     const char *NetmailFlavors, const char *FlowFlavors, const char *SourceText) {
    if (!StartEntryStrings(Entry, nullptr, "", 0, Name, strlen(Name), Alternate, SourceText))
        return false;
    memcpy(Entry.NetmailFlavors, NetmailFlavors, FlavorStringSize);
    memcpy(Entry.FlowFlavors, FlowFlavors, FlavorStringSize);
    return true;
}

const char *EntryAlternateName(const OutboundEntry &Entry) {
    return Entry.Name + strlen(Entry.Name) + 1;
}

void FreeEntries(OutboundEntry *&Entries, int &Count) {
    if (Entries) {
        for (int i = 0; i < Count; ++i) FreeEntryStrings(Entries[i]);
        free(Entries);
    }
    Entries = nullptr;
    Count = 0;
}
