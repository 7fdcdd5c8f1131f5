// The health check of the whole outbound (root, Shift+F7): a report the user picks entries
// from, each with its safe fix where one exists, asked first; the report is built again after
// every fix.
#ifndef BSOPANEL_COMMANDS_HEALTH_CHECK_H
#define BSOPANEL_COMMANDS_HEALTH_CHECK_H

#include "shell/browser.h"
#include "shell/messages.h"

enum HealthAttachItem {
    HealthAttachBundle = 2,
    HealthAttachAddress = 3,
    HealthAttachOk = 5,
    HealthAttachItemCount = 7
};

extern const DialogTemplateItem HealthAttachTemplate[HealthAttachItemCount];

// Entries of the report shown at once; More turns the page.
const int HealthReportRows = 12;
// The columns of a report row between its radio button and the dialog's frame.
const int HealthRowWidth = 67;

void CheckHealth(BSOBrowser *Browser);

#endif
