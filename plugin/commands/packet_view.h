// F3 on a netmail packet row inside a link: the packet's header and messages as a text file in a
// temporary folder, shown in the host's viewer and removed afterwards.
#ifndef BSOPANEL_COMMANDS_PACKET_VIEW_H
#define BSOPANEL_COMMANDS_PACKET_VIEW_H

#include "shell/browser.h"

#include <stddef.h>

// A packet larger than this is read only this far, and the text says so.
const size_t PacketViewLimit = 16u << 20;

// A growing text; Failed once memory ran out (what is there stays valid).
struct ViewText {
    char *Data;
    size_t Length;
    size_t Capacity;
    bool Failed;
};

// The packet's text, appended to Text: Data holds the packet's first Length bytes of FileSize.
// Packet text (names, subjects, message lines) is in the packet's code page, taken to be the
// host's OEM one (CP866 as a rule); off Windows it is converted from CP866 to UTF-8, as the
// stand-in host shows OEM text. Control characters are shown as dots.
void FormatNetmailPacket(const unsigned char *Data, size_t Length, unsigned long long FileSize,
                         const char *Name, ViewText *Text);
void FreeViewText(ViewText *Text);

// The key's work: true when the row under the cursor is a netmail packet of the link (the key
// is then taken, whatever came of it); false leaves F3 to the host.
bool ViewNetmailPacket(BSOBrowser *Browser);

#endif
