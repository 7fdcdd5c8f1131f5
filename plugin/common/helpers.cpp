#include "common/helpers.h"

#include <windows.h>

#include <stdio.h>
#include <string.h>

static bool IsContinuationByte(char c) {
#ifdef _WIN32
    (void)c;
    return false;
#else
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
#endif
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
