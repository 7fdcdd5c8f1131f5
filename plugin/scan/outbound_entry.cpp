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

// Size bytes from the next chunk, kept from an earlier listing or made now; one made larger than
// the rest when the bytes would not fit a chunk (it goes before any kept chunk, which stays for
// later). Null when memory runs out.
static char *TakeFromNextChunk(EntryPool *Pool, size_t Size) {
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

bool StartEntryStrings(OutboundEntry &Entry, EntryPool *Pool, const char *Folder,
                       size_t FolderLength, const char *File, size_t FileLength,
                       const char *Alternate, const char *SourceText) {
    size_t name = FolderLength + FileLength + 1;
    size_t alternate = Alternate ? strlen(Alternate) + 1 : 1;
    size_t source = SourceText ? strlen(SourceText) + 1 : 0;
    size_t size = 2 * FlavorStringSize + name + alternate + source;
    char *block;
    if (!Pool)
        block = static_cast<char *>(malloc(size));
    else if (size <= static_cast<size_t>(Pool->End - Pool->At))
        block = Pool->At, Pool->At += size;
    else
        block = TakeFromNextChunk(Pool, size);
    Entry.OwnBlock = !Pool && block;
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
    if (FolderLength) memcpy(at, Folder, FolderLength); // none for every link row
    memcpy(at += FolderLength, File, FileLength);
    *(at += FileLength) = '\0';
    ++at;
    if (alternate > 1)
        memcpy(at, Alternate, alternate);
    else
        *at = '\0';
    Entry.SourceText =
        SourceText ? static_cast<char *>(memcpy(at + alternate, SourceText, source)) : nullptr;
    return true;
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

void FreeEntryStrings(OutboundEntry &Entry) {
    if (Entry.OwnBlock) free(Entry.NetmailFlavors); // the block of all its strings
    if (Entry.Status.LastResult) {
        free(Entry.Status.LastResult);
        Entry.Status.LastResult = nullptr;
    }
    Entry.OwnBlock = false;
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
