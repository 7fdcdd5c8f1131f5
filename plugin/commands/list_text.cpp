#include "commands/list_text.h"

#include "common/helpers.h"
#include "shell/messages.h"

#include <stdio.h>

void FormatCount(char *Buffer, size_t Size, unsigned long long Value) {
    char digits[24];
    int length = 0;
    do {
        digits[length++] = static_cast<char>('0' + Value % 10);
        Value /= 10;
    } while (Value > 0);
    size_t used = 0;
    while (length > 0 && used + 1 < Size) Buffer[used++] = digits[--length];
    if (Size > 0) Buffer[used] = 0;
}

void FormatTotal(char *Buffer, size_t Size, int FilesFormatId, int Files, int BytesFormatId,
                 unsigned long long Bytes) {
    char files[100], bytes[100];
    FormatCountText(files, sizeof(files), GetMessageText(FilesFormatId),
                    static_cast<unsigned long long>(Files));
    FormatCountText(bytes, sizeof(bytes), GetMessageText(BytesFormatId), Bytes);
    snprintf(Buffer, Size, "%s, %s", files, bytes);
}
