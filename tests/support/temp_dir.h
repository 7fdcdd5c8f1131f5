// A fresh directory for one test, removed with everything in it when the test ends, and the
// helpers to put bytes into files there and read them back.
#ifndef BSOPANEL_TESTS_TEMP_DIR_H
#define BSOPANEL_TESTS_TEMP_DIR_H

#include <filesystem>
#include <string>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    // The path as this platform's file system takes it, of the directory or of a relative
    // name inside it ("a/b.txt").
    std::filesystem::path Native(const std::string &relative = "") const;
    // The same path in the form the Win32 API takes it: "Z:\tmp\..." on POSIX, where drive
    // Z: is "/", the real path on Windows. Relative names may use "/" or "\".
    std::string Win(const std::string &relative = "") const;

    // Creates the file and any missing parent directories.
    void Write(const std::string &relative, const std::string &bytes) const;
    std::string Read(const std::string &relative) const;
    bool Exists(const std::string &relative) const;
    void MakeDir(const std::string &relative) const;

private:
    std::filesystem::path root_;
};

// The Win32 form of a native path (see TempDir::Win).
std::string WinPath(const std::filesystem::path &native);

#endif
