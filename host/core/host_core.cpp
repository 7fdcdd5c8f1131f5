// Placeholder bodies while the host core is written: everything compiles and does nothing.
#include "host_core.h"

namespace standin {

struct Panel::Listing {};

Panel::Panel(Host &host, Side side, const std::string &directory)
    : host_(host), side_(side), directory_(directory) {}
Panel::~Panel() = default;
ShownItem Panel::Item(int) const { return {}; }
std::vector<ShownItem> Panel::Items() const { return {}; }
std::vector<std::string> Panel::Names() const { return {}; }
int Panel::IndexOf(const std::string &) const { return -1; }
std::string Panel::CurrentName() const { return {}; }
bool Panel::SetCurrent(int) { return false; }
bool Panel::SetCurrentByName(const std::string &) { return false; }
bool Panel::Select(const std::string &, bool) { return false; }
void Panel::ToggleSelection(int) {}
void Panel::SelectAll(bool) {}
std::vector<std::string> Panel::SelectedNames() const { return {}; }
std::string Panel::CurDir() const { return {}; }
std::string Panel::Title() const { return {}; }
void Panel::SetViewMode(int mode) { viewMode_ = mode; }
std::string Panel::ViewColumnTypes() const { return {}; }
std::string Panel::ViewColumnWidths() const { return {}; }
void Panel::SetSort(int mode, bool reversed) {
    sortMode_ = mode;
    sortReversed_ = reversed;
}
bool Panel::Update() { return false; }
void Panel::Redraw() {}
bool Panel::Enter() { return false; }
bool Panel::ChangeDirectory(const std::string &) { return false; }

Host::Host(FrontEnd &frontEnd, HostOptions options) : frontEnd_(frontEnd), options_(options) {
    startupInfo_ = {};
    panels_[0].reset(new Panel(*this, Side::Left, options.leftDirectory));
    panels_[1].reset(new Panel(*this, Side::Right, options.rightDirectory));
}
Host::~Host() = default;
bool Host::LoadPlugin(const std::string &) {
    lastError_ = "not written yet";
    return false;
}
std::string Host::ModuleName() const { return moduleName_; }
const char *Host::Message(int) { return ""; }
PluginInfoCopy Host::GetPluginInfo() { return {}; }
int Host::Configure(int) { return 0; }
void Host::SetActive(Side side) { active_ = static_cast<int>(side); }
Panel *Host::PluginPanel() { return nullptr; }
bool Host::OpenPanel(int, INT_PTR) { return false; }
bool Host::OpenPanelOn(Side, int, INT_PTR) { return false; }
void Host::ClosePanel() {}
void Host::ClosePanelOn(Side) {}
bool Host::PressKey(int, unsigned) { return false; }
int Host::CopyToPluginPanel(bool) { return -1; }
void Host::Idle(int) {}
bool Host::CmpName(const char *, const char *, bool) { return false; }
std::vector<std::string> Host::History(const std::string &) const { return {}; }
void Host::AddToHistory(const std::string &, const std::string &) {}
std::string Host::HistoryKey(const std::string &) const { return {}; }
void Host::Fail(const std::string &what) { failures_.push_back(what); }
Host *Host::Current() { return nullptr; }

std::string NativePath(const std::string &path) { return path; }
std::string Win32Path(const std::string &path) { return path; }

} // namespace standin
