// The additions of the fault-injection module to the plugin: its file-operation table, so that
// a test can replace single calls of the module's own copy, and its last-error setter, so that
// a failure the test makes up reads, inside the module, like one of its own calls (on Linux the
// module has a Win32 layer of its own, with its own last error).
#include "bso/text_file.h"
#include "plugin_api.h"

extern "C" BSOPANEL_EXPORT FileOperations *WINAPI BsopanelFileOperations() {
    return &FileOps;
}

extern "C" BSOPANEL_EXPORT void WINAPI BsopanelSetLastError(DWORD error) {
    SetLastError(error);
}
