// How the host presents the panel. The host keeps pointers into the answer until it asks again,
// so everything the answer points to is process-wide storage, rebuilt in full on every call for
// the instance that asks; message texts are fetched anew each time so a changed language shows.
#include "panel/panel_info.h"

#include "common/helpers.h"
#include "settings/settings.h"
#include "shell/messages.h"

#include <string.h>

static const DWORD RootPanelFlags =
    OPIF_USEFILTER | OPIF_USESORTGROUPS | OPIF_USEHIGHLIGHTING | OPIF_ADDDOTS | OPIF_FINDFOLDERS;
// Inside a link the rows are real files, named with their full paths.
static const DWORD LinkPanelFlags = RootPanelFlags | OPIF_REALNAMES | OPIF_SHOWNAMESONLY;

static char PanelTitle[100];

// Name, size, busy mark, request mark, netmail flavors, flow flavors, date, time: every defined
// view mode takes as many of these as it has columns, from the first.
static char *ColumnTitles[8];

static PanelMode PanelModes[10];

// View mode 6 at the root: who has how much waiting since when, and what the mailer says.
// Address, queued bytes, age, busy and request marks, flavors, the mailer's state. The host
// drops trailing columns that do not fit a half panel (38 columns on an 80-column console),
// so the mode is full screen, and the status line shows the mailer's state of the link under
// the cursor whole, whatever the width.
static char *QueueColumnTitles[8];
static char RootQueueTypes[] = "NR,C5,C6,C0,C1,C2,C3,C7";
static char RootQueueWidths[] = "13,7,6,1,1,5,5,0";
static char RootQueueStatusTypes[] = "NR,C7";
static char RootQueueStatusWidths[] = "13,0";
static const int QueueTitleIds[8] = {
    MsgColumnName,    MsgColumnQueued,         MsgColumnAge,         MsgColumnBusy,
    MsgColumnRequest, MsgColumnNetmailFlavors, MsgColumnFlowFlavors, MsgColumnMailer};

// View mode 7 at the root: who each link is by the nodelist, and whether it is Down, Hold or
// not listed; the status line shows the link's system name, sysop and location whole.
static char *NodelistColumnTitles[5];
static char RootNodelistTypes[] = "NR,C9,O,C5,C8";
static char RootNodelistWidths[] = "13,0,0,7,8";
static char RootNodelistStatusTypes[] = "NR,Z";
static char RootNodelistStatusWidths[] = "13,0";
static const int NodelistTitleIds[5] = {MsgColumnName, MsgColumnSystem, MsgColumnSysop,
                                        MsgColumnQueued, MsgColumnNodelist};

// Modes 3 and 4 by view (root first): inside a link the rows are full paths, shown without
// their directory part.
static char RootDetailedTypes[] = "NR,SC,C0,C1,C2,C3";
static char RootBriefTypes[] = "NR,SC,C0";
static char LinkDetailedTypes[] = "NO,SC,C0,C1,C2,C3";
static char LinkBriefTypes[] = "NO,SC,C0";
static char *const ColumnTypesByView[2][2] = {{RootDetailedTypes, RootBriefTypes},
                                              {LinkDetailedTypes, LinkBriefTypes}};
static char DetailedWidths[] = "0,8,1,1,5,5";
static char BriefWidths[] = "0,8,1";
static char FullScreenTypes[] = "NR,SC,C0,C1,C2,C3,D,T";
static char FullScreenWidths[] = "0,8,1,1,5,5,0,0";

// The host only reads the texts; its table type just lacks the const.
static char *Label(int Id) {
    return const_cast<char *>(GetMessageText(Id));
}

// " <panel name>: <directory> ", at the root " <panel name>: ": a blank after the colon, so that
// the title reads alike at the root and in a link. The directory is what tells two plugin panels
// apart, so a long panel name gives way first; whatever still does not fit is cut at the end.
static void BuildPanelTitle(const char *Directory) {
    const char *name = GetMessageText(MsgPanelFormat);
    const size_t room = sizeof(PanelTitle) - 1;
    size_t fixed = strlen(Directory) + 4; // the colon and three blanks
    size_t nameLength = FittingLength(name, fixed < room ? room - fixed : 0);
    size_t used = 0;
    PanelTitle[used++] = ' ';
    memcpy(PanelTitle + used, name, nameLength);
    used += nameLength;
    PanelTitle[used++] = ':';
    PanelTitle[used++] = ' ';
    size_t directoryLength = FittingLength(Directory, room - used);
    memcpy(PanelTitle + used, Directory, directoryLength);
    used += directoryLength;
    if (directoryLength > 0 && used < room) PanelTitle[used++] = ' ';
    PanelTitle[used] = 0;
}

static void FillMode(PanelMode &Mode, char *Types, char *Widths, int FullScreen) {
    memset(&Mode, 0, sizeof(Mode));
    Mode.ColumnTypes = Types;
    Mode.ColumnWidths = Widths;
    Mode.ColumnTitles = ColumnTitles;
    Mode.FullScreen = FullScreen;
    Mode.CaseConversion = 1;
}

void DescribePanel(BSOBrowser *Browser, OpenPluginInfo *Info) {
    const int view = Browser->IsInsideLink() ? 1 : 0;
    Info->StructSize = sizeof(*Info);
    BuildPanelTitle(Browser->CurDir);
    Info->PanelTitle = PanelTitle;
    Info->Flags = view ? LinkPanelFlags : RootPanelFlags;
    Info->HostFile = nullptr;
    Info->CurDir = Browser->CurDir;
    Info->Format = GetMessageText(MsgPanelFormat);
    Info->InfoLines = nullptr;
    Info->InfoLinesNumber = 0;
    Info->DescrFiles = nullptr;
    Info->DescrFilesNumber = 0;

    for (int i = 0; i < 8; ++i) ColumnTitles[i] = Label(MsgColumnName + i);
    FillMode(PanelModes[3], ColumnTypesByView[view][0], DetailedWidths, 0);
    FillMode(PanelModes[4], ColumnTypesByView[view][1], BriefWidths, 0);
    FillMode(PanelModes[5], FullScreenTypes, FullScreenWidths, 1);
    // Inside a link mode 6 shows what mode 3 shows: the queue columns belong to links.
    if (view) {
        FillMode(PanelModes[6], LinkDetailedTypes, DetailedWidths, 0);
    } else {
        for (int i = 0; i < 8; ++i) QueueColumnTitles[i] = Label(QueueTitleIds[i]);
        FillMode(PanelModes[6], RootQueueTypes, RootQueueWidths, 1);
        PanelModes[6].ColumnTitles = QueueColumnTitles;
        PanelModes[6].StatusColumnTypes = RootQueueStatusTypes;
        PanelModes[6].StatusColumnWidths = RootQueueStatusWidths;
    }
    // Inside a link mode 7 is the host's own: the rows there are files, not nodes.
    memset(&PanelModes[7], 0, sizeof(PanelModes[7]));
    if (!view) {
        for (int i = 0; i < 5; ++i) NodelistColumnTitles[i] = Label(NodelistTitleIds[i]);
        FillMode(PanelModes[7], RootNodelistTypes, RootNodelistWidths, 1);
        PanelModes[7].ColumnTitles = NodelistColumnTitles;
        PanelModes[7].StatusColumnTypes = RootNodelistStatusTypes;
        PanelModes[7].StatusColumnWidths = RootNodelistStatusWidths;
    }
    Info->PanelModesArray = PanelModes;
    Info->PanelModesNumber = 10;

    // Only a digit names a view mode: a stored value outside 0 to 9 leaves the host's mode.
    if (!Settings.NoChangePanelMode && Settings.LinksPanelMode >= 0 && Settings.LinksPanelMode <= 9)
        Info->StartPanelMode = '0' + Settings.LinksPanelMode;

    Info->KeyBar = nullptr; // the key table's, given by the caller
}
