// What every outbound command shares: the one-button warning, the question before a busy link
// is touched, and the small steps each command takes before it writes (the own address, the
// panel's state as the host shows it).
#ifndef BSOPANEL_COMMANDS_COMMAND_BOXES_H
#define BSOPANEL_COMMANDS_COMMAND_BOXES_H

#include "bso/address.h"
#include "bso/outbound.h"
#include "common/helpers.h"
#include "plugin_api.h"
#include "settings/settings.h"
#include "shell/browser.h"

#include <stddef.h>

// A warning box: the title and line messages, the subject (an address, or a path shortened
// with ShortenPath) and one button. Its answer is not looked at.
void ShowWarning(int TitleId, int LineId, const char *Subject);

// A failed write: the title, MsgCannotWrite, the file's path, the system's text for Error
// (FormatMessageA, in the OEM code page the host shows) and one button.
void ShowWriteFailure(int TitleId, const char *Path, DWORD Error);

// The one busy-flag call of the commands: takes the link's busy flag for the command's writes.
// A link that is busy already (its flag exists, or the mailer makes it first) gets the busy
// box, which names the link's full address; "Cancel" comes first and is what Enter chooses:
// the mailer is writing that link's files, and a second Enter typed ahead must not go on.
// "OK" there writes without a flag of the command's own. A flag that cannot be made for
// another reason lets the command go on without one, as before there were flags. True when
// the command may go on, with Lock->Held telling whether the flag is the command's; false
// when the question ended it. Every command that took the flag gives it back with
// ReleaseLink before it returns, so no listing ever shows it.
// After a poll or an attach: a box saying that the mailer will not call the link while its hold
// lasts, when it is held. Nothing else is offered: the hold is the sysop's to end.
void WarnIfHeld(int TitleId, const OutboundConfig &Config, const FtnAddress *Address);

bool LockLinkForCommand(int TitleId, const OutboundConfig &Config, const FtnAddress *Address,
                        LinkLock *Lock);
// LockLinkForCommand for the commands on a link's items, with the link's base path into
// BasePath first: false, nothing held, when it does not fit or the user declined.
bool LockLinkAtBase(int TitleId, const OutboundConfig &Config, const FtnAddress *Link,
                    LinkLock *Lock, char (&BasePath)[OutboundPathSize]);

// Turns on the radio button of the flavor that a setting names (a dialog position; outside the
// group of Count buttons starting at First, FallbackFlavor's), with the focus on it when Focus.
void PresetFlavorButton(FarDialogItem *First, int Count, int Setting, bool Focus);
// The flavor of the first button on in the group; FallbackFlavor when none is.
Flavor ChosenFlavor(const FarDialogItem *First, int Count);

// Removes the command's flag, if it holds one. One that cannot be removed would keep the
// mailer away from the link: the busy notice names it.
void ReleaseLink(LinkLock *Lock);

// Runs a command's dialog with an address field (AddressItem, parsed against Own) until it
// is closed by OkItem with an address that parses, or by anything else. A text that does not
// parse is refused with the bad-address warning under TitleId, and the dialog comes back with
// every field as it was left, the text too. The host adds the field's text to its history on
// every close but Esc: a refused or cancelled text that is no address is taken out again, so
// the history offers only addresses. Returns 1 with *Address filled when accepted, else 0.
// The own address is refused like one that does not parse, with its own word.
int RunAddressDialog(int TitleId, const char *HelpTopic, int Width, int Height,
                     FarDialogItem *Items, int Count, int AddressItem, int OkItem,
                     const FtnAddress *Own, FtnAddress *Address);

// Fills Info through the host for this panel (FCTL_GETPANELINFO) or the other one
// (FCTL_GETANOTHERPANELINFO). On failure Info is all zeros: no items.
void AskPanelInfo(BSOBrowser *Browser, int Command, PanelInfo *Info);

// The current item of the panel, or null when the panel reports none (no items, an index
// outside them).
const PluginPanelItem *CurrentPanelItem(const PanelInfo *Info);

// What the question about a pattern line was answered: Declined when the user kept a line, so
// that no warning follows the choice.
struct PatternLineAnswer {
    bool Declined;
};

// The question before a whole pattern line moves or goes (a PatternLineQuestion; the context
// is a PatternLineAnswer): it names the line and says that it sends other files too. True for
// the first button.
bool AskAboutPatternLine(const char *Line, size_t Length, void *Context);

#endif
