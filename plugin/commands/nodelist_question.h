// The question before a command makes the mailer call a node the nodelist does not list or
// lists as Down: the call would most likely fail, or reach nobody.
#ifndef BSOPANEL_COMMANDS_NODELIST_QUESTION_H
#define BSOPANEL_COMMANDS_NODELIST_QUESTION_H

#include "bso/address.h"

// Asks once, under TitleId, whether to go on with Address ("not in the nodelist" / "Down in
// the nodelist"); true without a question for any other address, and without a nodelist.
// OK is the first button.
bool ConfirmNodelistStanding(int TitleId, const FtnAddress *Address);

#endif
