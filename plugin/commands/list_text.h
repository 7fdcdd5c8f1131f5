// Numbers in the texts of the clear preview and the health report.
#ifndef BSOPANEL_COMMANDS_LIST_TEXT_H
#define BSOPANEL_COMMANDS_LIST_TEXT_H

#include <stddef.h>

// The number in decimal, on every platform alike (no "%llu" in the Windows runtime's printf).
void FormatCount(char *Buffer, size_t Size, unsigned long long Value);

// "<files text>, <bytes text>": each message id's one %d replaced by its number.
void FormatTotal(char *Buffer, size_t Size, int FilesFormatId, int Files, int BytesFormatId,
                 unsigned long long Bytes);

#endif
