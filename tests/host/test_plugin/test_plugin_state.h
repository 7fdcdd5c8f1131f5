// The state of the tests' own plugin module: what the test sets before driving it through the
// host, and what the plugin recorded. Reached through the export TestPluginGetState.
#ifndef BSOPANEL_TESTS_HOST_TEST_PLUGIN_STATE_H
#define BSOPANEL_TESTS_HOST_TEST_PLUGIN_STATE_H

#include "plugin_api.h"

// One item of the plugin's small tree: folder "" is the root, "sub" a folder below it.
struct TestEntry {
    char dir[64];
    char name[64];
    DWORD attributes;
    DWORD size;
    DWORD writeTime; // low half of ftLastWriteTime
    char columns[2][16];
};

// What ProcessKey does with the key it takes.
enum TestKeyAction {
    ActionNone,
    ActionUpdate,       // FCTL_UPDATEPANEL, then FCTL_REDRAWPANEL
    ActionMessage,      // a warning with two buttons
    ActionDialog,       // a dialog with a history field, a check box, two radio buttons
    ActionPanelInfo,    // FCTL_GETPANELINFO and FCTL_GETANOTHERPANELINFO, copied
    ActionEditor,       // the editor on editorFile
    ActionClose,        // FCTL_CLOSEPLUGIN with closeDirectory (or null)
    ActionProgress,     // SaveScreen, a box without buttons, RestoreScreen unless keepProgress
    ActionBadCalls,     // GetMsg beyond the file, a wrong plugin number, bad frees and handles
    ActionOtherDirList, // GetPluginDirList of a directory the panel does not show
    ActionOtherPanel,   // FCTL_UPDATEANOTHERPANEL, then FCTL_REDRAWANOTHERPANEL
    ActionUpdateKeep,   // FCTL_UPDATEPANEL with a non-NULL parameter, then FCTL_REDRAWPANEL
    ActionSetDir,       // FCTL_SETPANELDIR with closeDirectory, then records the panel info
    ActionDialogKinds,  // a dialog with fixed and plain fields and two radio groups, copied back
    ActionMessageFlags, // a message with messageFlags, messageLines and messageButtons
};

struct TestPluginState {
    // Set by the test.
    TestEntry entries[32];
    int entryCount;
    DWORD openFlags;          // OpenPluginInfo.Flags
    int compareReversesNames; // Compare orders SM_NAME by name backwards; -2 for the rest
    int takeKey;              // ProcessKey takes this key with takeState
    unsigned takeState;
    int keyAction;
    char closeDirectory[260]; // ClosePlugin sends it with FCTL_SETPANELDIR when not empty
    int failOpen;             // OpenPlugin gives INVALID_HANDLE_VALUE
    int putFilesResult;
    int idleUpdates; // ProcessEvent(FE_IDLE) updates and redraws the panel
    int keepProgress;
    char refuseDirectory[64]; // SetDirectory answers 0 for this name
    char editorFile[260];

    // Recorded by the plugin.
    PluginStartupInfo startup;
    int startupSize;
    int startupCalls;
    int openCalls, lastOpenFrom, closeCalls, findDataCalls, freeFindDataCalls, outstandingArrays;
    int idleEvents, compareCalls, keyCalls, configureCalls, lastConfigureItem;
    int dirListResult, dirListCount;
    char dirListAsked[64];
    char dirListNames[512]; // "name:flags|name:flags"
    char putNames[512];     // "a|b"
    int putCount, putMove, putOpMode;
    int panelItemsNumber, panelSelectedNumber, panelCurrent, panelPlugin;
    char panelNames[512];    // names as shown, '|' between
    char panelSelected[512]; // names of the selected items
    char panelCurDir[260];
    char panelColumns[64]; // the current item's custom columns, '|' between
    int otherPlugin, otherItemsNumber;
    char otherCurDir[260];
    char otherNames[512];
    int messageResult, dialogResult, editorResult;
    char dialogEdit[512];
    int dialogCheck, dialogRadio1, dialogRadio2;
    char setDirectoryCalls[512]; // "name=result|..."

    // Set by the test (later additions).
    int dirListInFindData; // GetFindData asks GetPluginDirList of its own folder first
    char dirListDir[64];   // ActionOtherDirList asks for this folder ("elsewhere" if empty)
    char flaggedName[64];  // GetFindData gives this item PPIF_SELECTED
    int keepOnClose;       // ProcessEvent(FE_CLOSE) answers 1
    int failFindData;      // GetFindData answers 0
    // Recorded by the plugin (later additions).
    char findModes[256];    // each GetFindData's OpMode, '|' between
    int closeEvents;        // FE_CLOSE events
    int reenteredCloses;    // ClosePlugin calls for an instance that was closing already
    int panelFlaggedNumber; // FCTL_GETPANELINFO: PanelItems with PPIF_SELECTED in Flags
    // ActionDialogKinds: the items as the dialog handed them back.
    FarDialogItem dialogItems[10];
    // ActionMessageFlags: set by the test (lines '|' between).
    DWORD messageFlags;
    char messageLines[256];
    int messageButtons;
    DWORD messageError; // SetLastError before the call
    int viewModeEvents; // FE_CHANGEVIEWMODE events
};

#ifdef __cplusplus
extern "C" {
#endif
BSOPANEL_EXPORT TestPluginState *WINAPI TestPluginGetState(void);
#ifdef __cplusplus
}
#endif
typedef TestPluginState *(WINAPI *PFN_TestPluginGetState)(void);

#endif
