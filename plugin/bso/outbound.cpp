#include "bso/outbound.h"

#include <ctype.h>
#include <direct.h>
#include <stdio.h>
#include <string.h>

#ifndef _WIN32
#include <compat_posix.h>
#endif

#include "bso/text_file.h"
#include "common/helpers.h"

const FlavorRow Flavors[FlavorCount] = {
    {Immediate, 'I', 0}, {Crash, 'C', 1}, {Direct, 'D', 2}, {Normal, 'F', 3}, {Hold, 'H', 4},
};

const FlavorRow &FlavorRowOf(int Flavor) {
    for (const FlavorRow &row : Flavors)
        if (row.Value == Flavor) return row;
    return FlavorRowOf(FallbackFlavor);
}

Flavor FlavorAtPosition(int Position, int Count) {
    for (const FlavorRow &row : Flavors)
        if (row.DialogPosition == Position && Position >= 0 && Position < Count) return row.Value;
    return FallbackFlavor;
}
const char EmptyFlavorString[] = ".....";

static bool IsSeparator(char C) {
    return C == '\\' || C == '/';
}

// Each byte's value as an ASCII hex digit (as isxdigit knows them), 16 for any other byte: a
// listing reads the digits of every file name of the outbound, one load a character.
namespace {
struct HexDigitTable {
    unsigned char Value[256];
    constexpr HexDigitTable() : Value() {
        for (int c = 0; c < 256; ++c)
            Value[c] = static_cast<unsigned char>(c >= '0' && c <= '9'   ? c - '0'
                                                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                                         : 16);
    }
};
constexpr HexDigitTable HexDigits;
} // namespace

// The number of count hex digits at text, or false when they are not all hex digits (a NUL is
// none, so the text is read no further than its end).
static inline bool ReadHex(const char *Text, int Count, uint32_t *Value) {
    uint32_t result = 0;
    for (int i = 0; i < Count; ++i) {
        unsigned digit = HexDigits.Value[static_cast<unsigned char>(Text[i])];
        if (digit > 15) return false;
        result = result << 4 | digit;
    }
    *Value = result;
    return true;
}

// Appends text to the buffer at *used; false (buffer unchanged past *used) when it does not fit.
static bool Append(char *Buffer, size_t Size, size_t *Used, const char *Text) {
    size_t length = strlen(Text);
    if (*Used + length >= Size) return false;
    memcpy(Buffer + *Used, Text, length + 1);
    *Used += length;
    return true;
}

char *BuildOutboundPathInCase(const FtnAddress *Address, char *Buffer, size_t BufferSize,
                              const char *Root, const char *Suffix, const FtnAddress *Own,
                              OutboundNameCase NameCase) {
    if (BufferSize == 0) return nullptr;
    bool lower = NameCase == LowerCaseNames;
    // Room for the longest part: a zone of up to eight hex digits, or the point directory.
    char part[32];
    size_t used = 0;
    Buffer[0] = '\0';
    bool fits = Append(Buffer, BufferSize, &used, Root);
    if (fits && Address->zone != Own->zone) {
        // Zones from 4096 up take four digits ("OUT.1000").
        snprintf(part, sizeof part, lower ? ".%03x" : ".%03X",
                 static_cast<unsigned>(Address->zone));
        fits = Append(Buffer, BufferSize, &used, part);
    }
    if (fits) {
        snprintf(part, sizeof part, lower ? "\\%04x%04x" : "\\%04X%04X",
                 static_cast<unsigned>(Address->net), static_cast<unsigned>(Address->node));
        fits = Append(Buffer, BufferSize, &used, part);
    }
    if (fits && Address->point != 0) {
        snprintf(part, sizeof part, lower ? ".pnt\\%08x" : ".PNT\\%08X",
                 static_cast<unsigned>(Address->point));
        fits = Append(Buffer, BufferSize, &used, part);
    }
    if (fits) {
        size_t start = used;
        fits = Append(Buffer, BufferSize, &used, Suffix);
        for (size_t i = start; fits && i < used; ++i) {
            unsigned char c = static_cast<unsigned char>(Buffer[i]);
            Buffer[i] = static_cast<char>(lower ? tolower(c) : toupper(c));
        }
    }
    if (!fits) {
        Buffer[0] = '\0';
        return nullptr;
    }
    return Buffer;
}

char *BuildOutboundPath(const FtnAddress *Address, char *Buffer, const char *Root,
                        const char *Suffix, const FtnAddress *Own) {
    return BuildOutboundPathInCase(Address, Buffer, OutboundPathSize, Root, Suffix, Own,
                                   OutboundCase);
}

// The flavor of an extension letter folded to lower case (| 0x20, which maps exactly the two
// cases of a letter to its lower case); the normal flavor is "n" or, by kind, "f" for flow files
// and "o" for netmail. Any other letter is no flavor.
static Flavor FlavorOfLetter(char Letter, char NormalLetter) {
    switch (Letter) {
    case 'i':
        return Immediate;
    case 'c':
        return Crash;
    case 'd':
        return Direct;
    case 'h':
        return Hold;
    case 'n':
        return Normal;
    default:
        return Letter == NormalLetter ? Normal : NoFlavor;
    }
}

// The kind and flavor of an extension's three letters, compared without regard to case (ASCII,
// as _stricmp does): a listing classifies every file of the outbound. Folded with | 0x20, a
// byte equals a lower-case letter only when it is that letter in either case.
static inline bool ClassifyLetters(char First, char Second, char Third, EntryKind *Kind,
                                   Flavor *FileFlavor) {
    char letter = static_cast<char>(First | 0x20), second = static_cast<char>(Second | 0x20),
         third = static_cast<char>(Third | 0x20);
    if (second == 'l' && third == 'o') {
        *Kind = FlowFile;
        *FileFlavor = FlavorOfLetter(letter, 'f');
    } else if (second == 'u' && third == 't') {
        *Kind = Netmail;
        *FileFlavor = FlavorOfLetter(letter, 'o');
    } else if (letter == 'r' && second == 'e' && third == 'q') {
        *Kind = FileRequest;
        *FileFlavor = Normal;
    } else if (letter == 'b' && second == 's' && third == 'y') {
        *Kind = BusyFlag;
        *FileFlavor = Normal;
    } else {
        *Kind = NoEntryKind;
        *FileFlavor = NoFlavor;
    }
    return *Kind != NoEntryKind && *FileFlavor != NoFlavor;
}

int ClassifyOutboundFile(const char *Extension, EntryKind *Kind, Flavor *FileFlavor) {
    *Kind = NoEntryKind;
    *FileFlavor = NoFlavor;
    if (Extension == nullptr || Extension[0] != '.' || Extension[1] == '\0') return 0;
    const char *e = Extension + 1;
    // Every kind has three letters.
    if (e[1] == '\0' || e[2] == '\0' || e[3] != '\0') return 0;
    return ClassifyLetters(e[0], e[1], e[2], Kind, FileFlavor);
}

void MarkFlavor(char *FlavorString, int Flavor) {
    if (Flavor < Immediate || Flavor > Hold) return;
    const FlavorRow &row = FlavorRowOf(Flavor);
    FlavorString[row.DialogPosition] = row.Letter;
}

int IsLinkBusy(const OutboundConfig &Config, const FtnAddress *Address) {
    char path[OutboundPathSize];
    if (BuildOutboundPath(Address, path, Config.Root, ".BSY", &Config.Own) == nullptr) return 0;
    return PathExists(path) ? 1 : 0;
}

WriteOutcome LockLink(const OutboundConfig &Config, const FtnAddress *Address, LinkLock *Lock) {
    Lock->Held = false;
    Lock->Path[0] = '\0';
    if (BuildOutboundPath(Address, Lock->Path, Config.Root, ".BSY", &Config.Own) == nullptr)
        return WriteFailed;
    // A flag in the other case is the same flag to Windows and to compat's lookup, but not to
    // the exclusive create of every system: look for it first.
    if (PathExists(Lock->Path)) return WriteBusy;
    EnsureDirectory(Lock->Path);
    HANDLE flag = FileOps.Create(Lock->Path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (flag == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        // The mailer made it between the look-up and the create.
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || PathExists(Lock->Path))
            return WriteBusy;
        return WriteFailed;
    }
    // The process id and a line end, as binkd writes its flags: a mailer that reads it sees a
    // running process, not a flag left behind. The flag exists now whatever the write says.
    char process[24];
    int length = snprintf(process, sizeof process, "%lu\n",
                          static_cast<unsigned long>(GetCurrentProcessId()));
    DWORD written = 0;
    FileOps.Write(flag, process, static_cast<DWORD>(length), &written, nullptr);
    FileOps.Close(flag);
    Lock->Held = true;
    return WriteDone;
}

WriteOutcome UnlockLink(LinkLock *Lock) {
    if (!Lock->Held) return WriteDone;
    if (DeleteFileRetrying(Lock->Path) != WriteDone) return WriteFailed;
    Lock->Held = false;
    return WriteDone;
}

void SplitNodeNumber(uint32_t Value, uint32_t *Net, uint32_t *Node) {
    *Net = Value >> 16;
    *Node = Value & 0xFFFF;
}

char *DirectoryPart(char *Path) {
    char *end = Path;
    for (char *position = Path; *position != '\0'; ++position)
        if (IsSeparator(*position)) end = position + 1;
    *end = '\0';
    return Path;
}

// The root of a path: "D:", or "\\server\share" for a UNC path; "" when it has none. Returns
// the root's length.
static size_t RootLength(const char *Path) {
    if (isalpha(static_cast<unsigned char>(Path[0])) && Path[1] == ':') return 2;
    if (IsSeparator(Path[0]) && IsSeparator(Path[1])) {
        const char *server = Path + 2;
        size_t length = strcspn(server, "\\/");
        if (length == 0 || server[length] == '\0') return 0;
        const char *share = server + length + 1;
        size_t shareLength = strcspn(share, "\\/");
        if (shareLength == 0) return 0;
        return static_cast<size_t>(share + shareLength - Path);
    }
    return 0;
}

// Removes ".." components of an absolute directory in place ("\A\B\..\C\" to "\A\C\"); a ".."
// at the root is dropped. The directory starts and ends with a separator.
static void RemoveParentComponents(char *Directory) {
    size_t out = 1;
    size_t in = 1;
    while (Directory[in] != '\0') {
        size_t length = strcspn(Directory + in, "\\/");
        bool parent = length == 2 && Directory[in] == '.' && Directory[in + 1] == '.';
        size_t next = in + length + (Directory[in + length] != '\0' ? 1 : 0);
        if (parent) {
            if (out > 1) { // drop the component before it, keep its leading separator
                --out;
                while (out > 0 && !IsSeparator(Directory[out - 1])) --out;
            }
        } else {
            memmove(Directory + out, Directory + in, next - in);
            out += next - in;
        }
        in = next;
    }
    Directory[out] = '\0';
}

bool NativePath(const char *Path, char *Buffer, size_t Size) {
    if (Size == 0) return false;
#ifdef _WIN32
    size_t length = strnlen(Path, Size);
    bool fits = length < Size;
    if (fits) memmove(Buffer, Path, length + 1);
#else
    bool fits = CompatToPosixPath(Path, Buffer, Size) != 0;
#endif
    if (!fits) Buffer[0] = '\0';
    return fits;
}

void ShownDirectory(char *Directory) {
#ifdef _WIN32
    // Only ASCII letters change: a byte of another code page is no letter here.
    for (char *c = Directory; *c; ++c)
        if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
#else
    if (!Directory[0]) return;
    char native[MAX_PATH];
    if (!NativePath(Directory, native, sizeof native)) return;
    size_t length = strlen(native);
    if (length > 0 && native[length - 1] == '/') --length;
    if (length + 2 > MAX_PATH) return;
    memcpy(Directory, native, length);
    Directory[length] = '/';
    Directory[length + 1] = '\0';
#endif
}

bool ComparablePath(const char *Path, char (&Buffer)[MAX_PATH]) {
    size_t length = strnlen(Path, sizeof(Buffer));
    if (length >= sizeof(Buffer)) return false;
    memcpy(Buffer, Path, length + 1);
    for (char *p = Buffer; *p; ++p)
        if (*p == '/') *p = '\\';
    return NormalizePath(Buffer) != nullptr;
}

char *NormalizePath(char *Path) {
    size_t pathLength = strnlen(Path, MAX_PATH);
    if (pathLength == MAX_PATH) return nullptr;

    char root[MAX_PATH];
    size_t rootLength = RootLength(Path);
    memcpy(root, Path, rootLength);
    root[rootLength] = '\0';
    const char *rest = Path + rootLength;
    const char *name = rest;
    for (const char *position = rest; *position != '\0'; ++position)
        if (IsSeparator(*position)) name = position + 1;
    size_t directoryLength = static_cast<size_t>(name - rest);

    char directory[2 * MAX_PATH];
    size_t used = 0;
    if (rootLength == 0) {
        int drive = _getdrive();
        if (drive < 1 || drive > 26) return nullptr;
        root[0] = static_cast<char>('A' + drive - 1);
        root[1] = ':';
        root[2] = '\0';
        rootLength = 2;
    }
    if (directoryLength == 0 || !IsSeparator(rest[0])) {
        // Relative: the current directory of the drive in front ("X:\dir" from the runtime).
        char current[MAX_PATH];
        const char *currentDirectory = "";
        if (root[1] == ':' && _getdcwd(toupper(static_cast<unsigned char>(root[0])) - 'A' + 1,
                                       current, MAX_PATH) != nullptr) {
            currentDirectory = current;
            if (isalpha(static_cast<unsigned char>(current[0])) && current[1] == ':')
                currentDirectory += 2;
            while (IsSeparator(*currentDirectory)) ++currentDirectory;
        }
        size_t currentLength = strlen(currentDirectory);
        directory[used++] = '\\';
        memcpy(directory + used, currentDirectory, currentLength);
        used += currentLength;
        if (currentLength > 0 && !IsSeparator(directory[used - 1])) directory[used++] = '\\';
    }
    memcpy(directory + used, rest, directoryLength);
    used += directoryLength;
    directory[used] = '\0';
    RemoveParentComponents(directory);

    size_t directoryUsed = strlen(directory);
    size_t nameLength = strlen(name);
    if (rootLength + directoryUsed + nameLength >= MAX_PATH) return nullptr;
    char result[MAX_PATH];
    memcpy(result, root, rootLength);
    memcpy(result + rootLength, directory, directoryUsed);
    memcpy(result + rootLength + directoryUsed, name, nameLength + 1);
    memcpy(Path, result, rootLength + directoryUsed + nameLength + 1);
    return Path;
}

WriteOutcome EnsureDirectory(const char *Path) {
    char normalized[MAX_PATH];
    size_t pathLength = strnlen(Path, MAX_PATH);
    if (pathLength == MAX_PATH) return WriteFailed;
    memcpy(normalized, Path, pathLength + 1);
    if (NormalizePath(normalized) == nullptr) return WriteFailed;

    // The parent: root and directory without its final separator.
    size_t rootLength = RootLength(normalized);
    DirectoryPart(normalized);
    size_t length = strlen(normalized);
    if (length <= rootLength + 1) return WriteDone; // the root of the drive or share
    size_t directoryLength = length - rootLength;
    normalized[rootLength + directoryLength - 1] = '\0';

    WIN32_FIND_DATAA found;
    if (FindFirstEntry(normalized, &found) && found.dwFileAttributes != 0) return WriteDone;
    if (EnsureDirectory(normalized) != WriteDone) return WriteFailed;
    if (FileOps.MakeDirectory(normalized, nullptr)) return WriteDone;
    // The mailer may have made it meanwhile.
    DWORD attributes = GetFileAttributesA(normalized);
    bool made =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    return made ? WriteDone : WriteFailed;
}

// Hands on the folder, then its point folders when asked. False when the walk is to stop.
static bool VisitWithPoints(OutboundFolder &Folder, bool WithPointFolders,
                            OutboundFolderVisitor Visit, void *Context) {
    if (!Visit(Folder, Context)) return false;
    char pattern[MAX_PATH];
    if (!WithPointFolders || !JoinPath(pattern, MAX_PATH, Folder.Path, "\\", "????????.PNT"))
        return true;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return true;
    bool going = true;
    do {
        char path[MAX_PATH];
        OutboundFolder point = Folder;
        point.IsPointFolder = true;
        point.Path = path;
        if (IsPointDirectoryEntry(&found, &point.Node) &&
            JoinPath(path, MAX_PATH, Folder.Path, "\\", found.cFileName))
            going = Visit(point, Context);
    } while (going && FindNextFileA(search, &found));
    FindClose(search);
    return going;
}

bool WalkOutboundFolders(const char *Root, uint32_t OwnZone, bool WithPointFolders,
                         OutboundFolderVisitor Visit, void *Context) {
    OutboundFolder folder = {Root, OwnZone, true, false, 0};
    if (!VisitWithPoints(folder, WithPointFolders, Visit, Context)) return false;
    // Every extension is looked at, so that four digits are found too; the check decides.
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, MAX_PATH, Root, ".*", "")) return true;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return true;
    bool going = true;
    do {
        char path[MAX_PATH];
        folder = {path, 0, false, false, 0};
        if (IsZoneDirectoryEntry(&found, &folder.Zone) &&
            JoinPath(path, MAX_PATH, Root, strchr(found.cFileName, '.'), ""))
            going = VisitWithPoints(folder, WithPointFolders, Visit, Context);
    } while (going && FindNextFileA(search, &found));
    FindClose(search);
    return going;
}

bool ReadNodeName(const char *Name, uint32_t *Number) {
    // The digits first: they stop at a NUL, so no byte past the name's end is read.
    uint32_t value;
    if (!ReadHex(Name, 8, &value) || Name[8] != '.' || !Name[9] || !Name[10] || !Name[11] ||
        Name[12])
        return false;
    *Number = value;
    return true;
}

int IsNodeFileEntry(const WIN32_FIND_DATAA *Entry, EntryKind *Kind, Flavor *FileFlavor,
                    uint32_t *Number) {
    return IsNodeFileEntry(Entry, Kind, FileFlavor, Number, nullptr);
}

int IsNodeFileEntry(const WIN32_FIND_DATAA *Entry, EntryKind *Kind, Flavor *FileFlavor,
                    uint32_t *Number, NodeDigits *Last) {
    if (Entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
    const char *name = Entry->cFileName;
    uint32_t value;
    EntryKind foundKind;
    Flavor foundFlavor;
    // One pass: the name's shape, then its three letters, which that shape has made sure of.
    // Digits read before need only the rest of the shape (the field holds thirteen bytes).
    if (Last && Last->Known && memcmp(name, Last->Digits, 8) == 0) {
        value = Last->Number;
        if (name[8] != '.' || !name[9] || !name[10] || !name[11] || name[12]) return 0;
    } else {
        if (!ReadNodeName(name, &value)) return 0;
        if (Last) {
            memcpy(Last->Digits, name, 8);
            Last->Number = value;
            Last->Known = true;
        }
    }
    if (!ClassifyLetters(name[9], name[10], name[11], &foundKind, &foundFlavor)) return 0;
    if (Kind != nullptr) *Kind = foundKind;
    if (FileFlavor != nullptr) *FileFlavor = foundFlavor;
    if (Number != nullptr) *Number = value;
    return 1;
}

int IsPointDirectoryEntry(const WIN32_FIND_DATAA *Entry, uint32_t *Number) {
    if (!(Entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
    const char *name = Entry->cFileName;
    uint32_t value;
    if (!ReadNodeName(name, &value) || _stricmp(name + 8, ".PNT") != 0) return 0;
    if (Number != nullptr) *Number = value;
    return 1;
}

int IsZoneDirectoryEntry(const WIN32_FIND_DATAA *Entry, uint32_t *Zone) {
    if (!(Entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return 0;
    const char *dot = strchr(Entry->cFileName, '.');
    if (dot == nullptr) return 0;
    // Three digits, or four for the zones from 4096 up, as BuildOutboundPath writes them: a
    // second spelling of a lower zone ("OUT.0003") is not where the plugin or a mailer looks.
    size_t digits = strnlen(dot + 1, 5);
    uint32_t value;
    if ((digits != 3 && digits != 4) || !ReadHex(dot + 1, static_cast<int>(digits), &value) ||
        (digits == 4 && value < 0x1000))
        return 0;
    if (Zone != nullptr) *Zone = value;
    return 1;
}

int IsLinkFileEntry(const WIN32_FIND_DATAA *Entry, EntryKind *Kind, Flavor *FileFlavor) {
    if (Entry->dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
    const char *dot = strchr(Entry->cFileName, '.');
    if (dot == nullptr || strnlen(dot, 5) != 4) return 0;
    EntryKind foundKind;
    Flavor foundFlavor;
    if (!ClassifyOutboundFile(dot, &foundKind, &foundFlavor)) return 0;
    if (Kind != nullptr) *Kind = foundKind;
    if (FileFlavor != nullptr) *FileFlavor = foundFlavor;
    return 1;
}

bool LinkQueueMakesCall(const char *BasePath) {
    char pattern[MAX_PATH];
    if (!JoinPath(pattern, sizeof(pattern), BasePath, ".???", "")) return false;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool calls = false;
    do {
        EntryKind kind;
        Flavor flavor;
        if (IsLinkFileEntry(&found, &kind, &flavor) && (kind == Netmail || kind == FlowFile))
            calls = flavor != Hold;
    } while (!calls && FindNextFileA(search, &found));
    FindClose(search);
    return calls;
}
