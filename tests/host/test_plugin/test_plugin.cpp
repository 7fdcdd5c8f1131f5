// The tests' own plugin: a small fixed tree of items, every call recorded, and keys that make
// it call back into the host. It serves the host tests, not the product.
#include "test_plugin_state.h"

#include <cstdio>
#include <cstring>
#include <string>

static TestPluginState State;

namespace {

struct Instance {
    char curDir[64];
    bool closing;
};

void Append(char *buffer, size_t size, const std::string &text) {
    size_t used = std::strlen(buffer);
    if (used + 1 >= size) return;
    std::snprintf(buffer + used, size - used, "%s%s", used ? "|" : "", text.c_str());
}

void Copy(char *buffer, size_t size, const char *text) {
    std::snprintf(buffer, size, "%s", text ? text : "");
}

char *Duplicate(const char *text) {
    char *copy = new char[std::strlen(text) + 1];
    std::strcpy(copy, text);
    return copy;
}

} // namespace

extern "C" {

TestPluginState *WINAPI TestPluginGetState(void) {
    return &State;
}

void WINAPI SetStartupInfo(const PluginStartupInfo *Info) {
    std::memset(&State.startup, 0, sizeof State.startup);
    size_t size = static_cast<size_t>(Info->StructSize);
    std::memcpy(&State.startup, Info, size < sizeof State.startup ? size : sizeof State.startup);
    State.startupSize = Info->StructSize;
    ++State.startupCalls;
}

void WINAPI GetPluginInfo(PluginInfo *Info) {
    static const char *diskMenu[1];
    static int diskNumbers[1] = {3};
    static const char *pluginMenu[1];
    diskMenu[0] = State.startup.GetMsg(State.startup.ModuleNumber, 1);
    pluginMenu[0] = State.startup.GetMsg(State.startup.ModuleNumber, 0);
    Info->StructSize = sizeof *Info;
    Info->Flags = 0;
    Info->DiskMenuStrings = diskMenu;
    Info->DiskMenuNumbers = diskNumbers;
    Info->DiskMenuStringsNumber = 1;
    Info->PluginMenuStrings = pluginMenu;
    Info->PluginMenuStringsNumber = 1;
    Info->PluginConfigStrings = pluginMenu;
    Info->PluginConfigStringsNumber = 1;
    Info->CommandPrefix = "test";
}

HANDLE WINAPI OpenPlugin(int OpenFrom, INT_PTR) {
    ++State.openCalls;
    State.lastOpenFrom = OpenFrom;
    if (State.failOpen) return INVALID_HANDLE_VALUE;
    Instance *instance = new Instance;
    instance->curDir[0] = 0;
    instance->closing = false;
    return instance;
}

void WINAPI ClosePlugin(HANDLE hPlugin) {
    // The host closes the panel again when ClosePlugin sends FCTL_SETPANELDIR.
    if (static_cast<Instance *>(hPlugin)->closing) {
        ++State.reenteredCloses;
        return;
    }
    static_cast<Instance *>(hPlugin)->closing = true;
    ++State.closeCalls;
    if (State.closeDirectory[0])
        State.startup.Control(hPlugin, FCTL_SETPANELDIR, State.closeDirectory);
    delete static_cast<Instance *>(hPlugin);
}

int WINAPI GetFindData(HANDLE hPlugin, PluginPanelItem **pPanelItem, int *pItemsNumber,
                       int OpMode) {
    Instance *instance = static_cast<Instance *>(hPlugin);
    ++State.findDataCalls;
    Append(State.findModes, sizeof State.findModes, std::to_string(OpMode));
    if (State.failFindData) return 0;
    // The earlier items of this folder, for their flags, as a plugin might ask for them.
    PluginPanelItem *earlier = nullptr;
    int earlierCount = 0;
    if (State.dirListInFindData) {
        State.dirListResult = State.startup.GetPluginDirList(
            State.startup.ModuleNumber, hPlugin, instance->curDir, &earlier, &earlierCount);
        Copy(State.dirListAsked, sizeof State.dirListAsked, instance->curDir);
        State.dirListCount = earlierCount;
        State.dirListNames[0] = 0;
    }
    for (int i = 0; i < earlierCount; ++i)
        Append(State.dirListNames, sizeof State.dirListNames,
               std::string(earlier[i].FindData.cFileName) + ":" + std::to_string(earlier[i].Flags));

    int count = 0;
    for (int i = 0; i < State.entryCount; ++i)
        if (!std::strcmp(State.entries[i].dir, instance->curDir)) ++count;
    PluginPanelItem *items = new PluginPanelItem[count + 1];
    std::memset(items, 0, sizeof(PluginPanelItem) * (count + 1));
    int n = 0;
    for (int i = 0; i < State.entryCount; ++i) {
        const TestEntry &entry = State.entries[i];
        if (std::strcmp(entry.dir, instance->curDir)) continue;
        PluginPanelItem &item = items[n++];
        Copy(item.FindData.cFileName, sizeof item.FindData.cFileName, entry.name);
        item.FindData.dwFileAttributes = entry.attributes;
        item.FindData.nFileSizeLow = entry.size;
        item.FindData.ftLastWriteTime.dwLowDateTime = entry.writeTime;
        for (int e = 0; e < earlierCount; ++e)
            if (State.startup.CmpName(earlier[e].FindData.cFileName, entry.name, 1)) {
                item.Flags = earlier[e].Flags;
                break;
            }
        if (State.flaggedName[0] && !std::strcmp(entry.name, State.flaggedName))
            item.Flags |= PPIF_SELECTED;
        item.CustomColumnData = new char *[2];
        item.CustomColumnData[0] = Duplicate(entry.columns[0]);
        item.CustomColumnData[1] = Duplicate(entry.columns[1]);
        item.CustomColumnNumber = 2;
    }
    if (earlier) State.startup.FreeDirList(earlier);
    *pPanelItem = items;
    *pItemsNumber = n;
    ++State.outstandingArrays;
    return 1;
}

void WINAPI FreeFindData(HANDLE, PluginPanelItem *PanelItem, int ItemsNumber) {
    ++State.freeFindDataCalls;
    --State.outstandingArrays;
    for (int i = 0; i < ItemsNumber; ++i) {
        for (int c = 0; c < PanelItem[i].CustomColumnNumber; ++c)
            delete[] PanelItem[i].CustomColumnData[c];
        delete[] PanelItem[i].CustomColumnData;
    }
    delete[] PanelItem;
}

void WINAPI GetOpenPluginInfo(HANDLE hPlugin, OpenPluginInfo *Info) {
    Instance *instance = static_cast<Instance *>(hPlugin);
    static char title[100];
    static const char *titles[4] = {"Name", "Size", "A", "B"};
    static PanelMode modes[10];
    static KeyBarTitles keyBar;
    std::snprintf(title, sizeof title, " Test:%s ", instance->curDir);
    std::memset(modes, 0, sizeof modes);
    modes[3].ColumnTypes = const_cast<char *>("N,S,C0,C1");
    modes[3].ColumnWidths = const_cast<char *>("0,8,2,2");
    modes[3].ColumnTitles = const_cast<char **>(titles);
    modes[3].CaseConversion = 1;
    std::memset(&keyBar, 0, sizeof keyBar);
    keyBar.Titles[6] = const_cast<char *>("Poll");
    keyBar.ShiftTitles[3] = const_cast<char *>("");
    Info->StructSize = sizeof *Info;
    Info->Flags = State.openFlags;
    Info->CurDir = instance->curDir;
    Info->Format = "Test";
    Info->PanelTitle = title;
    Info->PanelModesArray = modes;
    Info->PanelModesNumber = 10;
    Info->StartPanelMode = '3';
    Info->KeyBar = &keyBar;
}

int WINAPI SetDirectory(HANDLE hPlugin, const char *Dir, int) {
    Instance *instance = static_cast<Instance *>(hPlugin);
    int result = 0;
    if (!std::strcmp(Dir, "\\")) {
        instance->curDir[0] = 0;
        result = 1;
    } else if (!std::strcmp(Dir, "..")) {
        if (instance->curDir[0]) {
            char *slash = std::strrchr(instance->curDir, '\\');
            if (slash)
                *slash = 0;
            else
                instance->curDir[0] = 0;
            result = 1;
        }
    } else if (std::strcmp(Dir, State.refuseDirectory) != 0) {
        for (int i = 0; i < State.entryCount; ++i) {
            const TestEntry &entry = State.entries[i];
            if (!std::strcmp(entry.dir, instance->curDir) && !std::strcmp(entry.name, Dir) &&
                (entry.attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                std::string inside = instance->curDir[0]
                                         ? std::string(instance->curDir) + "\\" + Dir
                                         : std::string(Dir);
                Copy(instance->curDir, sizeof instance->curDir, inside.c_str());
                result = 1;
                break;
            }
        }
    }
    Append(State.setDirectoryCalls, sizeof State.setDirectoryCalls,
           std::string(Dir) + "=" + std::to_string(result));
    return result;
}

static void CopyPanelInfo(HANDLE hPlugin) {
    PanelInfo info;
    State.startup.Control(hPlugin, FCTL_GETPANELINFO, &info);
    State.panelPlugin = info.Plugin;
    State.panelItemsNumber = info.ItemsNumber;
    State.panelSelectedNumber = info.SelectedItemsNumber;
    State.panelCurrent = info.CurrentItem;
    Copy(State.panelCurDir, sizeof State.panelCurDir, info.CurDir);
    State.panelNames[0] = State.panelSelected[0] = State.panelColumns[0] = 0;
    State.panelFlaggedNumber = 0;
    for (int i = 0; i < info.ItemsNumber; ++i) {
        Append(State.panelNames, sizeof State.panelNames, info.PanelItems[i].FindData.cFileName);
        if (info.PanelItems[i].Flags & PPIF_SELECTED) ++State.panelFlaggedNumber;
    }
    for (int i = 0; i < info.SelectedItemsNumber; ++i)
        Append(State.panelSelected, sizeof State.panelSelected,
               info.SelectedItems[i].FindData.cFileName);
    if (info.ItemsNumber > 0) {
        const PluginPanelItem &current = info.PanelItems[info.CurrentItem];
        for (int c = 0; c < current.CustomColumnNumber; ++c)
            Append(State.panelColumns, sizeof State.panelColumns, current.CustomColumnData[c]);
    }
    PanelInfo other;
    State.startup.Control(hPlugin, FCTL_GETANOTHERPANELINFO, &other);
    State.otherPlugin = other.Plugin;
    State.otherItemsNumber = other.ItemsNumber;
    Copy(State.otherCurDir, sizeof State.otherCurDir, other.CurDir);
    State.otherNames[0] = 0;
    for (int i = 0; i < other.ItemsNumber; ++i)
        Append(State.otherNames, sizeof State.otherNames, other.PanelItems[i].FindData.cFileName);
}

static void RunDialog() {
    FarDialogItem items[7];
    std::memset(items, 0, sizeof items);
    const int types[7] = {DI_DOUBLEBOX,   DI_EDIT,   DI_CHECKBOX, DI_RADIOBUTTON,
                          DI_RADIOBUTTON, DI_BUTTON, DI_BUTTON};
    const char *texts[7] = {"Test dialog", "", "&Check", "&One", "&Two", "&OK", "Cancel"};
    for (int i = 0; i < 7; ++i) {
        items[i].Type = types[i];
        Copy(items[i].Data, sizeof items[i].Data, texts[i]);
    }
    items[1].Flags = DIF_HISTORY;
    items[1].History = "Test.History";
    items[1].Focus = 1;
    items[3].Flags = DIF_GROUP;
    items[3].Selected = 1;
    items[5].DefaultButton = 1;
    items[5].Flags = items[6].Flags = DIF_CENTERGROUP;
    State.dialogResult =
        State.startup.Dialog(State.startup.ModuleNumber, -1, -1, 40, 10, "TestTopic", items, 7);
    Copy(State.dialogEdit, sizeof State.dialogEdit, items[1].Data);
    State.dialogCheck = items[2].Selected;
    State.dialogRadio1 = items[3].Selected;
    State.dialogRadio2 = items[4].Selected;
}

// Two fields and two radio groups split by a text: 0 box, 1 fixed field (5 wide), 2 field,
// 3-4 first group, 5 text, 6-7 second group, 8 default button, 9 button.
static void RunDialogKinds() {
    FarDialogItem *items = State.dialogItems;
    std::memset(items, 0, sizeof State.dialogItems);
    const int types[10] = {DI_DOUBLEBOX,   DI_FIXEDIT, DI_EDIT,        DI_RADIOBUTTON,
                           DI_RADIOBUTTON, DI_TEXT,    DI_RADIOBUTTON, DI_RADIOBUTTON,
                           DI_BUTTON,      DI_BUTTON};
    const char *texts[10] = {"Kinds", "12345", "", "A", "B", "-", "C", "D", "OK", "Cancel"};
    for (int i = 0; i < 10; ++i) {
        items[i].Type = types[i];
        items[i].X1 = 5;
        items[i].X2 = 9;
        items[i].Y1 = items[i].Y2 = i;
        Copy(items[i].Data, sizeof items[i].Data, texts[i]);
    }
    // The frame around them, as the host draws a dialog.
    items[0].X1 = 3;
    items[0].X2 = 36;
    items[0].Y2 = 11;
    for (int i = 1; i < 10; ++i) items[i].Y1 = items[i].Y2 = i + 1;
    items[3].Flags = DIF_GROUP;
    items[3].Selected = 1;
    items[6].Flags = items[7].Flags = DIF_MOVESELECT; // the second group is a list
    items[6].Selected = 1;
    items[8].DefaultButton = 1;
    State.dialogResult =
        State.startup.Dialog(State.startup.ModuleNumber, -1, -1, 40, 14, "Kinds", items, 10);
}

static void RunMessageFlags() {
    const char *items[16];
    int count = 0;
    items[count++] = "Flags";
    char *line = State.messageLines;
    while (count < 12) {
        items[count++] = line;
        char *bar = std::strchr(line, '|');
        if (!bar) break;
        *bar = 0;
        line = bar + 1;
    }
    const char *buttons[2] = {"Ok", "Cancel"};
    for (int i = 0; i < State.messageButtons && i < 2; ++i) items[count++] = buttons[i];
    SetLastError(State.messageError);
    State.messageResult = State.startup.Message(State.startup.ModuleNumber, State.messageFlags,
                                                nullptr, items, count, State.messageButtons);
}

int WINAPI ProcessKey(HANDLE hPlugin, int Key, unsigned int ControlState) {
    ++State.keyCalls;
    if (Key != State.takeKey || ControlState != State.takeState) return 0;
    const PluginStartupInfo &host = State.startup;
    switch (State.keyAction) {
    case ActionUpdate:
        host.Control(hPlugin, FCTL_UPDATEPANEL, nullptr);
        host.Control(hPlugin, FCTL_REDRAWPANEL, nullptr);
        break;
    case ActionUpdateKeep:
        host.Control(hPlugin, FCTL_UPDATEPANEL, reinterpret_cast<void *>(1));
        host.Control(hPlugin, FCTL_REDRAWPANEL, nullptr);
        break;
    case ActionSetDir:
        // The panel is gone when the call returns: nothing of the instance is touched after.
        host.Control(hPlugin, FCTL_SETPANELDIR, State.closeDirectory);
        return 1;
    case ActionMessage: {
        const char *items[4] = {"Title", "Line one", "OK", "Cancel"};
        State.messageResult = host.Message(host.ModuleNumber, FMSG_WARNING, nullptr, items, 4, 2);
        break;
    }
    case ActionDialog:
        RunDialog();
        break;
    case ActionDialogKinds:
        RunDialogKinds();
        break;
    case ActionMessageFlags:
        RunMessageFlags();
        break;
    case ActionPanelInfo:
        CopyPanelInfo(hPlugin);
        break;
    case ActionEditor:
        State.editorResult = host.Editor(State.editorFile, "Edit title", 0, 0, -1, -1, 0, 1, 1);
        break;
    case ActionClose:
        host.Control(hPlugin, FCTL_CLOSEPLUGIN,
                     State.closeDirectory[0] ? State.closeDirectory : nullptr);
        break;
    case ActionProgress: {
        HANDLE screen = host.SaveScreen(0, 0, -1, -1);
        const char *items[2] = {"Wait", "Scanning"};
        host.Message(host.ModuleNumber, 0, nullptr, items, 2, 0);
        if (!State.keepProgress) host.RestoreScreen(screen);
        break;
    }
    case ActionBadCalls: {
        host.GetMsg(host.ModuleNumber, 999);
        host.GetMsg(host.ModuleNumber + 1, 0);
        PluginPanelItem stranger;
        host.FreeDirList(&stranger);
        host.Control(&stranger, FCTL_UPDATEPANEL, nullptr);
        HANDLE screen = host.SaveScreen(0, 0, -1, -1);
        host.RestoreScreen(screen);
        host.RestoreScreen(screen);
        break;
    }
    case ActionOtherPanel:
        host.Control(hPlugin, FCTL_UPDATEANOTHERPANEL, nullptr);
        host.Control(hPlugin, FCTL_REDRAWANOTHERPANEL, nullptr);
        break;
    case ActionOtherDirList: {
        PluginPanelItem *items = nullptr;
        int count = -1;
        const char *dir = State.dirListDir[0] ? State.dirListDir : "elsewhere";
        State.dirListResult =
            host.GetPluginDirList(host.ModuleNumber, hPlugin, dir, &items, &count);
        State.dirListCount = count;
        State.dirListNames[0] = 0;
        for (int i = 0; i < count; ++i)
            Append(State.dirListNames, sizeof State.dirListNames, items[i].FindData.cFileName);
        host.FreeDirList(items);
        break;
    }
    default:
        break;
    }
    return 1;
}

int WINAPI Configure(int ItemNumber) {
    ++State.configureCalls;
    State.lastConfigureItem = ItemNumber;
    return ItemNumber == 0 ? 1 : 0;
}

int WINAPI Compare(HANDLE, const PluginPanelItem *Item1, const PluginPanelItem *Item2,
                   unsigned int Mode) {
    ++State.compareCalls;
    if (!State.compareReversesNames || Mode != SM_NAME) return -2;
    int order = std::strcmp(Item1->FindData.cFileName, Item2->FindData.cFileName);
    return order < 0 ? 1 : order > 0 ? -1 : 0;
}

int WINAPI PutFiles(HANDLE, PluginPanelItem *PanelItem, int ItemsNumber, int Move, int OpMode) {
    State.putNames[0] = 0;
    for (int i = 0; i < ItemsNumber; ++i)
        Append(State.putNames, sizeof State.putNames, PanelItem[i].FindData.cFileName);
    State.putCount = ItemsNumber;
    State.putMove = Move;
    State.putOpMode = OpMode;
    return State.putFilesResult;
}

int WINAPI ProcessEvent(HANDLE hPlugin, int Event, void *) {
    if (Event == FE_CLOSE) {
        ++State.closeEvents;
        return State.keepOnClose;
    }
    if (Event == FE_CHANGEVIEWMODE) ++State.viewModeEvents;
    if (Event == FE_IDLE) {
        ++State.idleEvents;
        if (State.idleUpdates) {
            State.startup.Control(hPlugin, FCTL_UPDATEPANEL, nullptr);
            State.startup.Control(hPlugin, FCTL_REDRAWPANEL, nullptr);
        }
    }
    return 0;
}

} // extern "C"
