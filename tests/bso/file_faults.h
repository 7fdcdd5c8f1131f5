// Failures injected into the plugin's file calls (FileOps): the chosen call fails on its n-th
// use from now on, every other call goes to the real Win32 function. Restores FileOps when
// the object goes away. Also records the directories the plugin creates.
#ifndef BSOPANEL_TESTS_BSO_FILE_FAULTS_H
#define BSOPANEL_TESTS_BSO_FILE_FAULTS_H

#include <string>
#include <vector>

enum class FileCall {
    None,
    Create,
    Read,
    Write,
    ShortWrite,
    Seek,
    Flush,
    Close,
    Replace,
    MakeDirectory
};

const char *FileCallName(FileCall call);

struct FileFaults {
    FileFaults();
    ~FileFaults();
    FileFaults(const FileFaults &) = delete;
    FileFaults &operator=(const FileFaults &) = delete;

    // Fails the n-th call (1 = the next) of the kind; with a path part, only calls of Create
    // whose path ends in it count.
    void FailAt(FileCall call, int n, const std::string &createPathSuffix = "");
    // Whether the armed failure happened.
    bool Triggered() const;

    std::vector<std::string> CreatedDirectories;
};

#endif
