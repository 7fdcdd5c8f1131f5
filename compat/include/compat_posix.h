// What the Win32 layer offers beyond the Win32 API, for the stand-in host and tests on POSIX:
// the translation between Windows-form paths and the POSIX paths they name.
#ifndef BSOPANEL_COMPAT_POSIX_H
#define BSOPANEL_COMPAT_POSIX_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

struct _BY_HANDLE_FILE_INFORMATION;

// "Z:\a\b", "\a\b" or a relative "a\b" to the POSIX path it names, each component that does not
// exist under its exact name resolved without regard to case. Returns 1, or 0 when the path
// names another drive or does not fit.
int CompatToPosixPath(const char *windows_path, char *posix_path, size_t size);
// 1 when a process of that id runs on this machine (what OpenProcess answers on Windows).
int CompatProcessRuns(unsigned long process);
// "/a/b" to "Z:\a\b". Returns 1, or 0 when it does not fit.
int CompatFromPosixPath(const char *posix_path, char *windows_path, size_t size);
// 1 when the path names an entry (a dangling link too) under exactly its spelling: every
// component as given, the last one not changed by reading the path (no trailing dots or blanks
// dropped). One look at the disk; 0 tells nothing more (it may exist in another case).
int CompatExistsAsSpelled(const char *windows_path);
// 1 when the path, spelled as the file system stores every component of it ("Z:\a\b" as
// "/a/b", nothing dropped or resolved), names a regular file (with readable set, one this
// process may read, as CreateFileA opens one); *info as GetFileInformationByHandle would tell.
// No handle: a stat (and a look at the access). 0 tells nothing more (a file in another case, a
// directory, a FIFO, none): ask through a handle.
int CompatRegularFileAsSpelled(const char *windows_path, struct _BY_HANDLE_FILE_INFORMATION *info,
                               int readable);
// 1 with *info as GetFileInformationByHandle would have told when the file handle was opened:
// what its open saw, no look at the disk now (for a caller that has only just opened it). 0 when
// it is no file handle or the open could not describe it: ask GetFileInformationByHandle.
int CompatFileAsOpened(void *file, struct _BY_HANDLE_FILE_INFORMATION *info);

#ifdef __cplusplus
}
#endif

#endif
