#include "outbound_fixture.h"

#include <windows.h>

#include <cctype>
#include <cstring>
#include <filesystem>
#include <set>
#include <stdexcept>

namespace fs = std::filesystem;

// ---- OutboundTree ---------------------------------------------------------------------------

std::string OutboundTree::Native(const std::string &relative) const {
    return dir.Native(relative).string();
}

std::string OutboundTree::Line(const std::string &relative) const {
#ifdef _WIN32
    return Win(relative);
#else
    return Native(relative);
#endif
}

std::string OutboundTree::Shown(const std::string &relative) const {
#ifdef _WIN32
    return UpperCase(Win(relative)) + "\\";
#else
    return Native(relative) + "/";
#endif
}

void OutboundTree::Write(const std::string &relative, const std::string &bytes) const {
    dir.Write(relative, bytes);
}

void OutboundTree::WriteFlowFile(const std::string &relative,
                                 const std::vector<std::string> &lines) const {
    std::string bytes;
    for (const std::string &line : lines) bytes += line + "\r\n";
    dir.Write(relative, bytes);
}

std::string OutboundTree::WriteAttached(const std::string &name, const std::string &bytes) const {
    dir.Write("files/" + name, bytes);
    return dir.Win("files/" + name);
}

void OutboundTree::Remove(const std::string &relative) const {
    std::error_code ignored;
    fs::remove_all(dir.Native(relative), ignored);
}

std::vector<std::string> OutboundTree::ReadLines(const std::string &relative) const {
    std::string bytes = dir.Read(relative);
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        std::string line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// ---- OutboundPanelTest ----------------------------------------------------------------------

namespace {

void WriteValue(const std::string &keyPath, const std::string &name, DWORD type, const void *data,
                DWORD size) {
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, &key, &disposition) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create the key " + keyPath);
    LSTATUS status =
        RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE *>(data), size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) throw std::runtime_error("cannot set " + keyPath + "\\" + name);
}

} // namespace

OutboundPanelTest::OutboundPanelTest() : options(registry.Options()) {
    tree.MakeDir("out");
    tree.MakeDir("files");
}

OutboundPanelTest::~OutboundPanelTest() = default;

void OutboundPanelTest::TearDown() {
    if (host) standin::ExpectNoHostFailures(*host);
    host.reset();
}

void OutboundPanelTest::WriteSettingNumber(const std::string &name, DWORD value) const {
    WriteValue(SettingsKey(), name, REG_DWORD, &value, sizeof value);
}

void OutboundPanelTest::WriteSettingText(const std::string &name, const std::string &text) const {
    WriteValue(SettingsKey(), name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

bool OutboundPanelTest::Load() {
    if (host) {
        ADD_FAILURE() << "the plugin is loaded already";
        return false;
    }
    WriteSettingText("PathToOutbound", settings.pathToOutbound.value_or(tree.Root()));
    WriteSettingText("Address", settings.address);
    WriteSettingNumber("AutoRefresh", static_cast<DWORD>(settings.autoRefresh));
    const std::pair<const char *, const std::optional<int> *> numbers[] = {
        {"LinksPanelMode", &settings.linksPanelMode},
        {"FilesPanelMode", &settings.filesPanelMode},
        {"NoChangePanelMode", &settings.noChangePanelMode},
        {"PollFlavor", &settings.pollFlavor},
        {"AttachFlavor", &settings.attachFlavor}};
    for (const auto &[name, value] : numbers)
        if (*value) WriteSettingNumber(name, static_cast<DWORD>(**value));

    std::string module = modulePath.empty() ? standin::BuiltPluginModule() : modulePath;
    // Each module stays loaded until the test program ends, as a real host keeps its plugins
    // for the whole session. Settings and the host table are set again by every
    // SetStartupInfo.
    static std::set<std::string> keptModules;
    if (keptModules.insert(module).second) LoadLibraryA(module.c_str());
    host = std::make_unique<standin::Host>(front, options);
    if (!host->LoadPlugin(module)) {
        ADD_FAILURE() << "loading the plugin: " << host->LastError();
        host.reset();
        return false;
    }
    return true;
}

bool OutboundPanelTest::Open() {
    if (!Load()) return false;
    host->SetActive(standin::Side::Left);
    if (!host->OpenPanel()) {
        ADD_FAILURE() << "opening the plugin panel: " << host->LastError();
        return false;
    }
    return true;
}

void OutboundPanelTest::Close() {
    if (host) standin::ExpectNoHostFailures(*host);
    host.reset();
}

std::vector<standin::ShownItem> OutboundPanelTest::Rows() const {
    std::vector<standin::ShownItem> rows;
    if (!host) return rows;
    const standin::Panel &panel = host->Left();
    for (int i = 0; i < panel.Count(); ++i)
        if (!panel.IsDotsItem(i)) rows.push_back(panel.Item(i));
    return rows;
}

std::vector<std::string> OutboundPanelTest::RowNames() const {
    std::vector<std::string> names;
    for (const standin::ShownItem &row : Rows()) names.push_back(row.name);
    return names;
}

std::optional<standin::ShownItem> OutboundPanelTest::Row(const std::string &name) const {
    for (const standin::ShownItem &row : Rows())
        if (row.name == name) return row;
    return std::nullopt;
}

bool OutboundPanelTest::Update() {
    return host && Panel().Update();
}

bool OutboundPanelTest::Enter(const std::string &name) {
    if (!host) return false;
    standin::Panel &panel = Panel();
    int index =
        name == ".." ? (panel.Count() > 0 && panel.IsDotsItem(0) ? 0 : -1) : panel.IndexOf(name);
    if (index < 0 || (name != ".." && panel.IsDotsItem(index))) return false;
    panel.SetCurrent(index);
    return panel.Enter();
}

std::vector<standin::ShownItem> OutboundPanelTest::ListDirectly(int opMode) {
    std::vector<standin::ShownItem> rows;
    if (!host || !Panel().IsPlugin()) {
        ADD_FAILURE() << "no plugin panel to list";
        return rows;
    }
    const standin::Host::Exports &exports = host->GetExports();
    PluginPanelItem *items = nullptr;
    int count = 0;
    if (!exports.GetFindData(Panel().Handle(), &items, &count, opMode)) {
        ADD_FAILURE() << "GetFindData failed";
        return rows;
    }
    for (int i = 0; i < count; ++i) {
        const PluginPanelItem &item = items[i];
        standin::ShownItem row;
        row.name = item.FindData.cFileName;
        row.attributes = item.FindData.dwFileAttributes;
        row.size =
            (static_cast<uint64_t>(item.FindData.nFileSizeHigh) << 32) | item.FindData.nFileSizeLow;
        row.lastWriteTime = item.FindData.ftLastWriteTime;
        row.flags = item.Flags;
        for (int c = 0; c < item.CustomColumnNumber; ++c)
            row.columns.push_back(
                item.CustomColumnData && item.CustomColumnData[c] ? item.CustomColumnData[c] : "");
        rows.push_back(row);
    }
    exports.FreeFindData(Panel().Handle(), items, count);
    return rows;
}

std::string ShownLineDirectory(const std::string &text) {
#ifdef _WIN32
    return UpperCase(text);
#else
    return text;
#endif
}

std::string UpperCase(std::string text) {
    for (char &c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}
