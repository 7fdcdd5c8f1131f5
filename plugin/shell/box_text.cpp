#include "shell/box_text.h"

#include <string.h>

static bool IsSeparator(char Character) {
    return Character == '\\' || Character == '/';
}

void ShortenPath(char *Buffer, size_t Size, const char *Path, size_t Width) {
    if (Size == 0) return;
    if (Width >= Size) Width = Size - 1;
    size_t length = strlen(Path);
    if (length <= Width) {
        memcpy(Buffer, Path, length + 1);
        return;
    }
    const char *name = Path;
    for (const char *p = Path; *p; ++p)
        if (IsSeparator(*p)) name = p + 1;
    // The gap ends in the path's own separator: "/" in a Linux path.
    const char Gap[] = {'.', '.', '.', name > Path && name[-1] == '/' ? '/' : '\\', '\0'};
    const size_t gapLength = sizeof(Gap) - 1;
    size_t nameLength = strlen(name);
    if (Width <= gapLength) {
        memcpy(Buffer, Path + length - Width, Width + 1);
        return;
    }
    if (nameLength + gapLength >= Width) {
        // Even the name is too long: its end stays, with the extension.
        size_t kept = Width - gapLength;
        memcpy(Buffer, Gap, gapLength);
        memcpy(Buffer + gapLength, name + nameLength - kept, kept + 1);
        return;
    }
    // As much of the start as fits, cut after a separator where there is one.
    size_t head = Width - gapLength - nameLength;
    for (size_t i = head; i > 0; --i)
        if (IsSeparator(Path[i - 1])) {
            head = i;
            break;
        }
    memcpy(Buffer, Path, head);
    memcpy(Buffer + head, Gap, gapLength);
    memcpy(Buffer + head + gapLength, name, nameLength + 1);
}

size_t FitLineAtBlank(const char *Text, size_t Width) {
    size_t length = strlen(Text);
    if (length <= Width) return length;
    for (size_t i = Width; i > 0; --i)
        if (Text[i] == ' ') return i;
    return Width;
}
