#include "in_process_host.h"

#include "shell/host.h"

#include <map>
#include <string.h>

namespace {

InProcessHost *current = nullptr;
std::map<int, std::string> messages;

const char *WINAPI GetMsgStub(int, int id) {
    auto found = messages.find(id);
    if (found == messages.end())
        found = messages.emplace(id, "Message " + std::to_string(id)).first;
    return found->second.c_str();
}

int WINAPI ControlStub(HANDLE, int command, void *param) {
    if (current)
        current->controls.emplace_back(
            command, command == FCTL_SETPANELDIR && param ? static_cast<const char *>(param) : "");
    return 1;
}

} // namespace

InProcessHost::InProcessHost() : savedHostInfo_(HostInfo), savedSettings_(Settings) {
    messages.clear();
    memset(&HostInfo, 0, sizeof(HostInfo));
    HostInfo.StructSize = sizeof(HostInfo);
    HostInfo.ModuleNumber = 1;
    HostInfo.GetMsg = GetMsgStub;
    HostInfo.Control = ControlStub;
    current = this;
}

InProcessHost::~InProcessHost() {
    current = nullptr;
    HostInfo = savedHostInfo_;
    Settings = savedSettings_;
    messages.clear();
}

void InProcessHost::SetMessage(int id, const std::string &text) {
    messages[id] = text;
}
