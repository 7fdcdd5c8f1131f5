// The file request: the link's request file (.REQ), opened in the host's editor and removed
// again when it is left empty, with a poll so that the mailer calls for it.
#ifndef BSOPANEL_COMMANDS_FILE_REQUEST_H
#define BSOPANEL_COMMANDS_FILE_REQUEST_H

#include "shell/browser.h"
#include "shell/messages.h"

enum RequestDialogItem {
    RequestAddress = 2,
    RequestPollNow = 3, // on: a poll with the request when nothing else makes the mailer call
    RequestOk = 5,
    RequestItemCount = 7
};

extern const DialogTemplateItem RequestDialogTemplate[RequestItemCount];

// Asks for the address (offered: the link shown, else the link under the cursor), makes sure
// the request file exists, edits it and deletes it when it is empty afterwards. A request left
// gets a poll of the PollFlavor setting's flavor when "Poll now" is on and no packet or flow
// file of the link makes the mailer call; all under the link's busy flag.
void CreateFileRequest(BSOBrowser *Browser);

#endif
