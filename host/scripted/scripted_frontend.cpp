// Placeholder bodies while the scripted front end is written.
#include "scripted_frontend.h"

namespace standin {

bool ShownBox::HasText(const std::string &) const { return false; }
std::string ShownBox::Describe() const { return {}; }

Expect Expect::Dialog(const std::string &helpTopic) {
    Expect e;
    e.help_ = helpTopic;
    return e;
}
Expect Expect::Message(const std::string &title) {
    Expect e;
    e.dialog_ = false;
    if (!title.empty()) e.title_ = title;
    return e;
}
Expect &Expect::Title(const std::string &) { return *this; }
Expect &Expect::Help(const std::string &) { return *this; }
Expect &Expect::Contains(const std::string &) { return *this; }
Expect &Expect::Warning(bool) { return *this; }
Expect &Expect::ItemText(int, const std::string &) { return *this; }
Expect &Expect::Selected(int, int) { return *this; }
Expect &Expect::Check(std::function<std::string(const ShownBox &)>) { return *this; }
Expect &Expect::Edit(int, const std::string &) { return *this; }
Expect &Expect::SetCheck(int, bool) { return *this; }
Expect &Expect::Radio(int) { return *this; }
Expect &Expect::Press(int) { return *this; }
Expect &Expect::PressText(const std::string &) { return *this; }
Expect &Expect::Default() { return *this; }
Expect &Expect::Esc() { return *this; }
Expect &Expect::Then(std::function<void(FarDialogItem *, int)>) { return *this; }
std::string Expect::Describe() const { return {}; }

ScriptedFrontEnd::ScriptedFrontEnd() = default;
ScriptedFrontEnd::~ScriptedFrontEnd() = default;
void ScriptedFrontEnd::Expect(const standin::Expect &e) { expected_.push_back(e); }
void ScriptedFrontEnd::ExpectEditor(std::function<void(const EditorRequest &)>, int) {}
void ScriptedFrontEnd::OnFailure(std::function<void(const std::string &)> h) { onFailure_ = h; }
std::vector<ShownBox> ScriptedFrontEnd::BoxesOf(ShownBox::Kind) const { return {}; }
int ScriptedFrontEnd::PendingExpectations() const { return 0; }
int ScriptedFrontEnd::ProgressBoxesOnScreen() const { return 0; }
std::string ScriptedFrontEnd::Verify() { return {}; }
int ScriptedFrontEnd::Dialog(const DialogRequest &) { return -1; }
int ScriptedFrontEnd::Message(const MessageRequest &) { return -1; }
int ScriptedFrontEnd::Editor(const EditorRequest &) { return 0; }
void ScriptedFrontEnd::ScreenSaved(int) {}
void ScriptedFrontEnd::ScreenRestored(int) {}
void ScriptedFrontEnd::PanelRedrawn(const Panel &) {}
void ScriptedFrontEnd::Fail(const std::string &) {}
std::string ScriptedFrontEnd::CheckBox(const standin::Expect &, const ShownBox &) const {
    return {};
}
std::string StripHotKey(const std::string &label) { return label; }
std::string BuiltPluginModule() { return BSOPANEL_PLUGIN_MODULE; }

} // namespace standin
