// The folders that a flow file's lines name files in, each read once when the lines name many
// files there, so that a link with thousands of queued files costs one read of their folder
// rather than a look-up per file. A name is answered from the read only where the answer is the
// file a look-up would find; every other name is left to the look-up.
#ifndef BSOPANEL_SCAN_NAMED_FOLDERS_H
#define BSOPANEL_SCAN_NAMED_FOLDERS_H

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

// One entry of a folder's read: its find data but the name, which lies in the folder's pool.
struct FolderFile {
    DWORD Attributes;
    FILETIME Creation, Access, Write;
    DWORD SizeHigh, SizeLow, Reserved0, Reserved1;
    char Alternate[14];
    uint32_t Hash; // of the name, ASCII letters in one case
    size_t Name;   // where the name starts in the pool
    size_t Length;
};

enum FolderState {
    FolderUnread, // names are looked up one by one so far
    FolderRead,   // the entries read are in Files
    FolderSkipped // unreadable or not worth reading: every name is looked up
};

struct NamedFolder {
    char *Text; // as the lines spell it, up to and with its last separator
    size_t TextLength;
    char *Shown; // as the rows show it; null until the first row asks
    size_t ShownLength;
    int Names; // names asked about so far
    FolderState State;
    bool Whole; // every entry was read, none passed over for the cost
    FolderFile *Files;
    int FileCount;
    int FileCapacity;
    char *Pool;
    size_t PoolUsed, PoolCapacity;
    int *Slots; // file number + 1 at the place of its hash; 0: free
    int SlotCount;
};

// The folders of one flow file; the one asked about last comes first.
struct NamedFolders {
    NamedFolder *Folders;
    int Count;
    int Capacity;
    int Last;
};
void StartNamedFolders(NamedFolders *Folders);
void FreeNamedFolders(NamedFolders *Folders);

// The folder of Name (its first FolderLength bytes), added at its first name; null when memory
// runs out or the name has no folder.
NamedFolder *FolderOfName(NamedFolders *Folders, const char *Name, size_t FolderLength);
// The folder asked about last when Name (Length bytes) names a file right in it, else null.
NamedFolder *LastFolderHolding(NamedFolders *Folders, const char *Name, size_t Length);
// Where the folder ends in Name (Length bytes): after its last separator (0 for none).
size_t FolderLength(const char *Name, size_t Length);
// The folder as a row shows it (ShownDirectory of its text, ShownLength bytes), worked out
// once; null when memory runs out.
const char *ShownFolder(NamedFolder *Folder);
// Answers a name in the folder (Leaf, the part after the folder, Length bytes) from the folder's
// read: true with Found filled when the read holds the file a look-up of the whole name would
// find. The folder is read at the name that makes it worth reading; NamesAhead, about how many
// names the flow file still holds, bounds how many entries that read may take in before it
// stops (only a folder not read yet asks for it). False: look the name up.
bool FindInFolder(NamedFolder *Folder, const char *Leaf, size_t Length,
                  unsigned long long NamesAhead, WIN32_FIND_DATAA *Found);

#endif
