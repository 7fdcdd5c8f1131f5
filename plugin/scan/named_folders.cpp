#include "scan/named_folders.h"

#include "bso/outbound.h"
#include "common/grow_array.h"

#include <limits.h>
#include <stdlib.h>
#include <string.h>

// Names asked about in one folder before it is read: a few names are cheaper looked up.
static const int ReadAtNames = 8;

void StartNamedFolders(NamedFolders *Folders) {
    Folders->Folders = nullptr;
    Folders->Count = 0;
    Folders->Capacity = 0;
    Folders->Last = -1;
}

static void DropFiles(NamedFolder &Folder) {
    free(Folder.Files);
    free(Folder.Pool);
    free(Folder.Slots);
    Folder.Files = nullptr;
    Folder.FileCount = Folder.FileCapacity = 0;
    Folder.Pool = nullptr;
    Folder.PoolUsed = Folder.PoolCapacity = 0;
    Folder.Slots = nullptr;
    Folder.SlotCount = 0;
}

void FreeNamedFolders(NamedFolders *Folders) {
    for (int i = 0; i < Folders->Count; ++i) {
        NamedFolder &folder = Folders->Folders[i];
        DropFiles(folder);
        free(folder.Text);
        free(folder.Shown);
    }
    free(Folders->Folders);
    StartNamedFolders(Folders);
}

size_t FolderLength(const char *Name, size_t Length) {
#ifdef __GLIBC__
    // From the end, at the C library's speed: the last backslash, then a slash behind it.
    const char *back = static_cast<const char *>(memrchr(Name, '\\', Length));
    size_t from = back ? static_cast<size_t>(back - Name) + 1 : 0;
    const char *slash = static_cast<const char *>(memrchr(Name + from, '/', Length - from));
    return slash ? static_cast<size_t>(slash - Name) + 1 : from;
#else
    size_t length = Length;
    while (length > 0 && Name[length - 1] != '\\' && Name[length - 1] != '/') --length;
    return length;
#endif
}

static bool SameFolder(const NamedFolder &Folder, const char *Name, size_t FolderLength) {
    return Folder.TextLength == FolderLength && memcmp(Folder.Text, Name, FolderLength) == 0;
}

NamedFolder *FolderOfName(NamedFolders *Folders, const char *Name, size_t FolderLength) {
    if (FolderLength == 0) return nullptr;
    if (Folders->Last >= 0 && SameFolder(Folders->Folders[Folders->Last], Name, FolderLength))
        return &Folders->Folders[Folders->Last];
    for (int i = 0; i < Folders->Count; ++i)
        if (SameFolder(Folders->Folders[i], Name, FolderLength)) {
            Folders->Last = i;
            return &Folders->Folders[i];
        }
    if (!RoomForOneMore(&Folders->Folders, Folders->Count, &Folders->Capacity, 4)) return nullptr;
    char *text = static_cast<char *>(malloc(FolderLength + 1));
    if (!text) return nullptr;
    memcpy(text, Name, FolderLength);
    text[FolderLength] = '\0';
    NamedFolder &folder = Folders->Folders[Folders->Count];
    memset(&folder, 0, sizeof folder);
    folder.Text = text;
    folder.TextLength = FolderLength;
    folder.State = FolderUnread;
    Folders->Last = Folders->Count++;
    return &folder;
}

NamedFolder *LastFolderHolding(NamedFolders *Folders, const char *Name, size_t Length) {
    if (Folders->Last < 0) return nullptr;
    NamedFolder &last = Folders->Folders[Folders->Last];
    size_t folder = last.TextLength;
    if (folder >= Length || memcmp(last.Text, Name, folder) != 0) return nullptr;
    const char *leaf = Name + folder;
    size_t leafLength = Length - folder;
    if (memchr(leaf, '\\', leafLength) || memchr(leaf, '/', leafLength)) return nullptr;
    return &last;
}

const char *ShownFolder(NamedFolder *Folder) {
    if (!Folder->Shown && Folder->TextLength < MAX_PATH) {
        char shown[MAX_PATH];
        memcpy(shown, Folder->Text, Folder->TextLength + 1);
        ShownDirectory(shown);
        size_t length = strlen(shown);
        Folder->Shown = static_cast<char *>(malloc(length + 1));
        if (Folder->Shown) memcpy(Folder->Shown, shown, length + 1);
        Folder->ShownLength = length;
    }
    return Folder->Shown;
}

static char FoldedAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// A name's hash, eight bytes at a time, each byte with its 0x20 bit set so that ASCII letters
// hash alike in either case (so do a few other pairs, which the comparison tells apart): the
// hash walks thousands of names a listing, and a byte at a time it was most of a look-up.
static const uint64_t CaseBits = 0x2020202020202020ull;

static uint64_t MixWord(uint64_t Hash, uint64_t Word) {
    Hash = (Hash ^ (Word | CaseBits)) * 0x9E3779B97F4A7C15ull;
    return Hash ^ (Hash >> 29);
}

static uint64_t Load64(const char *At) {
    uint64_t word;
    memcpy(&word, At, sizeof word);
    return word;
}

// The words a name's hash takes: eight bytes from each multiple of eight, the last eight
// bytes the last word (it may overlap the one before); a name shorter than eight bytes in one
// word, its missing bytes zero. Each takes Step(word); false as soon as one does.
template <typename Take> static bool NameWords(const char *Name, size_t Length, Take Step) {
    if (Length >= 8) {
        size_t at = 0;
        for (; at + 8 < Length; at += 8)
            if (!Step(Load64(Name + at))) return false;
        return Step(Load64(Name + Length - 8));
    }
    uint64_t word = 0;
    if (Length >= 4) {
        uint32_t low, high;
        memcpy(&low, Name, 4);
        memcpy(&high, Name + Length - 4, 4);
        word = low | static_cast<uint64_t>(high) << (8 * (Length - 4));
    } else {
        for (size_t i = 0; i < Length; ++i)
            word |= static_cast<uint64_t>(static_cast<unsigned char>(Name[i])) << (8 * i);
    }
    return Step(word);
}

static uint32_t FinishHash(uint64_t Hash) {
    return static_cast<uint32_t>((Hash * 0xBF58476D1CE4E5B9ull) >> 32);
}

static uint32_t NameHash(const char *Name, size_t Length) {
    uint64_t hash = Length;
    NameWords(Name, Length, [&hash](uint64_t Word) {
        hash = MixWord(hash, Word);
        return true;
    });
    return FinishHash(hash);
}

// Whether any byte of the word is Byte (the word's missing bytes are zero, and Byte is not).
static bool HasByte(uint64_t Word, unsigned char Byte) {
    uint64_t bytes = Word ^ (0x0101010101010101ull * Byte);
    return ((bytes - 0x0101010101010101ull) & ~bytes & 0x8080808080808080ull) != 0;
}

static bool EqualFolded(const char *First, const char *Second, size_t Length) {
    for (size_t i = 0; i < Length; ++i)
        if (FoldedAscii(First[i]) != FoldedAscii(Second[i])) return false;
    return true;
}

// Whether a look-up takes the name as it stands: no wildcards, no stream (":"), not "." or "..",
// and nothing that the look-up trims from a name's end (dots, spaces). Hash is the name's hash
// where it does.
static bool NameAsItStands(const char *Leaf, size_t Length, uint32_t *Hash) {
    if (Length == 0 || Leaf[Length - 1] == '.' || Leaf[Length - 1] == ' ') return false;
    uint64_t hash = Length;
    if (!NameWords(Leaf, Length, [&hash](uint64_t Word) {
            if (HasByte(Word, '*') || HasByte(Word, '?') || HasByte(Word, ':')) return false;
            hash = MixWord(hash, Word);
            return true;
        }))
        return false;
    *Hash = FinishHash(hash);
    return true;
}

// Keeps one entry of the read; false when memory runs out.
static bool KeepFile(NamedFolder &Folder, const WIN32_FIND_DATAA &Data) {
    size_t length = strnlen(Data.cFileName, MAX_PATH - 1);
    uint32_t hash = NameHash(Data.cFileName, length);
    if (!RoomForOneMore(&Folder.Files, Folder.FileCount, &Folder.FileCapacity, 256)) return false;
    size_t needed = Folder.PoolUsed + length + 1;
    if (needed > Folder.PoolCapacity &&
        !GrowBytes(&Folder.Pool, &Folder.PoolCapacity, needed, 4096))
        return false;
    FolderFile &file = Folder.Files[Folder.FileCount++];
    file.Attributes = Data.dwFileAttributes;
    file.Creation = Data.ftCreationTime;
    file.Access = Data.ftLastAccessTime;
    file.Write = Data.ftLastWriteTime;
    file.SizeHigh = Data.nFileSizeHigh;
    file.SizeLow = Data.nFileSizeLow;
    file.Reserved0 = Data.dwReserved0;
    file.Reserved1 = Data.dwReserved1;
    memcpy(file.Alternate, Data.cAlternateFileName, sizeof file.Alternate);
    file.Hash = hash;
    file.Name = Folder.PoolUsed;
    file.Length = length;
    memcpy(Folder.Pool + Folder.PoolUsed, Data.cFileName, length + 1);
    Folder.PoolUsed += length + 1;
    return true;
}

static bool IndexFiles(NamedFolder &Folder) {
    size_t slots = 16;
    while (slots < 2 * static_cast<size_t>(Folder.FileCount)) slots *= 2;
    if (slots > static_cast<size_t>(INT_MAX)) return false;
    Folder.Slots = static_cast<int *>(calloc(slots, sizeof(int)));
    if (!Folder.Slots) return false;
    Folder.SlotCount = static_cast<int>(slots);
    for (int i = 0; i < Folder.FileCount; ++i) {
        uint32_t slot = Folder.Files[i].Hash & static_cast<uint32_t>(slots - 1);
        while (Folder.Slots[slot]) slot = (slot + 1) & static_cast<uint32_t>(slots - 1);
        Folder.Slots[slot] = i + 1;
    }
    return true;
}

// Reads the folder's entries, stopping once it holds far more than the names still to come:
// a big file area is not read whole for a few of its files.
static void ReadFolder(NamedFolder &Folder, unsigned long long NamesAhead) {
    Folder.State = FolderSkipped;
    char pattern[MAX_PATH];
    if (Folder.TextLength + 2 > sizeof pattern) return;
    memcpy(pattern, Folder.Text, Folder.TextLength);
    memcpy(pattern + Folder.TextLength, "*", 2);
    unsigned long long budget = 2 * (NamesAhead + static_cast<unsigned>(Folder.Names)) + 64;
    // Room for about the names to come, so that the entries are not copied as they grow.
    unsigned long long names = NamesAhead + static_cast<unsigned>(Folder.Names) + 64;
    int expected = names < 1u << 20 ? static_cast<int>(names) : 1 << 20;
    void *files = Folder.Files;
    if (GrowArrayTo(&files, sizeof(FolderFile), &Folder.FileCapacity, expected, 256))
        Folder.Files = static_cast<FolderFile *>(files);
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern, &data);
    if (search == INVALID_HANDLE_VALUE) return;
    bool kept = true, whole = true;
    do {
        const char *name = data.cFileName;
        if (name[0] == '.' && (!name[1] || (name[1] == '.' && !name[2]))) continue;
        if (static_cast<unsigned long long>(Folder.FileCount) >= budget) {
            whole = false;
            break;
        }
        kept = KeepFile(Folder, data);
    } while (kept && FindNextFileA(search, &data));
    FindClose(search);
    if (!kept || !IndexFiles(Folder)) {
        DropFiles(Folder);
        return;
    }
    Folder.State = FolderRead;
    Folder.Whole = whole;
}

bool FindInFolder(NamedFolder *Folder, const char *Leaf, size_t Length,
                  unsigned long long NamesAhead, WIN32_FIND_DATAA *Found) {
    size_t length = Length;
    uint32_t hash;
    if (!NameAsItStands(Leaf, length, &hash)) return false;
    ++Folder->Names;
    if (Folder->State == FolderUnread && Folder->Names >= ReadAtNames)
        ReadFolder(*Folder, NamesAhead);
    if (Folder->State != FolderRead) return false;
    // The name as spelled is the file a look-up finds; failing that, a look-up takes a name
    // that differs in case only, which the read answers when it holds exactly one such name
    // and holds every entry.
    uint32_t mask = static_cast<uint32_t>(Folder->SlotCount - 1);
    int exact = -1, folded = -1, foldedCount = 0;
    for (uint32_t slot = hash & mask; Folder->Slots[slot]; slot = (slot + 1) & mask) {
        int number = Folder->Slots[slot] - 1;
        const FolderFile &file = Folder->Files[number];
        if (file.Hash != hash || file.Length != length) continue;
        const char *name = Folder->Pool + file.Name;
        if (memcmp(name, Leaf, length) == 0) {
            exact = number;
            break;
        }
        if (EqualFolded(name, Leaf, length)) {
            folded = number;
            ++foldedCount;
        }
    }
    int number = exact >= 0 ? exact : Folder->Whole && foldedCount == 1 ? folded : -1;
    if (number < 0) return false;
    // Every field but the name's bytes past its end, which nobody reads: 320 bytes cleared a
    // name were a fifth of a look-up.
    const FolderFile &file = Folder->Files[number];
    Found->dwFileAttributes = file.Attributes;
    Found->ftCreationTime = file.Creation;
    Found->ftLastAccessTime = file.Access;
    Found->ftLastWriteTime = file.Write;
    Found->nFileSizeHigh = file.SizeHigh;
    Found->nFileSizeLow = file.SizeLow;
    Found->dwReserved0 = file.Reserved0;
    Found->dwReserved1 = file.Reserved1;
    memcpy(Found->cFileName, Folder->Pool + file.Name, file.Length + 1);
    memcpy(Found->cAlternateFileName, file.Alternate, sizeof file.Alternate);
    return true;
}
