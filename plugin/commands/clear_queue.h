// Clearing the queue of the links selected at the root (or the one under the cursor): what the
// mailer would do after sending, done without sending, after a preview of every file.
#ifndef BSOPANEL_COMMANDS_CLEAR_QUEUE_H
#define BSOPANEL_COMMANDS_CLEAR_QUEUE_H

#include "shell/browser.h"
#include "shell/messages.h"

enum ClearDialogItem {
    ClearSubject = 1,
    ClearKeepNetmail = 3,
    ClearKeepCaretFiles = 4,
    ClearOk = 6,
    ClearItemCount = 8
};

extern const DialogTemplateItem ClearDialogTemplate[ClearItemCount];

// Rows of the preview shown at once; More turns the page.
const int ClearPreviewRows = 12;

// Asks for the check boxes, takes every link's busy flag (the busy question for a link the
// mailer has), shows what will happen file by file with the total, and on "Clear" does it;
// the files that could not be handled are named afterwards.
void ClearQueue(BSOBrowser *Browser);

#endif
