// A front end for tests: answers dialogs and message boxes from a queue of expected boxes,
// records every box shown, and runs callbacks in place of the editor.
//
//   standin::ScriptedFrontEnd front;
//   front.Expect(standin::Expect::Dialog("BSOPoll").Edit(2, "2:5020/1").Radio(5).Press(9));
//   front.Expect(standin::Expect::Message().Title("Warning").Press(0));
//   front.ExpectEditor([](const standin::EditorRequest &e) { ... write e.nativePath ... });
//   ... drive the host ...
//   EXPECT_EQ("", front.Verify()); // failures and expectations never used, or "" when fine
//
// A box that no expectation is waiting for is a failure: it is recorded (with all its texts),
// printed to stderr, passed to the failure handler, and answered with Esc (-1). A box whose
// checks fail is answered with Esc too. Message boxes without buttons (progress boxes) are
// recorded but never take an expectation.
//
// The library does not use GoogleTest; scripted_gtest.h adds a front end that reports each
// failure with ADD_FAILURE at once.
#ifndef BSOPANEL_HOST_SCRIPTED_FRONTEND_H
#define BSOPANEL_HOST_SCRIPTED_FRONTEND_H

#include "host_core.h"

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace standin {

// One box as it was shown.
struct ShownBox {
    enum Kind { DialogBox, MessageBox, ProgressBox, EditorSession, ViewerSession };
    Kind kind = DialogBox;
    std::string helpTopic;
    // Dialog: the text of its first frame (DI_DOUBLEBOX / DI_SINGLEBOX). Message: Items[0].
    // Editor and viewer: the title.
    std::string title;
    // Dialog: every item's Data, by item index, as the plugin passed them (before the answer).
    // Message and progress: the lines between the title and the buttons. Editor: the file name.
    // Viewer: the file name, then the file's bytes as the viewer found them.
    std::vector<std::string> texts;
    std::vector<int> itemTypes;    // dialog: each item's Type
    std::vector<int> itemSelected; // dialog: each item's Selected as passed (0 for histories)
    std::vector<DWORD> itemFlags;  // dialog: each item's Flags
    // Dialog: each item's text as the host draws it: in texts, check boxes and radio buttons
    // without DIF_SHOWAMPERSAND an '&' marks a hot key and is not shown.
    std::vector<std::string> drawnTexts;
    std::vector<std::string> buttons; // message: the button texts; dialog: DI_BUTTON texts
    // Dialog: each item's history as the host offered it (empty for items without one).
    std::vector<std::vector<std::string>> histories;
    DWORD flags = 0;           // message flags (FMSG_WARNING); viewer flags
    int width = 0, height = 0; // dialog: X2, Y2 as passed
    int result = -1; // what the front end answered; viewer: 1 the host's own F3, 0 the plugin's
    // After the answer: the dialog's items' Data and Selected as handed back.
    std::vector<std::string> answeredTexts;
    std::vector<int> answeredSelected;
    int answeredFocus = -1; // dialog: the item the cursor was on when it closed
    bool HasText(const std::string &text) const; // title, a text or a button equals it
    std::string Describe() const;                // everything, for failure reports
};

// What a test expects of the next box, and how it answers.
class Expect {
public:
    static Expect Dialog(const std::string &helpTopic = "");
    static Expect Message(const std::string &title = "");

    // Checks (all optional).
    Expect &Title(const std::string &title);
    Expect &Help(const std::string &helpTopic);
    Expect &Contains(const std::string &text); // a title, line, item text or button equals it
    Expect &Warning(bool warning = true);      // message: FMSG_WARNING set or not
    Expect &ItemText(int index, const std::string &text); // dialog item Data as passed
    Expect &Shows(int index, const std::string &text);    // dialog item as the host draws it
    Expect &Selected(int index, int selected);            // dialog item Selected as passed
    // Any other check; return "" when fine, else what is wrong.
    Expect &Check(std::function<std::string(const ShownBox &)> check);

    // The answer. Edits and selections apply to dialogs only.
    Expect &Edit(int index, const std::string &text); // edit field's new text
    Expect &SetCheck(int index, bool on = true);      // check box
    Expect &Radio(int index);                         // turns the group's others off
    // Moves the cursor to the item with Up and Down: only the focus moves, and a radio button
    // with DIF_MOVESELECT takes its group's selection along, as in the host.
    Expect &Cursor(int index);
    Expect &Press(int index);                    // dialog: item index; message: button index
    Expect &PressText(const std::string &label); // the button labelled so ('&' ignored)
    Expect &Default();          // Enter: the dialog's default button; a message's 0
    Expect &EnterOn(int index); // dialog: Enter with the focus on that item (any kind)
    Expect &Esc();
    // Runs with the items after the answer was filled in, before the dialog returns.
    Expect &Then(std::function<void(FarDialogItem *items, int count)> action);

    bool IsDialog() const { return dialog_; }
    std::string Describe() const;

private:
    friend class ScriptedFrontEnd;
    enum class Button { Default, Index, Text, Escape, EnterOn };
    bool dialog_ = true;
    std::optional<std::string> title_, help_;
    std::vector<std::string> contains_;
    std::optional<bool> warning_;
    std::map<int, std::string> itemTexts_, shownTexts_;
    int cursor_ = -1;
    std::map<int, int> selected_;
    std::vector<std::function<std::string(const ShownBox &)>> checks_;
    std::vector<std::pair<int, std::string>> edits_;
    std::vector<std::pair<int, bool>> checkBoxes_;
    std::vector<int> radios_;
    Button button_ = Button::Default;
    int buttonIndex_ = 0;
    std::string buttonText_;
    std::function<void(FarDialogItem *, int)> then_;
};

class ScriptedFrontEnd : public FrontEnd {
public:
    ScriptedFrontEnd();
    ~ScriptedFrontEnd() override;

    void Expect(const standin::Expect &expectation);
    // The next editor opening runs this instead (the file may be written through nativePath).
    void ExpectEditor(std::function<void(const EditorRequest &)> edit, int result = 1);
    // Called with each failure as it happens (besides recording it).
    void OnFailure(std::function<void(const std::string &)> handler);

    // Every box, in order (dialogs, messages, progress boxes, editor sessions).
    const std::vector<ShownBox> &Boxes() const { return boxes_; }
    std::vector<ShownBox> BoxesOf(ShownBox::Kind kind) const;
    void ClearBoxes() { boxes_.clear(); }
    int PendingExpectations() const;
    // Progress boxes drawn and not yet taken away by a RestoreScreen.
    int ProgressBoxesOnScreen() const;
    const std::vector<std::string> &Failures() const { return failures_; }
    // Failures, then expectations never used; "" when everything went as scripted. Clears
    // both, so a test may verify in steps.
    std::string Verify();
    int RedrawCount() const { return redraws_; }

    int Dialog(const DialogRequest &request) override;
    int Message(const MessageRequest &request) override;
    int Editor(const EditorRequest &request) override;
    // Recorded, never expected: the viewer asks nothing.
    void Viewer(const ViewerRequest &request) override;
    void ScreenSaved(int id) override;
    void ScreenRestored(int id) override;
    void PanelRedrawn(const Panel &panel) override;

private:
    struct EditorExpectation {
        std::function<void(const EditorRequest &)> edit;
        int result;
    };
    void Fail(const std::string &what);
    std::string CheckBox(const standin::Expect &expectation, const ShownBox &box) const;

    std::deque<standin::Expect> expected_;
    std::deque<EditorExpectation> editors_;
    std::vector<ShownBox> boxes_;
    std::vector<std::string> failures_;
    std::function<void(const std::string &)> onFailure_;
    // Per saved screen (innermost last): the progress boxes drawn since.
    std::vector<std::pair<int, int>> screens_;
    int progressOnScreen_ = 0;
    int redraws_ = 0;
};

// Text of a label without its hot-key marks ("&OK" gives "OK").
std::string StripHotKey(const std::string &label);

// ---- For tests -------------------------------------------------------------------------------

// The built plugin module (bsopanel.so / bsopanel.dll beside its .lng files), in Win32 form.
std::string BuiltPluginModule();

// A registry of a test's own: on Linux a registry file in `directory` (native or Win32 form);
// on Windows a unique root key under HKEY_CURRENT_USER\Software\BsopanelTests, deleted with
// everything below it when the object goes away. Options() gives HostOptions that use it.
class TestRegistry {
public:
    explicit TestRegistry(const std::string &directory);
    ~TestRegistry();
    TestRegistry(const TestRegistry &) = delete;
    TestRegistry &operator=(const TestRegistry &) = delete;
    HostOptions Options() const;
    const std::string &RootKey() const { return rootKey_; } // "...\Plugins"
    const std::string &File() const { return file_; }       // Linux: the registry file
private:
    std::string rootKey_, file_, previous_;
    bool hadPrevious_ = false;
};

} // namespace standin

#endif
