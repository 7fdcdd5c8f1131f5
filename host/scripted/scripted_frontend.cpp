#include "scripted_frontend.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace standin {

namespace {

const char *KindName(ShownBox::Kind kind) {
    switch (kind) {
    case ShownBox::DialogBox:
        return "dialog";
    case ShownBox::MessageBox:
        return "message";
    case ShownBox::ProgressBox:
        return "progress box";
    case ShownBox::EditorSession:
        return "editor";
    case ShownBox::ViewerSession:
        return "viewer";
    }
    return "?";
}

const char *TypeName(int type) {
    static const char *const names[] = {
        "DI_TEXT",    "DI_VTEXT",   "DI_SINGLEBOX", "DI_DOUBLEBOX", "DI_EDIT",
        "DI_PSWEDIT", "DI_FIXEDIT", "DI_BUTTON",    "DI_CHECKBOX",  "DI_RADIOBUTTON"};
    return type >= 0 && type <= 9 ? names[type] : "DI_?";
}

bool IsEditType(int type) {
    return type == DI_EDIT || type == DI_FIXEDIT || type == DI_PSWEDIT;
}

bool IsFocusable(const FarDialogItem &item) {
    return IsEditType(item.Type) || item.Type == DI_BUTTON || item.Type == DI_CHECKBOX ||
           item.Type == DI_RADIOBUTTON;
}

// Columns a text takes: characters, not bytes, where texts are UTF-8.
int TextColumns(const std::string &text) {
#ifdef _WIN32
    return static_cast<int>(text.size());
#else
    int columns = 0;
    for (unsigned char c : text) columns += (c & 0xC0) != 0x80;
    return columns;
#endif
}

// The text as the host draws the item: the hot-key mark is gone unless DIF_SHOWAMPERSAND.
std::string DrawnText(const FarDialogItem &item) {
    bool marked = item.Type == DI_TEXT || item.Type == DI_CHECKBOX || item.Type == DI_RADIOBUTTON ||
                  item.Type == DI_BUTTON;
    if (!marked || (item.Flags & DIF_SHOWAMPERSAND)) return item.Data;
    return StripHotKey(item.Data);
}

// What the host would draw wrongly: an item on or outside the frame, a text running past the
// frame (radio and check box texts are cut only at the dialog's edge) or cut at its X2, a
// row of centred buttons wider than the frame.
std::string LayoutFaults(const FarDialogItem *items, int count) {
    const FarDialogItem *frame = nullptr;
    for (int i = 0; i < count && !frame; ++i)
        if (items[i].Type == DI_DOUBLEBOX || items[i].Type == DI_SINGLEBOX) frame = &items[i];
    // The host's own dialogs here come without a geometry.
    if (!frame || frame->X2 <= frame->X1) return "";
    std::ostringstream faults;
    std::map<int, int> rows;         // centred buttons: their row's width
    std::map<std::string, int> keys; // hot keys: the first item with each
    for (int i = 0; i < count; ++i) {
        const FarDialogItem &item = items[i];
        if (&item == frame) continue;
        if (item.Y1 <= frame->Y1 || item.Y1 >= frame->Y2)
            faults << "item " << i << " lies on or outside the frame; ";
        int width = TextColumns(DrawnText(item));
        // The host finds a hot key at the first item that has it: a later one is unreachable.
        std::string drawn = DrawnText(item);
        if (drawn != item.Data) {
            size_t at = std::string(item.Data).find('&');
            while (at != std::string::npos && item.Data[at + 1] == '&')
                at = std::string(item.Data).find('&', at + 2);
            if (at != std::string::npos && item.Data[at + 1]) {
                std::string key(1, item.Data[at + 1]);
                for (size_t k = at + 2; (item.Data[k] & 0xC0) == 0x80; ++k) key += item.Data[k];
                if (key.size() == 1) key[0] = static_cast<char>(std::toupper(key[0]));
                if (keys.count(key))
                    faults << "item " << i << "'s hot key " << key << " is item " << keys[key]
                           << "'s; ";
                else
                    keys[key] = i;
            }
        }
        if (item.Type == DI_BUTTON && (item.Flags & DIF_CENTERGROUP)) {
            rows[item.Y1] += (rows.count(item.Y1) ? 1 : 0) + width + 4;
            continue;
        }
        bool decorated = item.Type == DI_CHECKBOX || item.Type == DI_RADIOBUTTON;
        if ((item.Type != DI_TEXT && !decorated) || (item.Flags & DIF_SEPARATOR) || item.X1 < 0)
            continue;
        if (item.X1 + (decorated ? 4 : 0) + width > frame->X2)
            faults << "item " << i << "'s text runs past the frame; ";
        else if (item.Type == DI_TEXT && item.X2 >= item.X1 && width > item.X2 - item.X1 + 1)
            faults << "item " << i << "'s text is cut at its X2; ";
    }
    for (const auto &row : rows)
        if (row.second > frame->X2 - frame->X1 - 1)
            faults << "the buttons of row " << row.first << " are wider than the frame; ";
    return faults.str();
}

} // namespace

std::string StripHotKey(const std::string &label) {
    std::string plain;
    for (size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '&' && i + 1 < label.size() && label[i + 1] != '&') continue;
        if (label[i] == '&' && i + 1 < label.size()) ++i; // "&&" shows one '&'
        plain += label[i];
    }
    return plain;
}

// ---- ShownBox ---------------------------------------------------------------------------------

bool ShownBox::HasText(const std::string &text) const {
    if (title == text || StripHotKey(title) == text) return true;
    for (const std::string &t : texts)
        if (t == text || StripHotKey(t) == text) return true;
    for (const std::string &b : buttons)
        if (b == text || StripHotKey(b) == text) return true;
    return false;
}

std::string ShownBox::Describe() const {
    std::ostringstream out;
    out << KindName(kind) << " \"" << title << "\"";
    if (!helpTopic.empty()) out << " help \"" << helpTopic << "\"";
    if (kind == DialogBox) {
        out << " " << width << "x" << height << ":\n";
        for (size_t i = 0; i < texts.size(); ++i) {
            out << "  [" << i << "] " << TypeName(itemTypes[i]) << " \"" << texts[i] << "\"";
            if (itemTypes[i] == DI_CHECKBOX || itemTypes[i] == DI_RADIOBUTTON)
                out << " selected " << itemSelected[i];
            if (itemFlags[i]) out << " flags 0x" << std::hex << itemFlags[i] << std::dec;
            out << "\n";
        }
    } else if (kind == EditorSession || kind == ViewerSession) {
        out << " on " << (texts.empty() ? "" : texts[0]) << "\n";
    } else {
        out << (flags & FMSG_WARNING ? " (warning)" : "") << ":\n";
        for (const std::string &line : texts) out << "  | " << line << "\n";
        for (size_t i = 0; i < buttons.size(); ++i)
            out << "  [" << i << "] button \"" << buttons[i] << "\"\n";
    }
    return out.str();
}

// ---- Expect -----------------------------------------------------------------------------------

Expect Expect::Dialog(const std::string &helpTopic) {
    Expect expect;
    if (!helpTopic.empty()) expect.help_ = helpTopic;
    return expect;
}

Expect Expect::Message(const std::string &title) {
    Expect expect;
    expect.dialog_ = false;
    if (!title.empty()) expect.title_ = title;
    return expect;
}

Expect &Expect::Title(const std::string &title) {
    title_ = title;
    return *this;
}
Expect &Expect::Help(const std::string &helpTopic) {
    help_ = helpTopic;
    return *this;
}
Expect &Expect::Contains(const std::string &text) {
    contains_.push_back(text);
    return *this;
}
Expect &Expect::Warning(bool warning) {
    warning_ = warning;
    return *this;
}
Expect &Expect::ItemText(int index, const std::string &text) {
    itemTexts_[index] = text;
    return *this;
}
Expect &Expect::Shows(int index, const std::string &text) {
    shownTexts_[index] = text;
    return *this;
}
Expect &Expect::Cursor(int index) {
    cursor_ = index;
    return *this;
}
Expect &Expect::Selected(int index, int selected) {
    selected_[index] = selected;
    return *this;
}
Expect &Expect::Check(std::function<std::string(const ShownBox &)> check) {
    checks_.push_back(std::move(check));
    return *this;
}
Expect &Expect::Edit(int index, const std::string &text) {
    edits_.emplace_back(index, text);
    return *this;
}
Expect &Expect::SetCheck(int index, bool on) {
    checkBoxes_.emplace_back(index, on);
    return *this;
}
Expect &Expect::Radio(int index) {
    radios_.push_back(index);
    return *this;
}
Expect &Expect::Press(int index) {
    button_ = Button::Index;
    buttonIndex_ = index;
    return *this;
}
Expect &Expect::EnterOn(int index) {
    button_ = Button::EnterOn;
    buttonIndex_ = index;
    return *this;
}
Expect &Expect::PressText(const std::string &label) {
    button_ = Button::Text;
    buttonText_ = label;
    return *this;
}
Expect &Expect::Default() {
    button_ = Button::Default;
    return *this;
}
Expect &Expect::Esc() {
    button_ = Button::Escape;
    return *this;
}
Expect &Expect::Then(std::function<void(FarDialogItem *, int)> action) {
    then_ = std::move(action);
    return *this;
}

std::string Expect::Describe() const {
    std::ostringstream out;
    out << (dialog_ ? "dialog" : "message");
    if (help_) out << " help \"" << *help_ << "\"";
    if (title_) out << " title \"" << *title_ << "\"";
    for (const std::string &text : contains_) out << " containing \"" << text << "\"";
    switch (button_) {
    case Button::Default:
        out << ", answered with Enter";
        break;
    case Button::EnterOn:
        out << ", Enter on item " << buttonIndex_;
        break;
    case Button::Index:
        out << ", answered with " << buttonIndex_;
        break;
    case Button::Text:
        out << ", answered with \"" << buttonText_ << "\"";
        break;
    case Button::Escape:
        out << ", answered with Esc";
        break;
    }
    return out.str();
}

// ---- ScriptedFrontEnd -------------------------------------------------------------------------

ScriptedFrontEnd::ScriptedFrontEnd() = default;
ScriptedFrontEnd::~ScriptedFrontEnd() = default;

void ScriptedFrontEnd::Expect(const standin::Expect &expectation) {
    expected_.push_back(expectation);
}

void ScriptedFrontEnd::ExpectEditor(std::function<void(const EditorRequest &)> edit, int result) {
    editors_.push_back(EditorExpectation{std::move(edit), result});
}

void ScriptedFrontEnd::OnFailure(std::function<void(const std::string &)> handler) {
    onFailure_ = std::move(handler);
}

void ScriptedFrontEnd::Fail(const std::string &what) {
    failures_.push_back(what);
    fprintf(stderr, "scripted front end: %s\n", what.c_str());
    if (onFailure_) onFailure_(what);
}

std::vector<ShownBox> ScriptedFrontEnd::BoxesOf(ShownBox::Kind kind) const {
    std::vector<ShownBox> found;
    for (const ShownBox &box : boxes_)
        if (box.kind == kind) found.push_back(box);
    return found;
}

int ScriptedFrontEnd::PendingExpectations() const {
    return static_cast<int>(expected_.size() + editors_.size());
}

int ScriptedFrontEnd::ProgressBoxesOnScreen() const {
    return progressOnScreen_;
}

std::string ScriptedFrontEnd::Verify() {
    std::ostringstream out;
    for (const std::string &failure : failures_) out << failure << "\n";
    for (const standin::Expect &expectation : expected_)
        out << "expected and never shown: " << expectation.Describe() << "\n";
    if (!editors_.empty()) out << editors_.size() << " expected editor session(s) never opened\n";
    failures_.clear();
    expected_.clear();
    editors_.clear();
    return out.str();
}

std::string ScriptedFrontEnd::CheckBox(const standin::Expect &expectation,
                                       const ShownBox &box) const {
    std::ostringstream wrong;
    if (expectation.dialog_ != (box.kind == ShownBox::DialogBox))
        wrong << "expected a " << (expectation.dialog_ ? "dialog" : "message box") << "; ";
    if (expectation.title_ && box.title != *expectation.title_ &&
        StripHotKey(box.title) != *expectation.title_)
        wrong << "title is not \"" << *expectation.title_ << "\"; ";
    if (expectation.help_ && box.helpTopic != *expectation.help_)
        wrong << "help topic is not \"" << *expectation.help_ << "\"; ";
    for (const std::string &text : expectation.contains_)
        if (!box.HasText(text)) wrong << "no text \"" << text << "\"; ";
    if (expectation.warning_ && ((box.flags & FMSG_WARNING) != 0) != *expectation.warning_)
        wrong << (*expectation.warning_ ? "not a warning; " : "a warning; ");
    for (const auto &item : expectation.itemTexts_)
        if (item.first < 0 || item.first >= static_cast<int>(box.texts.size()) ||
            box.texts[item.first] != item.second)
            wrong << "item " << item.first << " is not \"" << item.second << "\"; ";
    for (const auto &item : expectation.shownTexts_)
        if (item.first < 0 || item.first >= static_cast<int>(box.drawnTexts.size()) ||
            box.drawnTexts[item.first] != item.second)
            wrong << "item " << item.first << " does not show \"" << item.second << "\"; ";
    for (const auto &item : expectation.selected_)
        if (item.first < 0 || item.first >= static_cast<int>(box.itemSelected.size()) ||
            box.itemSelected[item.first] != item.second)
            wrong << "item " << item.first << " is not selected " << item.second << "; ";
    for (const auto &check : expectation.checks_) {
        std::string problem = check(box);
        if (!problem.empty()) wrong << problem << "; ";
    }
    return wrong.str();
}

int ScriptedFrontEnd::Dialog(const DialogRequest &request) {
    ShownBox box;
    box.kind = ShownBox::DialogBox;
    box.helpTopic = request.helpTopic;
    box.width = request.x2;
    box.height = request.y2;
    box.histories = request.histories;
    FarDialogItem *items = request.items;
    int count = request.count;
    for (int i = 0; i < count; ++i) {
        box.texts.push_back(items[i].Data);
        box.itemTypes.push_back(items[i].Type);
        bool history = (items[i].Flags & DIF_HISTORY) && IsEditType(items[i].Type);
        box.itemSelected.push_back(history ? 0 : items[i].Selected);
        box.itemFlags.push_back(items[i].Flags);
        box.drawnTexts.push_back(DrawnText(items[i]));
        if (items[i].Type == DI_BUTTON) box.buttons.push_back(items[i].Data);
        if (box.title.empty() && (items[i].Type == DI_DOUBLEBOX || items[i].Type == DI_SINGLEBOX))
            box.title = items[i].Data;
    }
    std::string faults = LayoutFaults(items, count);
    if (!faults.empty()) Fail("a dialog the host draws wrongly: " + faults + "\n" + box.Describe());
    // The host writes every item's Focus back: the cursor's item, else where it started.
    int focus = -1;
    for (int i = 0; i < count && focus < 0; ++i)
        if (items[i].Focus && IsFocusable(items[i])) focus = i;
    for (int i = 0; i < count && focus < 0; ++i)
        if (IsFocusable(items[i])) focus = i;
    auto finish = [&](int result) {
        box.result = result;
        for (int i = 0; i < count; ++i) items[i].Focus = i == focus ? 1 : 0;
        box.answeredFocus = focus;
        for (int i = 0; i < count; ++i) {
            box.answeredTexts.push_back(items[i].Data);
            bool history = (items[i].Flags & DIF_HISTORY) && IsEditType(items[i].Type);
            box.answeredSelected.push_back(history ? 0 : items[i].Selected);
        }
        boxes_.push_back(box);
        return result;
    };
    if (expected_.empty()) {
        Fail("a dialog that no answer expects:\n" + box.Describe());
        return finish(-1);
    }
    standin::Expect expectation = expected_.front();
    expected_.pop_front();
    std::string wrong = CheckBox(expectation, box);
    if (!wrong.empty()) {
        Fail("the dialog is not the one expected (" + expectation.Describe() + "): " + wrong +
             "\n" + box.Describe());
        return finish(-1);
    }
    for (const auto &edit : expectation.edits_) {
        int i = edit.first;
        if (i < 0 || i >= count || !IsEditType(items[i].Type)) {
            Fail("the script types into item " + std::to_string(i) + ", which is no edit field:\n" +
                 box.Describe());
            continue;
        }
        std::string text = edit.second;
        // A fixed-width field takes no more characters than it shows.
        if (items[i].Type == DI_FIXEDIT && items[i].X2 >= items[i].X1) {
            size_t width = static_cast<size_t>(items[i].X2 - items[i].X1 + 1);
            if (text.size() > width) text.resize(width);
        }
        if (text.size() >= sizeof items[i].Data) text.resize(sizeof items[i].Data - 1);
        std::memcpy(items[i].Data, text.c_str(), text.size() + 1);
    }
    for (const auto &check : expectation.checkBoxes_) {
        int i = check.first;
        if (i < 0 || i >= count || items[i].Type != DI_CHECKBOX) {
            Fail("the script sets item " + std::to_string(i) + ", which is no check box:\n" +
                 box.Describe());
            continue;
        }
        items[i].Selected = check.second ? 1 : 0;
    }
    if (expectation.cursor_ >= 0) {
        int i = expectation.cursor_;
        if (i >= count || !IsFocusable(items[i])) {
            Fail("the script moves the cursor to item " + std::to_string(i) +
                 ", which takes no focus:\n" + box.Describe());
        } else {
            focus = i;
            if (items[i].Type == DI_RADIOBUTTON && (items[i].Flags & DIF_MOVESELECT)) {
                int first, last;
                RadioGroupOf(items, count, i, first, last);
                for (int j = first; j < last; ++j) items[j].Selected = j == i ? 1 : 0;
            }
        }
    }
    for (int i : expectation.radios_) {
        if (i < 0 || i >= count || items[i].Type != DI_RADIOBUTTON) {
            Fail("the script picks item " + std::to_string(i) + ", which is no radio button:\n" +
                 box.Describe());
            continue;
        }
        int first, last;
        RadioGroupOf(items, count, i, first, last);
        for (int j = first; j < last; ++j) items[j].Selected = j == i ? 1 : 0;
    }
    int result = -1;
    switch (expectation.button_) {
    case standin::Expect::Button::Escape:
        result = -1;
        break;
    case standin::Expect::Button::Default:
        for (int i = 0; i < count && result < 0; ++i)
            if (items[i].DefaultButton) result = i;
        if (result < 0) Fail("Enter in a dialog without a default button:\n" + box.Describe());
        break;
    case standin::Expect::Button::Index:
        result = expectation.buttonIndex_;
        if (result < 0 || result >= count || items[result].Type != DI_BUTTON) {
            Fail("the script presses item " + std::to_string(result) + ", which is no button:\n" +
                 box.Describe());
            result = -1;
        }
        break;
    case standin::Expect::Button::EnterOn:
        // The front end tells where Enter was pressed; the host picks the default button.
        result = expectation.buttonIndex_;
        if (result < 0 || result >= count) {
            Fail("the script presses Enter on item " + std::to_string(result) +
                 ", which the dialog does not have:\n" + box.Describe());
            result = -1;
        }
        break;
    case standin::Expect::Button::Text:
        for (int i = 0; i < count && result < 0; ++i)
            if (items[i].Type == DI_BUTTON &&
                (expectation.buttonText_ == items[i].Data ||
                 expectation.buttonText_ == StripHotKey(items[i].Data)))
                result = i;
        if (result < 0)
            Fail("no button \"" + expectation.buttonText_ + "\" in the dialog:\n" + box.Describe());
        break;
    }
    // A button pressed by its hot key or with Tab and Enter takes the focus; Enter elsewhere
    // leaves it where it was.
    bool pressed = expectation.button_ == standin::Expect::Button::Index ||
                   expectation.button_ == standin::Expect::Button::Text;
    if (pressed && result >= 0) focus = result;
    if (expectation.button_ == standin::Expect::Button::EnterOn && result >= 0) focus = result;
    if (expectation.then_) expectation.then_(items, count);
    return finish(result);
}

int ScriptedFrontEnd::Message(const MessageRequest &request) {
    ShownBox box;
    box.kind = request.buttons.empty() ? ShownBox::ProgressBox : ShownBox::MessageBox;
    box.helpTopic = request.helpTopic;
    box.title = request.title;
    box.texts = request.lines;
    box.buttons = request.buttons;
    box.flags = request.flags;
    if (request.buttons.empty()) {
        // Drawn and left on screen; nothing to answer.
        ++progressOnScreen_;
        if (!screens_.empty()) ++screens_.back().second;
        boxes_.push_back(box);
        return -1;
    }
    auto finish = [&](int result) {
        box.result = result;
        boxes_.push_back(box);
        return result;
    };
    if (expected_.empty()) {
        Fail("a message box that no answer expects:\n" + box.Describe());
        return finish(-1);
    }
    standin::Expect expectation = expected_.front();
    expected_.pop_front();
    std::string wrong = CheckBox(expectation, box);
    if (!wrong.empty()) {
        Fail("the message box is not the one expected (" + expectation.Describe() + "): " + wrong +
             "\n" + box.Describe());
        return finish(-1);
    }
    if (!expectation.edits_.empty() || !expectation.checkBoxes_.empty() ||
        !expectation.radios_.empty())
        Fail("the script fills fields of a message box:\n" + box.Describe());
    int buttons = static_cast<int>(request.buttons.size());
    int result = -1;
    switch (expectation.button_) {
    case standin::Expect::Button::Escape:
        result = -1;
        break;
    case standin::Expect::Button::Default:
        result = 0;
        break;
    case standin::Expect::Button::Index:
        result = expectation.buttonIndex_;
        if (result < 0 || result >= buttons) {
            Fail("the script presses button " + std::to_string(result) + " of a box with " +
                 std::to_string(buttons) + ":\n" + box.Describe());
            result = -1;
        }
        break;
    case standin::Expect::Button::EnterOn: // a message box has buttons only
        result = 0;
        break;
    case standin::Expect::Button::Text:
        for (int i = 0; i < buttons && result < 0; ++i)
            if (expectation.buttonText_ == request.buttons[i] ||
                expectation.buttonText_ == StripHotKey(request.buttons[i]))
                result = i;
        if (result < 0)
            Fail("no button \"" + expectation.buttonText_ + "\" in the box:\n" + box.Describe());
        break;
    }
    return finish(result);
}

int ScriptedFrontEnd::Editor(const EditorRequest &request) {
    ShownBox box;
    box.kind = ShownBox::EditorSession;
    box.title = request.title;
    box.texts.push_back(request.fileName);
    if (editors_.empty()) {
        Fail("an editor that no script expects:\n" + box.Describe());
        box.result = 0;
        boxes_.push_back(box);
        return 0;
    }
    EditorExpectation expectation = std::move(editors_.front());
    editors_.pop_front();
    if (expectation.edit) expectation.edit(request);
    box.result = expectation.result;
    boxes_.push_back(box);
    return expectation.result;
}

void ScriptedFrontEnd::Viewer(const ViewerRequest &request) {
    ShownBox box;
    box.kind = ShownBox::ViewerSession;
    box.title = request.title;
    box.flags = request.flags;
    box.texts.push_back(request.fileName);
    std::ifstream file(request.nativePath, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    box.texts.push_back(bytes.str());
    box.result = request.hostOwn ? 1 : 0;
    boxes_.push_back(box);
}

void ScriptedFrontEnd::ScreenSaved(int id) {
    screens_.emplace_back(id, 0);
}

void ScriptedFrontEnd::ScreenRestored(int id) {
    // Restoring a screen takes away what was drawn since, inner saves included.
    for (size_t i = screens_.size(); i-- > 0;) {
        if (screens_[i].first != id) continue;
        for (size_t j = i; j < screens_.size(); ++j) progressOnScreen_ -= screens_[j].second;
        screens_.resize(i);
        return;
    }
}

void ScriptedFrontEnd::PanelRedrawn(const Panel &) {
    ++redraws_;
}

// ---- The built plugin -------------------------------------------------------------------------

std::string BuiltPluginModule() {
    return Win32Path(BSOPANEL_PLUGIN_MODULE);
}

} // namespace standin
