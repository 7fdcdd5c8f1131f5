// The host's 1.x panel-plugin interface (single-byte strings): records, constants, the host's
// function table and the thirteen exports of bsopanel. Every record is packed to 2 bytes.
#ifndef BSOPANEL_PLUGIN_API_H
#define BSOPANEL_PLUGIN_API_H

#include <windows.h>

#include <stddef.h>
#include <stdint.h>

#ifdef _WIN32
#define BSOPANEL_EXPORT
#else
#define BSOPANEL_EXPORT __attribute__((visibility("default")))
#endif

static_assert(sizeof(DWORD) == 4, "DWORD must be 32-bit on every platform");
static_assert(sizeof(int) == 4, "int must be 32-bit on every platform");

#pragma pack(push, 2)

// WIN32_FIND_DATAA in its packed form (318 bytes): the form the host's panel items carry.
// Its fields lie where the system's own record has them, so the first 318 bytes of a
// WIN32_FIND_DATAA copy straight into it.
struct FAR_FIND_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[MAX_PATH];
    char cAlternateFileName[14];
};

struct PluginPanelItem {
    FAR_FIND_DATA FindData;
    DWORD PackSizeHigh;
    DWORD PackSize;
    DWORD Flags;
    DWORD NumberOfLinks;
    char *Description;
    char *Owner;
    char **CustomColumnData;
    int CustomColumnNumber;
    DWORD UserData;
    DWORD Reserved[3];
};

enum FARDIALOGITEMTYPES {
    DI_TEXT = 0,
    DI_VTEXT = 1,
    DI_SINGLEBOX = 2,
    DI_DOUBLEBOX = 3,
    DI_EDIT = 4,
    DI_PSWEDIT = 5,
    DI_FIXEDIT = 6,
    DI_BUTTON = 7,
    DI_CHECKBOX = 8,
    DI_RADIOBUTTON = 9,
};

enum FARDIALOGITEMFLAGS {
    DIF_BOXCOLOR = 0x200,
    DIF_GROUP = 0x400,
    DIF_MOVESELECT = 0x1000,
    DIF_SHOWAMPERSAND = 0x2000,
    DIF_CENTERGROUP = 0x4000,
    DIF_SEPARATOR = 0x10000,
    DIF_HISTORY = 0x40000,
};

struct FarDialogItem {
    int Type;
    int X1, Y1, X2, Y2;
    int Focus;
    union {
        int Selected;
        const char *History;
    };
    DWORD Flags;
    int DefaultButton;
    char Data[512];
};

enum FARMESSAGEFLAGS {
    FMSG_WARNING = 1,
};

enum FILE_CONTROL_COMMANDS {
    FCTL_CLOSEPLUGIN = 0,
    FCTL_GETPANELINFO = 1,
    FCTL_GETANOTHERPANELINFO = 2,
    FCTL_UPDATEPANEL = 3,
    FCTL_UPDATEANOTHERPANEL = 4,
    FCTL_REDRAWPANEL = 5,
    FCTL_REDRAWANOTHERPANEL = 6,
    FCTL_SETPANELDIR = 16,
};

enum PLUGINPANELITEMFLAGS {
    // UserData is the address of a block whose first DWORD is its size in bytes: the host copies
    // the block and frees its copy with the item. Without it UserData is copied as a number.
    PPIF_USERDATA = 0x20000000,
    PPIF_SELECTED = 0x40000000,
};

enum OPENPLUGININFO_FLAGS {
    OPIF_USEFILTER = 0x1,
    OPIF_USESORTGROUPS = 0x2,
    OPIF_USEHIGHLIGHTING = 0x4,
    OPIF_ADDDOTS = 0x8,
    OPIF_REALNAMES = 0x20,
    OPIF_SHOWNAMESONLY = 0x40,
    OPIF_FINDFOLDERS = 0x200,
};

enum OPENPLUGIN_OPENFROM {
    OPEN_DISKMENU = 0,
    OPEN_PLUGINSMENU = 1,
    OPEN_FINDLIST = 2,
    OPEN_SHORTCUT = 3,
    OPEN_COMMANDLINE = 4,
};

enum OPERATION_MODES {
    OPM_SILENT = 1,
    OPM_FIND = 2,
    OPM_VIEW = 4,
    OPM_EDIT = 8,
    OPM_TOPLEVEL = 16,
    OPM_DESCR = 32,
};

enum PROCESSKEY_FLAGS {
    PKF_CONTROL = 1,
    PKF_ALT = 2,
    PKF_SHIFT = 4,
    PKF_PREPROCESS = 0x80000, // or'ed into the key of the first call for every key
};

enum FAR_EVENTS {
    FE_CHANGEVIEWMODE = 0,
    FE_REDRAW = 1,
    FE_IDLE = 2,
    FE_CLOSE = 3,
};

enum OPENPLUGININFO_SORTMODES {
    SM_DEFAULT = 0,
    SM_UNSORTED = 1,
    SM_NAME = 2,
    SM_EXT = 3,
    SM_MTIME = 4,
    SM_CTIME = 5,
    SM_ATIME = 6,
    SM_SIZE = 7,
    SM_DESCR = 8,
    SM_OWNER = 9,
};

// A panel's rectangle: four 32-bit ints on every platform (Windows' RECT has LONGs, which
// are 64-bit on LP64 POSIX).
struct PanelRectangle {
    int left, top, right, bottom;
};

struct PanelInfo {
    int PanelType;
    int Plugin;
    PanelRectangle PanelRect;
    PluginPanelItem *PanelItems;
    int ItemsNumber;
    PluginPanelItem *SelectedItems;
    int SelectedItemsNumber;
    int CurrentItem;
    int TopPanelItem;
    int Visible;
    int Focus;
    int ViewMode;
    char ColumnTypes[80];
    char ColumnWidths[80];
    char CurDir[MAX_PATH];
    int ShortNames;
    int SortMode;
    DWORD Reserved[2];
};

struct PanelMode {
    char *ColumnTypes;
    char *ColumnWidths;
    char **ColumnTitles;
    int FullScreen;
    int DetailedStatus;
    int AlignExtensions;
    int CaseConversion;
    char *StatusColumnTypes;
    char *StatusColumnWidths;
    DWORD Reserved[2];
};

struct KeyBarTitles {
    char *Titles[12];
    char *CtrlTitles[12];
    char *AltTitles[12];
    char *ShiftTitles[12];
};

struct PluginInfo {
    int StructSize;
    DWORD Flags;
    const char *const *DiskMenuStrings;
    int *DiskMenuNumbers;
    int DiskMenuStringsNumber;
    const char *const *PluginMenuStrings;
    int PluginMenuStringsNumber;
    const char *const *PluginConfigStrings;
    int PluginConfigStringsNumber;
    const char *CommandPrefix;
};

struct InfoPanelLine;

struct OpenPluginInfo {
    int StructSize;
    DWORD Flags;
    const char *HostFile;
    const char *CurDir;
    const char *Format;
    const char *PanelTitle;
    const InfoPanelLine *InfoLines;
    int InfoLinesNumber;
    const char *const *DescrFiles;
    int DescrFilesNumber;
    const PanelMode *PanelModesArray;
    int PanelModesNumber;
    int StartPanelMode;
    int StartSortMode;
    int StartSortOrder;
    const KeyBarTitles *KeyBar;
    const char *ShortcutData;
};

// The host's function table. The slots the plugin never calls keep one pointer each.
typedef void(WINAPI *FARAPIUNUSED)(void);
typedef int(WINAPI *FARAPIDIALOG)(int PluginNumber, int X1, int Y1, int X2, int Y2,
                                  const char *HelpTopic, FarDialogItem *Item, int ItemsNumber);
typedef int(WINAPI *FARAPIMESSAGE)(int PluginNumber, DWORD Flags, const char *HelpTopic,
                                   const char *const *Items, int ItemsNumber, int ButtonsNumber);
typedef const char *(WINAPI *FARAPIGETMSG)(int PluginNumber, int MsgId);
typedef int(WINAPI *FARAPICONTROL)(HANDLE hPlugin, int Command, void *Param);
typedef HANDLE(WINAPI *FARAPISAVESCREEN)(int X1, int Y1, int X2, int Y2);
typedef void(WINAPI *FARAPIRESTORESCREEN)(HANDLE hScreen);
typedef int(WINAPI *FARAPIGETPLUGINDIRLIST)(int PluginNumber, HANDLE hPlugin, const char *Dir,
                                            PluginPanelItem **pPanelItem, int *pItemsNumber);
typedef void(WINAPI *FARAPIFREEDIRLIST)(const PluginPanelItem *PanelItem);
typedef int(WINAPI *FARAPIEDITOR)(const char *FileName, const char *Title, int X1, int Y1, int X2,
                                  int Y2, DWORD Flags, int StartLine, int StartChar);
// Viewer flags: without VF_NONMODAL the viewer is modal and returns once the user leaves it.
enum VIEWER_FLAGS {
    VF_NONMODAL = 0x1,
    VF_DELETEONCLOSE = 0x2,
    VF_ENABLE_F6 = 0x4,
    VF_DISABLEHISTORY = 0x8,
};
typedef int(WINAPI *FARAPIVIEWER)(const char *FileName, const char *Title, int X1, int Y1, int X2,
                                  int Y2, DWORD Flags);
typedef int(WINAPI *FARAPICMPNAME)(const char *Pattern, const char *String, int SkipPath);

struct PluginStartupInfo {
    int StructSize;
    char ModuleName[MAX_PATH];
    int ModuleNumber;
    const char *RootKey;
    FARAPIUNUSED Menu;
    FARAPIDIALOG Dialog;
    FARAPIMESSAGE Message;
    FARAPIGETMSG GetMsg;
    FARAPICONTROL Control;
    FARAPISAVESCREEN SaveScreen;
    FARAPIRESTORESCREEN RestoreScreen;
    FARAPIUNUSED GetDirList;
    FARAPIGETPLUGINDIRLIST GetPluginDirList;
    FARAPIFREEDIRLIST FreeDirList;
    FARAPIVIEWER Viewer;
    FARAPIEDITOR Editor;
    FARAPICMPNAME CmpName;
    FARAPIUNUSED CharTable;
    FARAPIUNUSED Text;
    FARAPIUNUSED EditorControl;
};

#pragma pack(pop)

static_assert(sizeof(FAR_FIND_DATA) == 318, "packed find data is 318 bytes");
static_assert(offsetof(WIN32_FIND_DATAA, cAlternateFileName) ==
                  offsetof(FAR_FIND_DATA, cAlternateFileName),
              "packed find data keeps the system record's field offsets");

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(PluginStartupInfo) == 336, "PluginStartupInfo");
static_assert(sizeof(PluginInfo) == 40, "PluginInfo");
static_assert(sizeof(OpenPluginInfo) == 68, "OpenPluginInfo");
static_assert(sizeof(PluginPanelItem) == 366, "PluginPanelItem");
static_assert(sizeof(PanelInfo) == 496, "PanelInfo");
static_assert(sizeof(PanelMode) == 44, "PanelMode");
static_assert(sizeof(KeyBarTitles) == 192, "KeyBarTitles");
static_assert(sizeof(FarDialogItem) == 548, "FarDialogItem");
#endif

// The thirteen exports.
#ifdef __cplusplus
extern "C" {
#endif
BSOPANEL_EXPORT void WINAPI SetStartupInfo(const PluginStartupInfo *Info);
BSOPANEL_EXPORT void WINAPI GetPluginInfo(PluginInfo *Info);
BSOPANEL_EXPORT HANDLE WINAPI OpenPlugin(int OpenFrom, INT_PTR Item);
BSOPANEL_EXPORT void WINAPI ClosePlugin(HANDLE hPlugin);
BSOPANEL_EXPORT int WINAPI GetFindData(HANDLE hPlugin, PluginPanelItem **pPanelItem,
                                       int *pItemsNumber, int OpMode);
BSOPANEL_EXPORT void WINAPI FreeFindData(HANDLE hPlugin, PluginPanelItem *PanelItem,
                                         int ItemsNumber);
BSOPANEL_EXPORT void WINAPI GetOpenPluginInfo(HANDLE hPlugin, OpenPluginInfo *Info);
BSOPANEL_EXPORT int WINAPI SetDirectory(HANDLE hPlugin, const char *Dir, int OpMode);
BSOPANEL_EXPORT int WINAPI ProcessKey(HANDLE hPlugin, int Key, unsigned int ControlState);
BSOPANEL_EXPORT int WINAPI Configure(int ItemNumber);
BSOPANEL_EXPORT int WINAPI Compare(HANDLE hPlugin, const PluginPanelItem *Item1,
                                   const PluginPanelItem *Item2, unsigned int Mode);
BSOPANEL_EXPORT int WINAPI PutFiles(HANDLE hPlugin, PluginPanelItem *PanelItem, int ItemsNumber,
                                    int Move, int OpMode);
BSOPANEL_EXPORT int WINAPI ProcessEvent(HANDLE hPlugin, int Event, void *Param);
#ifdef __cplusplus
}
#endif

// Function pointer types of the exports, for hosts that resolve them from a loaded module.
typedef void(WINAPI *PFN_SetStartupInfo)(const PluginStartupInfo *);
typedef void(WINAPI *PFN_GetPluginInfo)(PluginInfo *);
typedef HANDLE(WINAPI *PFN_OpenPlugin)(int, INT_PTR);
typedef void(WINAPI *PFN_ClosePlugin)(HANDLE);
typedef int(WINAPI *PFN_GetFindData)(HANDLE, PluginPanelItem **, int *, int);
typedef void(WINAPI *PFN_FreeFindData)(HANDLE, PluginPanelItem *, int);
typedef void(WINAPI *PFN_GetOpenPluginInfo)(HANDLE, OpenPluginInfo *);
typedef int(WINAPI *PFN_SetDirectory)(HANDLE, const char *, int);
typedef int(WINAPI *PFN_ProcessKey)(HANDLE, int, unsigned int);
typedef int(WINAPI *PFN_Configure)(int);
typedef int(WINAPI *PFN_Compare)(HANDLE, const PluginPanelItem *, const PluginPanelItem *,
                                 unsigned int);
typedef int(WINAPI *PFN_PutFiles)(HANDLE, PluginPanelItem *, int, int, int);
typedef int(WINAPI *PFN_ProcessEvent)(HANDLE, int, void *);

#endif
