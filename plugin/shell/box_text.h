// Texts for the host's message boxes, which cut a line wider than the screen less 15 columns
// at its end: a path would lose its file name there.
#ifndef BSOPANEL_SHELL_BOX_TEXT_H
#define BSOPANEL_SHELL_BOX_TEXT_H

#include <stddef.h>

// The widest message line the host shows whole on an 80-column screen.
static const size_t MessageLineWidth = 65;

// Path into Buffer, at most Width characters: a longer one keeps its file name and loses the
// middle of its directory ("Z:\var\spool\...\006400c8.flo").
void ShortenPath(char *Buffer, size_t Size, const char *Path, size_t Width);

// How much of Text goes on a box line of Width characters: all of it when it fits, else up to
// the last blank that lets it fit (at Width when there is none). The rest goes on a next line.
size_t FitLineAtBlank(const char *Text, size_t Width);

#endif
