// What the fuzz targets share: a check that stops the run with a report (libFuzzer keeps the
// input that caused it), and a scratch directory on a RAM disk where one exists, in which the
// targets that read files write the fuzzer's bytes.
#ifndef BSOPANEL_FUZZ_SUPPORT_H
#define BSOPANEL_FUZZ_SUPPORT_H

#include <stddef.h>
#include <stdint.h>

#include <string>

// Aborts with the failed condition and a note when the condition does not hold.
#define FUZZ_CHECK(condition, note)                                                                \
    do {                                                                                           \
        if (!(condition)) FuzzCheckFailed(#condition, note, __FILE__, __LINE__);                   \
    } while (0)

[[noreturn]] void FuzzCheckFailed(const char *condition, const std::string &note, const char *file,
                                  int line);

// The fuzzer's bytes as a readable text for reports: printable ASCII as it is, the rest escaped.
std::string Printable(const std::string &bytes);

// A directory of the process's own, made on first use and removed at exit. Native is its POSIX
// path, Win its Win32 form ("Z:\dev\shm\...").
struct ScratchDirectory {
    std::string native;
    std::string win;
};
const ScratchDirectory &Scratch();

// Writes the bytes to the file (native path), replacing it. Aborts when that fails: the target
// cannot test anything then.
void WriteNativeFile(const std::string &path, const std::string &bytes);
// The bytes of the file, or false when it cannot be read.
bool ReadNativeFile(const std::string &path, std::string &bytes);
// The names in the scratch directory, sorted.
std::string ScratchListing();

// Takes the next piece of the input: up to the next byte 0xFF (which is consumed), or the rest.
// Lets one input carry several fields.
std::string TakeField(const uint8_t *&data, size_t &size);

#endif
