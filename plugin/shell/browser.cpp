#include "shell/browser.h"

#include "shell/host.h"

#include <stdlib.h>
#include <string.h>

const char NoStartDirectory[] = "**";
char StartDirectory[260] = "**";

// File names, directory names and sizes: what the mailer changes in the outbound.
static const DWORD OutboundChangeFilter =
    FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_SIZE;

BSOBrowser::BSOBrowser(const char *OutboundRoot)
    : Entries(nullptr), EntryCount(0), EntryCapacity(0), Rows(nullptr), Link(),
      ChangeHandle(INVALID_HANDLE_VALUE), Closing(false), FlowFiles(nullptr),
      AskAboutMissing(false), SortModeSeen(0), SortReversed(false), SpareItems(nullptr),
      SpareItemCount(0), ColumnsOut(nullptr), SpareColumns(nullptr), ColumnsOutRoom(0),
      SpareColumnsRoom(0) {
    StartEntryPool(&Strings);
    // A directory that does not fit, or a failed call, leaves nothing to restore rather than
    // a cut-off or stale path.
    DWORD length = GetCurrentDirectoryA(sizeof(StartDirectory), StartDirectory);
    if (length == 0 || length >= sizeof(StartDirectory)) strcpy(StartDirectory, NoStartDirectory);
    CurDir[0] = 0;
    if (OutboundRoot[0]) {
        HANDLE handle = FindFirstChangeNotificationA(OutboundRoot, TRUE, OutboundChangeFilter);
        if (handle) ChangeHandle = handle;
    }
    StartZoneWatches(&Zones);
    if (ChangeHandle != INVALID_HANDLE_VALUE) OpenZoneWatches(&Zones, OutboundRoot);
}

BSOBrowser::~BSOBrowser() {
    if (ChangeHandle != INVALID_HANDLE_VALUE) FindCloseChangeNotification(ChangeHandle);
    ChangeHandle = INVALID_HANDLE_VALUE;
    CloseZoneWatches(&Zones);
    FreePanelRows(this);
    FreeEntries(Entries, EntryCount);
    FreeEntryPool(&Strings);
    free(SpareItems);
    free(SpareColumns);
    FreeFlowCache(&FlowFiles);
    if (strcmp(StartDirectory, NoStartDirectory) != 0) {
        // The marker goes back before the host is called, and the host gets a copy: whatever
        // it does meanwhile cannot consume the directory twice.
        char directory[sizeof(StartDirectory)];
        memcpy(directory, StartDirectory, sizeof(directory));
        strcpy(StartDirectory, NoStartDirectory);
        if (HostInfo.Control) HostInfo.Control(this, FCTL_SETPANELDIR, directory);
    }
}

bool BSOBrowser::IsInsideLink() const {
    return CurDir[0] >= '0' && CurDir[0] <= '9';
}
