#include "commands/nodelist_question.h"

#include "panel/nodelist_names.h"
#include "shell/host.h"
#include "shell/messages.h"

bool ConfirmNodelistStanding(int TitleId, const FtnAddress *Address) {
    const NodelistNode *node;
    NodeStanding standing = JudgeNode(CurrentNodelist(true), Address, &node);
    if (standing != NodeUnlisted && standing != NodeDown) return true;
    char address[AddressTextSize];
    FormatAddress(Address, address);
    const char *items[] = {
        GetMessageText(TitleId),
        GetMessageText(standing == NodeDown ? MsgNodeDownQuestion : MsgNodeUnlistedQuestion),
        address, GetMessageText(MsgOk), GetMessageText(MsgCancel)};
    return HostInfo.Message(HostInfo.ModuleNumber, FMSG_WARNING, nullptr, items, 5, 2) == 0;
}
