// The file request: the link's request file (.REQ), opened in the host's editor and removed
// again when it is left empty.
#ifndef BSOPANEL_COMMANDS_FILE_REQUEST_H
#define BSOPANEL_COMMANDS_FILE_REQUEST_H

#include "shell/browser.h"
#include "shell/messages.h"

enum RequestDialogItem { RequestAddress = 2, RequestOk = 4, RequestItemCount = 6 };

extern const DialogTemplateItem RequestDialogTemplate[RequestItemCount];

// Asks for the address (offered: the link shown, else the link under the cursor), makes sure
// the request file exists, edits it and deletes it when it is empty afterwards.
void CreateFileRequest(BSOBrowser *Browser);

#endif
