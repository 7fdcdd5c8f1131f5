// Text files of the outbound (flow files, request files) through Win32 file handles, so that
// every platform writes the same bytes: lines are read with CR LF, LF or CR, kept with their
// own line end, added with the file's (CR LF in a new file), and may be of any length. Every write
// is checked; a file is only ever changed by appending whole lines or by replacing it with a
// complete rewritten copy.
#ifndef BSOPANEL_BSO_TEXT_FILE_H
#define BSOPANEL_BSO_TEXT_FILE_H

#include "bso/write_outcome.h"

#include <windows.h>

#include <stddef.h>

// The file system calls of this layer (and of EnsureDirectory). They default to the Win32
// functions; tests replace single entries to inject failures and put them back afterwards.
struct FileOperations {
    HANDLE(WINAPI *Create)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
    BOOL(WINAPI *Read)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
    BOOL(WINAPI *Write)(HANDLE, const void *, DWORD, LPDWORD, LPOVERLAPPED);
    DWORD(WINAPI *Seek)(HANDLE, LONG, LONG *, DWORD);
    BOOL(WINAPI *Flush)(HANDLE);
    BOOL(WINAPI *Close)(HANDLE);
    BOOL(WINAPI *Replace)(LPCSTR, LPCSTR, DWORD); // MoveFileExA
    BOOL(WINAPI *Remove)(LPCSTR);                 // DeleteFileA
    BOOL(WINAPI *MakeDirectory)(LPCSTR, LPSECURITY_ATTRIBUTES);
    BOOL(WINAPI *Truncate)(HANDLE); // SetEndOfFile
};

extern FileOperations FileOps;
// The Win32 functions, to restore FileOps from.
extern const FileOperations Win32FileOps;

// Reads a text file line by line. Open with OpenLineReader, read with ReadLine, always end with
// CloseLineReader (also after a failed open). The fields are the reader's own.
struct LineReader {
    HANDLE File;
    char Chunk[4096];
    char *Buffer; // what is read into: Chunk, or the caller's larger room (UseLineBuffer)
    DWORD BufferSize;
    DWORD ChunkLength;
    DWORD ChunkPosition;
    bool AtEnd;
    char LineEnd[3]; // the line end of the line read last: CR LF, LF, CR or none
    char *Line;      // grows to hold the longest line met
    size_t LineCapacity;
    unsigned long long Left; // bytes still to be read; the end comes there
};

// Opens the file for reading. Returns 1, or 0 when it cannot be opened or is no regular file (a
// FIFO, a device: GetLastError() gives ERROR_BAD_FILE_TYPE), which is never read.
int OpenLineReader(LineReader *Reader, const char *Path);
// The same, reading no further than the first limit bytes: a file longer than that ends there.
int OpenLineReaderUpTo(LineReader *Reader, const char *Path, unsigned long long Limit);
// Reads the file through Buffer (Size bytes, the caller's until the reader is closed) rather
// than the reader's own 4 KiB: a long file in fewer reads. Before the first ReadLine only.
void UseLineBuffer(LineReader *Reader, char *Buffer, DWORD Size);
// Reads the next line. Returns 1 with *line pointing to it and *length its length: the whole
// line however long, without its line end (CR LF, LF or CR alone), zero-terminated, writable, valid
// until the next call. A last line without a line end is a line too. Returns 0 at the end of the
// file and -1 when reading fails or memory runs out (the rest of the file is then unknown).
int ReadLine(LineReader *Reader, char **Line, size_t *Length);
// Closes the file and releases the line storage.
void CloseLineReader(LineReader *Reader);

// Appends one line and a line end to the file, creating it when missing: the line end of the
// file's last line (LF in a file whose lines end in LF), CR LF in a new file or one without any,
// and has it on disk before returning: every write, the flush and the close are checked. A file
// whose last line lacks its line end gets one first, so the new line never joins it. A line that
// holds CR or LF is refused (it would become several entries; ERROR_INVALID_NAME). Done when
// the line was written, else Failed with GetLastError() telling why the file could not be written.
//
// A failed append leaves the file exactly as it was: a file it made is removed, an existing
// one is cut back to its old size, which needs no room on a full disk. Should even that fail,
// what is left at the end is a done line ("~..."), which every mailer and the scanner pass
// over: the line is first written with "~" in place of its first character, which goes in
// only once the rest is on disk.
WriteOutcome AppendLineToFile(const char *Path, const char *Line);

// What an append did, so that it can be taken back.
struct AppendedLine {
    char Path[MAX_PATH];
    bool Created;               // the append made the file
    unsigned long long Size;    // its size before
    unsigned long long NewSize; // and after
};

// AppendLineToFile that also fills *Appended when it is done.
WriteOutcome AppendLineToFileUndoable(const char *Path, const char *Line, AppendedLine *Appended);
// The same for a line of LineLength bytes, which may hold NUL bytes (written as they are).
WriteOutcome AppendLineBytesUndoable(const char *Path, const char *Line, size_t LineLength,
                                     AppendedLine *Appended);

// Takes a successful append back: removes the file if the append made it, else cuts it back to
// its first Size bytes (through a copy that replaces it when it cannot be cut). Done when the
// file is as before; Changed, doing nothing, when it is no longer the size the append left;
// Failed when it could not be put back.
WriteOutcome UndoAppend(const AppendedLine *Appended);

// Done when the file exists afterwards and could be opened for writing: made empty when it was
// missing, an existing one left as it is. Failed with GetLastError() telling why.
WriteOutcome CreateFileIfMissing(const char *Path);

// Decides the fate of one line while a file is rewritten: gets the line without its line end
// (may change it in place and shorten *length) and returns 1 to keep it, 0 to drop it, -1 to
// give up the rewrite.
typedef int (*LineFilter)(char *Line, size_t *Length, void *Context);

// Creates a temporary file for writing, exclusively: never through an existing name or a
// symbolic link planted there. path (MAX_PATH bytes) holds the preferred name; when that is
// taken, a free variant of it ("<name>-1.TMP", ...) is made and left in path. Returns the
// handle, or INVALID_HANDLE_VALUE (path then holds the preferred name again).
HANDLE CreateTemporaryFile(char *Path);

// Rewrites the file through TemporaryPath: writes the kept lines, each with its own line end, to a
// temporary file made by CreateTemporaryFile (TemporaryPath, MAX_PATH bytes, receives the name
// used), checks every write, the flush and the close, and only
// then replaces the file with it in one step (MoveFileExA with MOVEFILE_REPLACE_EXISTING).
// Done when the file was replaced. Failed on any failure (the file cannot be read, the
// temporary file cannot be written, the filter gives up, the replace fails): the file is then
// exactly as before and the temporary file is removed.
WriteOutcome RewriteTextFile(const char *Path, char *TemporaryPath, LineFilter Filter,
                             void *Context);

// The two halves of RewriteTextFile, for a caller that has a second file to change in between.
// WriteRewrittenCopy writes the complete copy and leaves the file alone: done when the copy is
// on disk (ReplaceWithCopy or DiscardCopy must follow), failed when not (no copy is left).
WriteOutcome WriteRewrittenCopy(const char *Path, char *TemporaryPath, LineFilter Filter,
                                void *Context);
// Replaces the file with the copy in one step: done, or failed with the file as before and the
// copy removed.
WriteOutcome ReplaceWithCopy(const char *TemporaryPath, const char *Path);
void DiscardCopy(const char *TemporaryPath);

// Done when the file is gone afterwards (also when it was gone already): deleted, trying a few
// times. Failed when it is still there.
WriteOutcome DeleteFileRetrying(const char *Path);

// Which file a name reaches, as the file system tells: volume and file index (device and inode on
// Linux), whatever the spelling, separators, links or case of the name. With the size and the
// write time, so that a later look tells whether it changed.
struct FileIdentity {
    DWORD Volume;
    unsigned long long Index;
    unsigned long long Size;
    unsigned long long WriteTime;
    bool Regular; // a disk file: not a FIFO or a device
};

// The identity of the file at path: 1, or 0 with GetLastError() when it cannot be opened (missing,
// a directory, a name the system cannot take).
int GetFileIdentity(const char *Path, FileIdentity *Identity);
// The volume, index, size and write time of what GetFileInformationByHandle told (Regular is
// left as it is).
void TakeFileIdentity(const BY_HANDLE_FILE_INFORMATION &Info, FileIdentity *Identity);
// The usual answer of GetFileIdentity followed by ExistsAsSpelled, in one look where the Win32
// layer offers it (off Windows): 1 when the path names a regular file under exactly that
// spelling (with Readable, one the process may read, as GetFileIdentity opens it), with its
// identity. 0 tells nothing more: ask those two.
int GetSpelledFileIdentity(const char *Path, FileIdentity *Identity, bool Readable);
// What GetFileInformationByHandle tells of a file the caller has only just opened; off Windows
// what the open saw, with no look more. Nonzero when told.
int DescribeOpenedFile(HANDLE File, BY_HANDLE_FILE_INFORMATION *Info);
// Whether the two are the same file.
bool SameFile(const FileIdentity *A, const FileIdentity *B);
// Whether the file at path is still that one, of that size and write time.
bool FileUnchanged(const char *Path, const FileIdentity *Seen);

#endif
