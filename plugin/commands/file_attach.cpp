#include "commands/file_attach.h"

#include "bso/outbound.h"
#include "bso/text_file.h"
#include "commands/command_boxes.h"
#include "commands/nodelist_question.h"
#include "common/helpers.h"
#include "settings/settings.h"
#include "shell/host.h"

#include <string.h>

const DialogTemplateItem AttachDialogTemplate[AttachItemCount] = {
    DialogFrame(3, 1, 42, 14, MsgAttachTitle),
    DialogText(5, 2, 0, MsgAttachAddress),
    DialogAddressField(3),
    DialogSeparator(5, 4),
    DialogRadioButton(5, 5, 40, MsgFlavorImmediate, true),
    DialogRadioButton(5, 6, 40, MsgFlavorCrash, false),
    DialogRadioButton(5, 7, 40, MsgFlavorDirect, false),
    DialogRadioButton(5, 8, 40, MsgFlavorNormal, false),
    DialogRadioButton(5, 9, 40, MsgFlavorHold, false),
    DialogCheckBox(5, 11, 40, MsgAttachDeleteAfterSending),
    DialogSeparator(5, 12),
    DialogButton(13, MsgOk, true),
    DialogButton(13, MsgCancel, false),
};

// The source directory with room for any file name behind it, and the line's prefix in front:
// a full path is never cut, so a line never names another file.
static const size_t FullPathSize = 2 * MAX_PATH + 2;

enum AttachResult { Attached, Refused, FlowFileFailed };

// The file panel item's name as the file functions take it: the host's names are OEM text.
static void FileApiName(const PluginPanelItem *Item, char (&Name)[MAX_PATH]) {
    memcpy(Name, Item->FindData.cFileName, MAX_PATH);
    Name[MAX_PATH - 1] = 0;
    if (AreFileApisANSI()) OemToCharA(Name, Name);
}

// Attaches one file: a file that does not exist or a directory gets its warning; otherwise its
// line goes to the end of the flow file, and a failed write is named with the system's reason.
// A name holding CR or LF would split into several lines: only that file is refused. The line
// is written in the flow files' code page; a name that has no form there is refused too.
static AttachResult AttachOneFile(const char *FlowPath, const char *Directory, const char *Prefix,
                                  const PluginPanelItem *Item) {
    // The host's name in the file functions' code page; a full name keeps no directory.
    char name[MAX_PATH];
    FileApiName(Item, name);
    bool absolute = name[0] == '\\' || (name[0] && name[1] == ':');
    char fullPath[FullPathSize];
    size_t directoryLength = absolute ? 0 : strlen(Directory);
    size_t nameLength = strlen(name);
    memcpy(fullPath, Directory, directoryLength);
    memcpy(fullPath + directoryLength, name, nameLength);
    fullPath[directoryLength + nameLength] = 0;

    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(fullPath, &found);
    if (search != INVALID_HANDLE_VALUE) FindClose(search);
    bool missing = search == INVALID_HANDLE_VALUE;
    if (missing || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        char shown[MAX_PATH];
        ShowWarning(missing ? MsgWarning : MsgAttachTitle,
                    missing ? MsgFileNotFound : MsgIsDirectory,
                    NativePath(fullPath, shown, sizeof(shown)) ? shown : fullPath);
        return Refused;
    }
    // The line names the file as the mailer beside the plugin opens it, in the flow files'
    // code page.
    if (!NativePath(fullPath, fullPath, FullPathSize)) {
        ShowWarning(MsgWarning, MsgFileNotFound, Item->FindData.cFileName);
        return Refused;
    }
    char line[1 + 2 * FullPathSize];
    size_t prefixLength = strlen(Prefix);
    memcpy(line, Prefix, prefixLength);
    if (!FileNameToFlowName(fullPath, line + prefixLength, sizeof(line) - prefixLength)) {
        ShowWriteFailure(MsgAttachTitle, fullPath, ERROR_NO_UNICODE_TRANSLATION);
        return Refused;
    }
    if (AppendLineToFile(FlowPath, line) == WriteDone) return Attached;
    DWORD error = GetLastError();
    ShowWriteFailure(MsgAttachTitle, FlowPath, error);
    return error == ERROR_INVALID_NAME ? Refused : FlowFileFailed;
}

int AttachFiles(BSOBrowser *Browser, PluginPanelItem *PanelItem, int ItemsNumber, int Move,
                int OpMode) {
    DialogTemplateItem templates[AttachItemCount];
    memcpy(templates, AttachDialogTemplate, sizeof(templates));
    templates[AttachDeleteAfterSending].Selected = Move ? 1 : 0;
    if (OpMode & OPM_SILENT) templates[AttachAddress].Type = DI_TEXT;
    FarDialogItem items[AttachItemCount];
    ExpandDialogTemplate(templates, items, AttachItemCount);
    OutboundConfig config;
    LoadOutboundConfig(&config);

    // Inside a link the link itself; at the root nothing is offered.
    if (Browser->IsInsideLink()) FormatAddress(&Browser->Link, items[AttachAddress].Data);
    PresetFlavorButton(&items[AttachFirstFlavor], FlavorCount, Settings.AttachFlavor, false);

    FtnAddress address;
    if (!RunAddressDialog(MsgWarning, "BSOAttach", 46, 16, items, AttachItemCount, AttachAddress,
                          AttachOk, &config.Own, &address))
        return 0;
    if (!ConfirmNodelistStanding(MsgAttachTitle, &address)) return 0;
    LinkLock lock;
    if (!LockLinkForCommand(MsgWarning, config, &address, &lock)) return 0;

    // The host makes the source panel's folder the current directory for the call (both
    // releases; 2.0 answers "the other panel" with this one), and the names are relative to it.
    char directory[MAX_PATH + 1];
    DWORD length = GetCurrentDirectoryA(MAX_PATH, directory);
    if (length == 0 || length >= MAX_PATH) {
        ShowWriteFailure(MsgAttachTitle, config.Root, ERROR_FILENAME_EXCED_RANGE);
        ReleaseLink(&lock);
        return 0;
    }
    if (directory[length - 1] != '\\') strcpy(directory + length, "\\");

    char suffix[] = ".?LO";
    suffix[1] = FlavorRowOf(ChosenFlavor(&items[AttachFirstFlavor], FlavorCount)).Letter;
    const char *prefix = items[AttachDeleteAfterSending].Selected ? "^" : "";
    char flowPath[OutboundPathSize];
    if (!BuildOutboundPath(&address, flowPath, config.Root, suffix, &config.Own)) {
        ShowWriteFailure(MsgAttachTitle, config.Root, ERROR_FILENAME_EXCED_RANGE);
        ReleaseLink(&lock);
        return 0;
    }
    EnsureDirectory(flowPath);

    // A flow file that refused one line refuses the next: one box, not one per file.
    int attached = 0;
    for (int i = 0; i < ItemsNumber; ++i) {
        AttachResult result = AttachOneFile(flowPath, directory, prefix, &PanelItem[i]);
        if (result == Attached) ++attached;
        if (result == FlowFileFailed) break;
    }
    ReleaseLink(&lock);
    if (attached > 0) WarnIfHeld(MsgAttachTitle, config, &address);
    // The host clears the selection of the other panel on success: files that were not
    // attached stay selected.
    return attached > 0 ? 1 : 0;
}
