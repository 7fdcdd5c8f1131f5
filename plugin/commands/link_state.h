// The actions on the mailer's state of the links under the cursor or selected at the root:
// hold for a while or until a time (the hold file binkd honours), release the hold, reset the
// failed-call counter, and remove a busy flag left behind by a mailer that is gone.
#ifndef BSOPANEL_COMMANDS_LINK_STATE_H
#define BSOPANEL_COMMANDS_LINK_STATE_H

#include "shell/browser.h"
#include "shell/messages.h"

#include <stdint.h>

// Items of the hold dialog that the code reads.
enum HoldDialogItem { HoldTimeField = 2, HoldOk = 4, HoldSubject = 6, HoldItemCount = 7 };
extern const DialogTemplateItem HoldDialogTemplate[HoldItemCount];

// Reads what the hold dialog was given: a number of minutes ("90"), a time of day ("21:30",
// today, or tomorrow when that has passed) or a local date and time ("24.12.2026 08:00").
// Blanks around it are allowed. 1 with *Until (seconds since 1970) when the end lies after Now.
int ParseHoldTime(const char *Text, int64_t Now, int64_t *Until);

void HoldLinks(BSOBrowser *Browser);       // F5
void ReleaseLinks(BSOBrowser *Browser);    // Shift+F5
void ResetLinkTries(BSOBrowser *Browser);  // F6
void RemoveStaleBusy(BSOBrowser *Browser); // Shift+F6

#endif
