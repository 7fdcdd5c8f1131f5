#include "common/helpers.h"

#include <windows.h>
#ifndef _WIN32
#include <compat_posix.h>
#endif

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static bool IsContinuationByte(char c) {
#ifdef _WIN32
    (void)c;
    return false;
#else
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
#endif
}

// Which of FormCount forms goes with Count: English's two (one, other) or the Slavic three
// (one: 1, 21, 101; few: 2-4, 22-24; many: the rest, 11-14 too).
static int PluralIndex(int FormCount, unsigned long long Count) {
    if (FormCount < 3) return Count == 1 ? 0 : 1;
    unsigned last = static_cast<unsigned>(Count % 10), lastTwo = static_cast<unsigned>(Count % 100);
    if (last == 1 && lastTwo != 11) return 0;
    if (last >= 2 && last <= 4 && (lastTwo < 12 || lastTwo > 14)) return 1;
    return 2;
}

void FormatCountText(char *Buffer, size_t Size, const char *Forms, unsigned long long Count) {
    int formCount = 1;
    for (const char *p = Forms; *p; ++p) formCount += *p == '|';
    int wanted = formCount == 1 ? 0 : PluralIndex(formCount, Count);
    if (wanted >= formCount) wanted = formCount - 1;
    const char *start = Forms;
    for (int i = 0; i < wanted; ++i) start = strchr(start, '|') + 1;
    const char *end = strchr(start, '|');
    size_t length = end ? static_cast<size_t>(end - start) : strlen(start);
    char form[512];
    if (length >= sizeof(form)) length = FittingLength(start, sizeof(form) - 1);
    memcpy(form, start, length);
    form[length] = '\0';
    char digits[24];
    int used = 0;
    do {
        digits[used++] = static_cast<char>('0' + Count % 10);
        Count /= 10;
    } while (Count > 0);
    char number[24];
    for (int i = 0; i < used; ++i) number[i] = digits[used - 1 - i];
    number[used] = '\0';
    FormatWithOneArgument(Buffer, Size, form, 'd', number);
}

bool IsLineEndCharacter(char c) {
    return c == '\r' || c == '\n' || c == '\t' || c == ' ';
}

size_t TrimmedLineLength(const char *Line, size_t Length) {
    while (Length > 1 && IsLineEndCharacter(Line[Length - 1])) --Length;
    return Length;
}

char *TrimLineEnd(char *Line) {
    Line[TrimmedLineLength(Line, strlen(Line))] = '\0';
    return Line;
}

size_t FittingLength(const char *Text, size_t Room) {
    size_t length = strlen(Text);
    if (length <= Room) return length;
    length = Room;
    while (length > 0 && IsContinuationByte(Text[length])) --length;
    return length;
}

void AppendColumn(char *Buffer, size_t Size, const char *Text, size_t Width) {
    if (Size == 0) return;
    size_t used = strlen(Buffer);
    size_t columns = 0;
    // Whole characters only, so that neither the width nor the buffer splits one.
    while (*Text && columns < Width) {
        size_t length = 1;
        while (Text[length] && IsContinuationByte(Text[length])) ++length;
        if (used + length >= Size) break;
        memcpy(Buffer + used, Text, length);
        used += length;
        Text += length;
        ++columns;
    }
    for (; columns < Width && used + 1 < Size; ++columns) Buffer[used++] = ' ';
    Buffer[used] = '\0';
}

void FormatWithOneArgument(char *Buffer, size_t Size, const char *Format, char Placeholder,
                           const char *Argument) {
    if (Size == 0) return;
    size_t used = 0;
    bool substituted = false, cut = false;
    char firstLeft = 0; // the first byte that did not fit
    auto put = [&](const char *Text, size_t Length) {
        size_t room = Size - 1 - used;
        if (Length > room) {
            if (!cut) firstLeft = Text[room];
            cut = true;
            Length = room;
        }
        memcpy(Buffer + used, Text, Length);
        used += Length;
    };
    for (const char *p = Format; *p && !cut; ++p) {
        if (p[0] == '%' && p[1] == '%') {
            put("%", 1);
            ++p;
        } else if (p[0] == '%' && p[1] == Placeholder && !substituted) {
            put(Argument, strlen(Argument));
            substituted = true;
            ++p;
        } else {
            put(p, 1);
        }
    }
    // A cut in the middle of a character leaves its first bytes: take them away too.
    if (cut)
        while (used > 0 && IsContinuationByte(firstLeft)) firstLeft = Buffer[--used];
    Buffer[used] = 0;
}

bool JoinPath(char *Buffer, size_t Size, const char *Directory, const char *Separator,
              const char *Name) {
    // Every listing joins a path for each folder it reads: no formatter where the parts fit.
    size_t directory = strlen(Directory), separator = strlen(Separator), name = strlen(Name);
    if (directory + separator + name < Size) {
        memcpy(Buffer, Directory, directory);
        memcpy(Buffer + directory, Separator, separator);
        memcpy(Buffer + directory + separator, Name, name + 1);
        return true;
    }
    int length = snprintf(Buffer, Size, "%s%s%s", Directory, Separator, Name);
    return length >= 0 && static_cast<size_t>(length) < Size;
}

bool FindFirstEntry(const char *Path, WIN32_FIND_DATAA *Found) {
    HANDLE search = FindFirstFileA(Path, Found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

bool PathExists(const char *Path) {
    WIN32_FIND_DATAA found;
    return FindFirstEntry(Path, &found);
}

char *SpelledOnDisk(const char *Path) {
    size_t length = strlen(Path);
    if (length >= MAX_PATH || strpbrk(Path, "*?") != nullptr) return nullptr;
    char *spelled = static_cast<char *>(malloc(length + 1));
    if (spelled == nullptr) return nullptr;
    memcpy(spelled, Path, length + 1);
    size_t start = length >= 2 && spelled[1] == ':' ? 2 : 0;
    while (start < length) {
        while (start < length && (spelled[start] == '\\' || spelled[start] == '/')) ++start;
        size_t end = start;
        while (end < length && spelled[end] != '\\' && spelled[end] != '/') ++end;
        size_t part = end - start;
        bool dots = (part == 1 && spelled[start] == '.') ||
                    (part == 2 && spelled[start] == '.' && spelled[start + 1] == '.');
        if (part > 0 && !dots) {
            char kept = spelled[end];
            spelled[end] = 0;
            WIN32_FIND_DATAA found;
            bool there = FindFirstEntry(spelled, &found) && strlen(found.cFileName) == part;
            spelled[end] = kept;
            if (!there) {
                free(spelled);
                return nullptr;
            }
            memcpy(spelled + start, found.cFileName, part);
        }
        start = end;
    }
    return spelled;
}

bool ExistsAsSpelled(const char *Path, SpelledFolder *Known) {
#ifdef _WIN32
    (void)Known;
    return PathExists(Path);
#else
    size_t folder = 0, length = 0;
    for (; Path[length]; ++length)
        if (Path[length] == '\\' || Path[length] == '/') folder = length + 1;
    if (Known != nullptr && folder < MAX_PATH && strncmp(Known->Folder, Path, folder) == 0 &&
        Known->Folder[folder] == 0) {
        // The folder was spelled as it is, and has no wildcards.
        if (strpbrk(Path + folder, "*?") != nullptr) return false;
        // The usual answer, a file there under its own name, is one look at the disk; any other
        // asks the look-up, which tells a name in another case.
        if (length < MAX_PATH && CompatExistsAsSpelled(Path)) return true;
        WIN32_FIND_DATAA found;
        return FindFirstEntry(Path, &found) && strcmp(found.cFileName, Path + folder) == 0;
    }
    char *spelled = SpelledOnDisk(Path);
    bool same = spelled != nullptr && strcmp(spelled, Path) == 0;
    free(spelled);
    if (same && Known != nullptr) {
        memcpy(Known->Folder, Path, folder);
        Known->Folder[folder] = 0;
    }
    return same;
#endif
}

bool FlowFilesInOem = false;

// Text from one code page into another through UTF-16; plain ASCII and equal code pages are
// copied. False when the result does not fit Size bytes or the text is no valid From text.
// The text is Length bytes, zero-terminated; *Written the result's length.
static bool Recode(const char *Text, size_t Length, bool FromOem, bool ToOem, char *Buffer,
                   size_t Size, size_t *Written) {
    size_t length = Length;
    bool ascii = true;
    for (size_t i = 0; i < length && ascii; ++i) ascii = static_cast<unsigned char>(Text[i]) < 0x80;
#ifdef _WIN32
    if (!ascii && FromOem != ToOem) {
        int units = MultiByteToWideChar(FromOem ? CP_OEMCP : CP_ACP, 0, Text,
                                        static_cast<int>(length) + 1, nullptr, 0);
        if (units <= 0) return false;
        wchar_t *wide =
            static_cast<wchar_t *>(malloc(static_cast<size_t>(units) * sizeof(wchar_t)));
        if (!wide) return false;
        MultiByteToWideChar(FromOem ? CP_OEMCP : CP_ACP, 0, Text, static_cast<int>(length) + 1,
                            wide, units);
        // A character the target lacks would name another file: no stand-in is taken.
        BOOL substituted = FALSE;
        int bytes =
            WideCharToMultiByte(ToOem ? CP_OEMCP : CP_ACP, WC_NO_BEST_FIT_CHARS, wide, units,
                                Buffer, static_cast<int>(Size), nullptr, &substituted);
        free(wide);
        *Written = bytes > 0 ? static_cast<size_t>(bytes) - 1 : 0;
        return bytes > 0 && !substituted;
    }
#else
    (void)FromOem;
    (void)ToOem;
    (void)ascii;
#endif
    if (length >= Size) return false;
    memcpy(Buffer, Text, length + 1);
    *Written = length;
    return true;
}

bool FlowNameToFileName(const char *Name, char *Buffer, size_t Size) {
    size_t written;
    return FlowNameToFileName(Name, strlen(Name), Buffer, Size, &written);
}

bool FlowNameToFileName(const char *Name, size_t Length, char *Buffer, size_t Size,
                        size_t *Written) {
    return Recode(Name, Length, FlowFilesInOem, AreFileApisANSI() == FALSE, Buffer, Size, Written);
}

bool FileNameToFlowName(const char *Name, char *Buffer, size_t Size) {
    size_t written;
    return Recode(Name, strlen(Name), AreFileApisANSI() == FALSE, FlowFilesInOem, Buffer, Size,
                  &written);
}
