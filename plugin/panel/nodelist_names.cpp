#include "panel/nodelist_names.h"

#include "common/helpers.h"
#include "settings/settings.h"
#include "shell/box_text.h"
#include "shell/host.h"
#include "shell/messages.h"

#include <string.h>

static Nodelist Names;
// The settings whose file was named as unreadable, so that it is named once.
static char NamedUnreadable[2][MAX_PATH];

static void NameUnreadable(const NodelistSource &Source, char (&Named)[MAX_PATH]) {
    if (Source.Read || !Source.Configured[0]) {
        Named[0] = '\0';
        return;
    }
    if (strcmp(Named, Source.Configured) == 0) return;
    memcpy(Named, Source.Configured, sizeof(Named));
    char shown[MAX_PATH + 16];
    ShortenPath(shown, sizeof(shown), Source.Path[0] ? Source.Path : Source.Configured,
                MessageLineWidth);
    const char *items[] = {GetMessageText(MsgNodelistTitle), GetMessageText(MsgNodelistUnreadable),
                           shown, GetMessageText(MsgOk)};
    if (HostInfo.Message)
        HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, items, 4, 1);
}

const Nodelist *CurrentNodelist(bool MayTell) {
    // Memory that ran out leaves no names: the panel works as without a nodelist.
    RefreshNodelist(&Names, Settings.NodelistPath, Settings.PointlistPath);
    if (MayTell)
        for (int i = 0; i < 2; ++i) NameUnreadable(Names.Lists[i], NamedUnreadable[i]);
    return &Names;
}

void ForgetNodelist() {
    FreeNodelist(&Names);
    NamedUnreadable[0][0] = NamedUnreadable[1][0] = '\0';
}

char *NodeDescription(const NodelistNode *Node, char *Buffer, size_t Size) {
    Buffer[0] = '\0';
    if (!Node) return Buffer;
    const char *parts[3] = {Node->SystemName, Node->Sysop, Node->Location};
    size_t used = 0;
    for (const char *part : parts) {
        if (!part[0]) continue;
        size_t length = strlen(part) + (used ? 2 : 0);
        if (used + length >= Size) break; // not with NodeDescriptionSize
        if (used) memcpy(Buffer + used, ", ", 2);
        strcpy(Buffer + used + (used ? 2 : 0), part);
        used += length;
    }
    return Buffer;
}

const char *NodeMarkText(NodeStanding Standing) {
    switch (Standing) {
    case NodeDown:
        return GetMessageText(MsgNodelistDownMark);
    case NodeHeld:
        return GetMessageText(MsgNodelistHoldMark);
    case NodeUnlisted:
        return GetMessageText(MsgNodelistUnlistedMark);
    default:
        return "";
    }
}
