// Fails one of the plugin module's file calls (its FileOps table) at a time, the way a disk,
// the permissions or the mailer can make it fail:
//
//   DiskFull           the call fails with ERROR_DISK_FULL
//   ShortWrite         a write takes half of the bytes and reports that (a disk filling up)
//   AccessDenied       the call fails with ERROR_ACCESS_DENIED
//   DirectoryInTheWay  a directory is made where the call's file is to be; the real call then
//                      meets it (where the file exists already, the call is denied instead)
//   VanishedDirectory  the directory that is to hold the call's file is taken away when it is
//                      empty; the real call then meets its absence (where it is not empty, the
//                      call fails with ERROR_PATH_NOT_FOUND)
//
// Arm(fault, n) fails the n-th call (from then on) that the fault applies to: every call for
// DiskFull and AccessDenied, writes of more than one byte for ShortWrite, calls that name a
// path (create, replace, remove, make directory) for the other two. Every other call goes to
// the real Win32 function. The table is put back when the injector goes away.
#ifndef BSOPANEL_TESTS_FAULTS_FAULT_INJECTOR_H
#define BSOPANEL_TESTS_FAULTS_FAULT_INJECTOR_H

#include "bso/text_file.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

enum class Fault { DiskFull, ShortWrite, AccessDenied, DirectoryInTheWay, VanishedDirectory };

const Fault AllFaults[] = {Fault::DiskFull, Fault::ShortWrite, Fault::AccessDenied,
                           Fault::DirectoryInTheWay, Fault::VanishedDirectory};

const char *FaultName(Fault fault);

class FaultInjector {
public:
    using SetError = void(WINAPI *)(DWORD);
    // Takes over the table of the loaded fault-injection module (its exports give the table and
    // its last-error setter): real calls go to the functions the table held, and made-up
    // failures set the module's own last error. Throws when the module lacks the exports.
    explicit FaultInjector(HMODULE module);
    ~FaultInjector();
    FaultInjector(const FaultInjector &) = delete;
    FaultInjector &operator=(const FaultInjector &) = delete;

    // Fails the n-th call the fault applies to, counted from now; n = 0 only counts.
    void Arm(Fault fault, int n);
    void Disarm() { Arm(Fault::DiskFull, 0); }
    bool Fired() const;
    // The call that was failed ("create Z:\...\006400c8.flo"), or "".
    std::string FiredCall() const;
    // Calls since Arm, of any kind.
    int Calls() const;
    // Called before every call that names a path ("create", "replace", "remove", "make
    // directory"), with its path (the target for a replace) and, for a create, its disposition.
    // Returning true refuses the call (ERROR_ACCESS_DENIED) besides any armed fault.
    void
    Watch(std::function<bool(const std::string &call, const std::string &path, DWORD disposition)>
              watcher);

    // Directories the injector made or removed to set a fault up (Win32 paths): they are the
    // test's doing, not the plugin's.
    std::vector<std::string> MadeDirectories() const;
    std::vector<std::string> RemovedDirectories() const;

private:
    FileOperations *table_;
    FileOperations saved_;
};

#endif
