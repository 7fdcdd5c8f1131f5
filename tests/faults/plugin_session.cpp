#include "plugin_session.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <set>

int AnsweringFrontEnd::Message(const standin::MessageRequest &request) {
    if (request.buttons.empty()) return 0; // a progress box
    messages.push_back(request);
    if (request.buttons.size() < 2) return 0;
    bool busy =
        std::find(request.lines.begin(), request.lines.end(), busyNotice) != request.lines.end();
    if (busy) return busyAnswer;
    return asked.insert(request.lines).second ? questionAnswer : 1;
}

int AnsweringFrontEnd::Warnings() const {
    return static_cast<int>(
        std::count_if(messages.begin(), messages.end(), [&](const standin::MessageRequest &box) {
            return (box.flags & FMSG_WARNING) && box.buttons.size() == 1;
        }));
}

int AnsweringFrontEnd::BusyQuestions() const {
    return static_cast<int>(
        std::count_if(messages.begin(), messages.end(), [&](const standin::MessageRequest &box) {
            return box.buttons.size() == 2 &&
                   std::find(box.lines.begin(), box.lines.end(), busyNotice) != box.lines.end();
        }));
}

int AnswerDialog(const standin::DialogRequest &request, const std::map<int, std::string> &edits,
                 int radio, int closeWith) {
    for (const auto &[index, text] : edits) {
        if (index >= request.count) continue;
        char *data = request.items[index].Data;
        std::strncpy(data, text.c_str(), sizeof(request.items[index].Data) - 1);
        data[sizeof(request.items[index].Data) - 1] = 0;
    }
    if (radio >= 0 && radio < request.count) {
        // The group runs from the item with DIF_GROUP to the next such item or non-radio item.
        int first = radio;
        while (first > 0 && request.items[first - 1].Type == DI_RADIOBUTTON &&
               !(request.items[first].Flags & DIF_GROUP))
            --first;
        for (int i = first; i < request.count && request.items[i].Type == DI_RADIOBUTTON; ++i) {
            if (i > first && (request.items[i].Flags & DIF_GROUP)) break;
            request.items[i].Selected = i == radio;
        }
    }
    return closeWith;
}

namespace {

void SetValue(const std::string &key, const std::string &name, DWORD type, const void *data,
              DWORD size) {
    HKEY handle;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &handle, &disposition) != ERROR_SUCCESS)
        return;
    RegSetValueExA(handle, name.c_str(), 0, type, static_cast<const BYTE *>(data), size);
    RegCloseKey(handle);
}

std::string Lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

PluginSession::PluginSession(OutboundTree &tree, standin::TestRegistry &registry)
    : tree_(tree), registry_(registry) {}

PluginSession::~PluginSession() {
    Close();
}

bool PluginSession::Open() {
    Close();
    std::string key = registry_.RootKey() + "\\KESTREL";
    HKEY existing;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE, &existing) ==
        ERROR_SUCCESS) {
        RegCloseKey(existing);
    } else {
        std::string root = tree_.Root();
        std::string address = "2:5020/1000";
        DWORD off = 0;
        SetValue(key, "PathToOutbound", REG_SZ, root.c_str(), static_cast<DWORD>(root.size() + 1));
        SetValue(key, "Address", REG_SZ, address.c_str(), static_cast<DWORD>(address.size() + 1));
        SetValue(key, "AutoRefresh", REG_DWORD, &off, sizeof off);
    }

    standin::HostOptions options = registry_.Options();
    options.rightDirectory = tree_.Win("files");
    std::string module = standin::Win32Path(BSOPANEL_FAULTS_MODULE);
    // Kept loaded for the whole program, as the real host keeps its plugins.
    static std::set<std::string> kept;
    if (kept.insert(module).second) LoadLibraryA(module.c_str());
    host_ = std::make_unique<standin::Host>(front, options);
    if (!host_->LoadPlugin(module)) {
        error_ = "loading the module: " + host_->LastError();
        return false;
    }
    front.busyNotice = host_->Message(41);
    host_->SetActive(standin::Side::Left);
    if (!host_->OpenPanel()) {
        error_ = "opening the panel: " + host_->LastError();
        return false;
    }
    return true;
}

void PluginSession::Close() {
    host_.reset();
}

bool PluginSession::Enter(const std::string &row) {
    int index = Panel().IndexOf(row);
    if (index < 0) return false;
    Panel().SetCurrent(index);
    return Panel().Enter();
}

int PluginSession::FileRow(const std::string &name) {
    std::string ending = Lower("\\" + name);
    for (int i = 0; i < Panel().Count(); ++i) {
        std::string shown = Lower(Panel().Item(i).name);
        for (char &c : shown) c = c == '/' ? '\\' : c; // a native row on Linux
        if (shown.size() >= ending.size() &&
            shown.compare(shown.size() - ending.size(), ending.size(), ending) == 0)
            return i;
    }
    return -1;
}

bool PluginSession::SelectFiles(const std::vector<std::string> &names) {
    for (const std::string &name : names) {
        int index = FileRow(name);
        if (index < 0 || !Panel().Select(Panel().Item(index).name)) return false;
    }
    return true;
}

bool PluginSession::SetCurrentFile(const std::string &name) {
    int index = FileRow(name);
    return index >= 0 && Panel().SetCurrent(index);
}
