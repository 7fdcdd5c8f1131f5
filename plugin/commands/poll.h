// The poll: an empty flow file of a chosen flavor for a link, which makes the mailer call it.
#ifndef BSOPANEL_COMMANDS_POLL_H
#define BSOPANEL_COMMANDS_POLL_H

#include "shell/browser.h"
#include "shell/messages.h"

enum PollDialogItem {
    PollAddress = 2,
    PollFirstFlavor = 4, // four buttons: immediate, crash, direct, normal (no hold)
    PollOk = 9,
    PollItemCount = 11
};

extern const DialogTemplateItem PollDialogTemplate[PollItemCount];

// Asks for the address (offered: the link under the cursor) and the flavor (preset: the
// PollFlavor setting) and creates the flow file; an existing one keeps its lines.
void CreatePoll(BSOBrowser *Browser);

#endif
