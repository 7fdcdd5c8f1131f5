// Every user-visible text is a message id that the host turns into the user's language from the
// .lng files beside the module. Dialogs are built from compact templates of such ids.
#ifndef BSOPANEL_SHELL_MESSAGES_H
#define BSOPANEL_SHELL_MESSAGES_H

#include "plugin_api.h"

#include <stdint.h>

// The language files hold one text per id, in this order.
enum MessageId {
    MsgOk = 0,          // first button of every dialog and box: accept, go on
    MsgCancel = 1,      // second button: cancel, stop
    MsgWarning = 2,     // title of the general warning and error boxes
    MsgPluginMenu = 3,  // plugins menu and configuration menu entry
    MsgPanelFormat = 4, // panel format name, start of the panel title
    MsgDisksMenu = 5,   // disks menu entry, also the command prefix
    MsgKeyRequest = 6,  // key bar: file request
    MsgKeyPoll = 7,     // key bar: poll (root)
    MsgKeyFlavor = 8,   // key bar: flavor change (inside a link)
    MsgKeyRemove = 9,   // key bar: removal (inside a link)
    MsgScanTitle = 10,
    MsgScanProgressFormat = 11, // one %s: the instance's CurDir
    MsgColumnName = 12,
    MsgColumnSize = 13,
    MsgColumnBusy = 14,
    MsgColumnRequest = 15,
    MsgColumnNetmailFlavors = 16,
    MsgColumnFlowFlavors = 17,
    MsgColumnDate = 18,
    MsgColumnTime = 19,
    MsgFlavorTitle = 20,
    MsgAttachTitle = 21,
    MsgAttachAddress = 22,
    MsgAttachDeleteAfterSending = 23,
    MsgPollTitle = 24,
    MsgPollAddress = 25,
    MsgRequestTitle = 26,
    MsgRequestAddress = 27,
    MsgRemoveTitle = 28,
    MsgRemoveQuestionFormat = 29, // one %s: a file name or the text of MsgRemoveCountFormat
    MsgDropMissingLine = 30,
    MsgFlavorImmediate = 31,
    MsgFlavorCrash = 32,
    MsgFlavorDirect = 33,
    MsgFlavorNormal = 34,
    MsgFlavorHold = 35,
    MsgFileNotFound = 36,
    MsgLineNotRemoved = 37,
    MsgIsDirectory = 38,
    MsgBadAddress = 39,
    MsgFileExists = 40,
    MsgLinkBusy = 41,
    MsgGoOn = 42,
    MsgRemoveCountFormat = 43, // one %d: the number of selected items
    MsgConfigTitle = 44,
    MsgConfigAddToDisksMenu = 45,
    MsgConfigDisksMenuDigit = 46,
    MsgConfigOutboundPath = 47,
    MsgConfigAddress = 48,
    MsgConfigModesAndFlavors = 49,
    MsgConfigViewModes = 50,
    MsgConfigLinksMode = 51,
    MsgConfigFilesMode = 52,
    MsgConfigNoChangeMode = 53,
    MsgConfigAutoRefresh = 54,
    MsgConfigPollFlavor = 55,
    MsgConfigAttachFlavor = 56,
    MsgFlowFileUnreadable = 57,     // description of a flow file's row: it could not be read
    MsgPointFolderUnreadable = 58,  // description of a node's row: its point folder is unreadable
    MsgOutboundPathTooLong = 59,    // box line over the stored outbound path
    MsgNetmailNotRemoved = 60,      // F7 on a netmail packet: it stays
    MsgBusyFlagNotRemoved = 61,     // F7 on the busy flag: it is the mailer's
    MsgNotRemoved = 62,             // a poll or request file that could not be deleted
    MsgPatternLineSendsOthers = 63, // a file queued only through a pattern line
    MsgPatternLineWhole = 64,       // ... only the whole line moves or goes
    // Failed writes and refused addresses.
    MsgCannotWrite = 65,       // then the file's path and the system's reason
    MsgSystemErrorFormat = 66, // one %d: the error code, when the system has no text for it
    MsgAddressForm = 67,       // what an address looks like, under a refused one
    MsgOwnAddressInvalid = 68, // the stored own address, then MsgDefaultAddressUsed
    MsgDefaultAddressUsed = 69,
    // Backlog, the mailer's state and the actions on it.
    MsgColumnQueued = 70,      // the queued bytes of a link (root, view mode 6)
    MsgColumnAge = 71,         // days since the oldest item was queued
    MsgColumnMailer = 72,      // the mailer's state of the link
    MsgStatusHeldFormat = 73,  // one %s: date and time the hold ends
    MsgStatusTriesFormat = 74, // one %d: failed calls; the last result follows
    MsgStatusCalling = 75,     // a call flag (.CSY) is set
    MsgStatusStaleFormat = 76, // one %s: the busy flag's age
    MsgKeyHold = 77,           // key bar: hold (root)
    MsgKeyRelease = 78,        // key bar: release the hold (root)
    MsgKeyResetTries = 79,     // key bar: reset the failed-call counter (root)
    MsgKeyStaleBusy = 80,      // key bar: remove a stale busy flag (root)
    MsgHoldTitle = 81,
    MsgHoldPrompt = 82,
    MsgHoldBadTime = 83, // under the text that was refused
    MsgReleaseTitle = 84,
    MsgReleaseQuestionFormat = 85, // one %s: an address or the text of MsgLinkCountFormat
    MsgResetTitle = 86,
    MsgResetQuestionFormat = 87, // one %s: an address or the text of MsgLinkCountFormat
    MsgStaleBusyTitle = 88,
    MsgStaleBusyQuestionFormat = 89, // one %s: the link's address
    MsgBusyAgeFormat = 90,           // one %s: the flag's age
    MsgBusyProcessFormat = 91,       // one %s: the process id the flag names
    MsgBusyNoProcess = 92,
    MsgBusyNotStale = 93,    // then the address and the age
    MsgNoBusyFlag = 94,      // then the address
    MsgLinkCountFormat = 95, // one %d: the number of selected links
    MsgConfigAgeMark = 96,   // settings: the age mark in days
    MsgConfigStaleBusy = 97, // settings: the stale busy flag age
    // Clearing a link's queue and the outbound health check.
    MsgKeyClear = 98, // key bar: clear the queue (root, F8)
    MsgKeyCheck = 99, // key bar: health check (root, Shift+F7)
    MsgClearTitle = 100,
    MsgClearQuestionFormat = 101, // one %s: an address or the text of MsgClearLinksFormat
    MsgClearLinksFormat = 102,    // one %d: the number of selected links
    MsgClearKeepNetmail = 103,
    MsgClearKeepCaretFiles = 104,
    MsgClearGo = 105,
    MsgMore = 106, // next page of a long list
    MsgClearDelete = 107,
    MsgClearTruncate = 108,
    MsgClearLeave = 109,
    MsgClearKeep = 110,
    MsgClearGone = 111,
    MsgClearTotalFormat = 112,   // one %d: the files that go
    MsgClearBytesFormat = 113,   // one %d: their bytes
    MsgClearNothing = 114,       // then the address
    MsgClearFailed = 115,        // then the files not handled
    MsgMoreFailuresFormat = 116, // one %d: the failures not shown
    MsgHealthTitle = 117,
    MsgHealthClean = 118, // then the outbound's path
    MsgHealthOrphanBundle = 119,
    MsgHealthOldEmptyBundle = 120,
    MsgHealthMissingFile = 121,
    MsgHealthNotAName = 122,
    MsgHealthUnknownName = 123,
    MsgHealthWrongZone = 124,
    MsgHealthFix = 125,
    MsgHealthAgeSizeFormat = 126, // %s the size in bytes, %d the age in days
    MsgHealthAttachTitle = 127,
    MsgHealthAttachAddress = 128,
    MsgHealthTakeOutLine = 129,  // then the line and its flow file
    MsgHealthRemoveBundle = 130, // then the bundle
    MsgHealthNoFix = 131,        // then the file
    MsgHealthFixFailed = 132,    // then the file
    MsgConfigOldEmptyDays = 133,
    MsgClearWhyRelative = 134,
    MsgClearWhyOtherLinkFormat = 135, // one %s: the other link
    MsgClearWhyOwnFile = 136,
    MsgClearWhyNotAFile = 137,
    MsgClearWhyCannotOpen = 138,
    MsgClearWhyFlowStays = 139,
    MsgHealthRelativeLine = 140,
    MsgHealthWrongCase = 141,
    MsgHealthNotAFile = 142,
    MsgHealthExactNames = 143, // then the line
    MsgHealthFixCase = 144,    // then the file's own name
    MsgFileMissingRow = 145,   // description of a row whose file is gone
    MsgMissingFileMark = 146,
    MsgConfigFlowCodePage = 147,
    MsgKeyDelete = 148,
    MsgDeleteTitle = 149,
    MsgDeleteQuestionFormat = 150, // %s the file or the text of 43
    MsgDeleteQueueOnly = 151,
    MsgDeleteAlsoFile = 152,
    MsgDeleteFileFailed = 153,    // then the file
    MsgStatusProcessFormat = 154, // one %s: the process id a busy flag names
    MsgHeldLinkWarning = 155,     // then the address
    MsgOwnAddressRefused = 156,   // then the address
    // The subjects of the hold and flavor dialogs.
    MsgHoldSubjectFormat = 157,   // one %s: an address or the text of MsgLinkCountFormat
    MsgFlavorSubjectFormat = 158, // one %s: a file or the text of MsgRemoveCountFormat
    MsgRequestPollNow = 159,
    MsgStatusWaitsForCall = 160,
    MsgHealthDroppedPacket = 161,
    MsgHealthRemovePacket = 162, // then the packet
    // F3 on a netmail packet: the viewer's text, where the reading stopped, failures.
    MsgKeyView = 163,
    MsgPacketHeading = 164, // one %s: the packet's file
    MsgPacketType = 165,
    MsgPacketFrom = 166,
    MsgPacketTo = 167,
    MsgPacketDate = 168,
    MsgPacketPassword = 169,
    MsgPacketPasswordSet = 170,
    MsgPacketPasswordNone = 171,
    MsgPacketNoDate = 172,
    MsgPacketMessageHeading = 173, // one %d: the message's number
    MsgPacketSubject = 174,
    MsgPacketAttributes = 175,
    MsgPacketSize = 176,
    MsgPacketSizeValue = 177, // plural forms of the bytes
    MsgPacketKludges = 178,
    MsgPacketText = 179,
    MsgPacketAttributePrivate = 180, // 180-194: attribute bits 0-9 and 11-15
    MsgPacketAttributeLast = 194,
    MsgPacketNoAttributes = 195,
    MsgPacketEnded = 196,     // plural forms of the messages read
    MsgPacketHeaderCut = 197, // 197-202: one %d each: where the reading stopped (202: the type)
    MsgPacketEndMissing = 198,
    MsgPacketNoMessage = 199,
    MsgPacketMessageCut = 200,
    MsgPacketFieldTooLong = 201,
    MsgPacketUnknownType = 202,
    MsgPacketTooLarge = 203,   // one %d: the bytes read of a larger packet
    MsgPacketUnreadable = 204, // then the packet
    // Nodelist names.
    MsgConfigNodelistPath = 205,
    MsgConfigPointlistPath = 206,
    MsgColumnSystem = 207,
    MsgColumnSysop = 208,
    MsgColumnNodelist = 209,
    MsgNodelistDownMark = 210,
    MsgNodelistHoldMark = 211,
    MsgNodelistUnlistedMark = 212,
    MsgNodelistTitle = 213,
    MsgNodelistUnreadable = 214,   // then the file
    MsgNodeUnlistedQuestion = 215, // then the address
    MsgNodeDownQuestion = 216,     // then the address
    MsgHealthDownNode = 217,
    MsgHealthUnlistedNode = 218,
    MsgHealthNodelistLines = 219,
    MsgNodelistSkippedFormat = 220, // the count's forms, as FormatCountText takes them
    MsgItemWithoutRow = 221,        // then the item's name
    MessageCount = 222
};

// The host's text for the id; it belongs to the host and is never freed. Callers that hand
// texts back to the host in arrays it reads later fetch them again on every call.
const char *GetMessageText(int Id);

// Data values below this are message ids; the others are addresses of literal texts.
const uintptr_t FirstTextReference = 2000;

// One dialog item in compact form. Selected holds a check box's or radio button's state, or for
// an edit field with DIF_HISTORY the address of the history name; Data a message id or the
// address of a literal text. Both are pointer-wide so that a 64-bit build can hold addresses.
struct DialogTemplateItem {
    uint8_t Type;
    uint8_t X1, Y1, X2, Y2;
    uint8_t Focus;
    uintptr_t Selected;
    DWORD Flags;
    uint8_t DefaultButton;
    uintptr_t Data;
};

// Fills Count host items from the first Count templates. A text longer than an item's Data
// holds (511 characters) is cut there. A label whose hot key an earlier label has already
// loses its mark, so every hot key of the dialog reaches its item.
void ExpandDialogTemplate(const DialogTemplateItem *Templates, FarDialogItem *Items, int Count);

// The literal texts templates refer to: edit fields and separator lines start empty.
extern const char EmptyTemplateText[];
// The address history shared by the poll, file request and attach dialogs.
extern const char AddressHistoryName[];

// Builders for template tables, so that each dialog is a plain list of its items.
DialogTemplateItem DialogFrame(int X1, int Y1, int X2, int Y2, int TitleId);
DialogTemplateItem DialogText(int X1, int Y, int X2, int TextId);
DialogTemplateItem DialogSeparator(int X1, int Y);
DialogTemplateItem DialogEdit(int X1, int Y, int X2);
// A one-character digit field; Y2 as the host takes it (some dialogs give the row again).
DialogTemplateItem DialogDigitField(int X, int Y, int Y2);
// The address field of the poll, request and attach dialogs: focused, with the shared history.
DialogTemplateItem DialogAddressField(int Y);
DialogTemplateItem DialogCheckBox(int X1, int Y, int X2, int TextId);
// First is set on the first button of a radio group.
DialogTemplateItem DialogRadioButton(int X1, int Y, int X2, int TextId, bool First);
// The centred OK / Cancel pair: IsDefault marks the button Enter chooses.
DialogTemplateItem DialogButton(int Y, int TextId, bool IsDefault);
// The same item with the focus on it when the dialog opens.
DialogTemplateItem Focused(DialogTemplateItem Item);
// The same item showing data (a path, a name, an address): an '&' in it is shown, not taken
// as a hot-key mark.
DialogTemplateItem ShowingData(DialogTemplateItem Item);

#endif
