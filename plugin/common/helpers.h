// Small helpers every layer shares: texts cut to a buffer, the one-placeholder formatter for
// translated texts, path joining and the look whether something exists at a path.
#ifndef BSOPANEL_COMMON_HELPERS_H
#define BSOPANEL_COMMON_HELPERS_H

#include <stddef.h>

// How many bytes of Text fit into Room without splitting a character: all of it when it fits.
// Where texts are UTF-8 (off Windows) a cut goes back to the start of the character it would
// split; a single-byte code page is cut anywhere.
size_t FittingLength(const char *Text, size_t Room);

// Writes Format into Buffer (Size bytes, always terminated) with its one placeholder ("%s" or
// "%d", as Placeholder says) replaced by Argument and "%%" by "%". A language text with other
// or further "%" sequences keeps them as they are, so a faulty translation cannot make the
// formatting read arguments that were never passed. A result that does not fit is cut, never
// inside a character.
void FormatWithOneArgument(char *Buffer, size_t Size, const char *Format, char Placeholder,
                           const char *Argument);

// Joins Directory, Separator and Name into Buffer (Size bytes). False, with Buffer cut, when
// the result would not fit: such a path names nothing a search could find.
bool JoinPath(char *Buffer, size_t Size, const char *Directory, const char *Separator,
              const char *Name);

// Whether anything (a file or a directory, in any case where names are case-blind) exists
// under the path or matches it as a pattern.
bool PathExists(const char *Path);

#endif
