// Small helpers every layer shares: line ends, texts cut to a buffer, the one-placeholder formatter
// for translated texts, path joining and the look whether something exists at a path.
#ifndef BSOPANEL_COMMON_HELPERS_H
#define BSOPANEL_COMMON_HELPERS_H

#include <windows.h>

#include <stddef.h>

// How many bytes of Text fit into Room without splitting a character: all of it when it fits.
// Where texts are UTF-8 (off Windows) a cut goes back to the start of the character it would
// split; a single-byte code page is cut anywhere.
size_t FittingLength(const char *Text, size_t Room);

// Appends Text to what Buffer (Size bytes) holds as a column of Width characters on screen: a
// longer text is cut, a shorter one padded with blanks. Off Windows a character is a UTF-8
// sequence of bytes.
void AppendColumn(char *Buffer, size_t Size, const char *Text, size_t Width);

// Writes Format into Buffer (Size bytes, always terminated) with its one placeholder ("%s" or
// "%d", as Placeholder says) replaced by Argument and "%%" by "%". A language text with other
// or further "%" sequences keeps them as they are, so a faulty translation cannot make the
// formatting read arguments that were never passed. A result that does not fit is cut, never
// inside a character.
void FormatWithOneArgument(char *Buffer, size_t Size, const char *Format, char Placeholder,
                           const char *Argument);

// Formats a count text: Forms holds the language's plural forms split by '|' ("%d try|%d
// tries"; Russian gives three: one, few, many), the form that goes with Count is taken and its
// "%d" replaced by Count. A text without '|' is the one form for every count.
void FormatCountText(char *Buffer, size_t Size, const char *Forms, unsigned long long Count);

// CR, LF, a tab or a blank: what a line end may hold.
bool IsLineEndCharacter(char c);
// The length of a line (Length bytes) once trailing CR, LF, tabs and blanks are stripped; the
// first character always stays.
size_t TrimmedLineLength(const char *Line, size_t Length);
// Strips them from the line in place and returns it.
char *TrimLineEnd(char *Line);

// Joins Directory, Separator and Name into Buffer (Size bytes). False, with Buffer cut, when
// the result would not fit: such a path names nothing a search could find.
bool JoinPath(char *Buffer, size_t Size, const char *Directory, const char *Separator,
              const char *Name);

// The first entry the path names or matches as a pattern (a file or a directory, in any case
// where names are case-blind) into *Found; false when there is none.
bool FindFirstEntry(const char *Path, WIN32_FIND_DATAA *Found);
// Whether FindFirstEntry finds anything.
bool PathExists(const char *Path);

// The path (shorter than MAX_PATH, no wildcards) with every component spelled as the file
// system stores it, separators and "." or ".." as given: a new string (free it), or null when
// some component is missing or is stored under a name of another length.
char *SpelledOnDisk(const char *Path);
// The last folder ExistsAsSpelled found spelled as it is, so that the files of one folder
// look only at their own names. The caller's, for one command: a folder renamed later is
// looked at again by the next one.
struct SpelledFolder {
    char Folder[MAX_PATH];
};

// Whether the file exists under exactly that spelling. Names are case-blind on Windows, so
// there any spelling that reaches it is its own; elsewhere a name in another case is another
// name, one the mailer cannot open. Known (may be null) is the caller's SpelledFolder.
bool ExistsAsSpelled(const char *Path, SpelledFolder *Known);
// Flow files hold names in the mailer's code page: ANSI (Windows mailers and tossers, the
// default) or, with this set, OEM (DOS-era mailers). The file functions take names in the
// process's current one (AreFileApisANSI; the host sets them to OEM). Off Windows every text is
// UTF-8 and passes unchanged. The settings keep this in step with FlowFileCodePage.
extern bool FlowFilesInOem;
// A name read from a flow file, in the file functions' code page, into Buffer (Size bytes);
// false when it does not fit (it is never cut) or cannot be converted.
bool FlowNameToFileName(const char *Name, char *Buffer, size_t Size);
// The same for a name of Length bytes (zero-terminated there), its converted length in *Written:
// a listing converts thousands of names it has measured already.
bool FlowNameToFileName(const char *Name, size_t Length, char *Buffer, size_t Size,
                        size_t *Written);
// A name of the file functions, as a flow file is to hold it; false as above.
bool FileNameToFlowName(const char *Name, char *Buffer, size_t Size);

#endif
