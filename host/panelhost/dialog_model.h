// A dialog as the plugin described it in its FarDialogItem array, and how it answers keys:
// focus and Tab order, edit fields, one-character fixed fields, check boxes, radio groups,
// button rows centred together, hot keys. Drawing is the terminal's business (dialog_view);
// this part knows no terminal, so the tests drive it with keys.
#ifndef BSOPANEL_PANELHOST_DIALOG_MODEL_H
#define BSOPANEL_PANELHOST_DIALOG_MODEL_H

#include "keys.h"
#include "plugin_api.h"

#include <string>
#include <vector>

namespace panelhost {

struct DialogItemState {
    int type = DI_TEXT;
    DWORD flags = 0;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0; // inside the dialog; buttons of a centred row moved
    bool defaultButton = false;
    std::u32string label; // text items, buttons, check boxes, radio buttons: without '&'
    int hotKeyIndex = -1; // index of the hot-key character in label
    char32_t hotKey = 0;
    std::u32string text;              // edit fields: the text being edited
    int cursor = 0;                   // edit fields: cursor position in text
    int scroll = 0;                   // edit fields: first character shown
    bool marked = false;              // edit fields: the whole text is marked; typing replaces it
    bool selected = false;            // check boxes and radio buttons
    std::vector<std::string> history; // edit fields with DIF_HISTORY: earlier inputs
    int group = -1;                   // radio buttons: index of the first item of their group

    bool IsEdit() const { return type == DI_EDIT || type == DI_FIXEDIT || type == DI_PSWEDIT; }
    bool Focusable() const {
        return IsEdit() || type == DI_CHECKBOX || type == DI_RADIOBUTTON || type == DI_BUTTON;
    }
    int FieldWidth() const { return x2 >= x1 ? x2 - x1 + 1 : 1; }
    // Columns the item takes on its row: the label with its decoration.
    int DrawnWidth() const;
};

class DialogModel {
public:
    enum class Action { None, Close, Help, History };
    struct Outcome {
        Action action = Action::None;
        int result = -1; // Close: the index that closes the dialog (-1: cancelled)
        int item = -1;   // History: the edit field whose history is asked for
    };

    // Text limits: edit fields hold what Data holds (511 bytes and the terminating zero).
    static const int kMaxDataBytes = sizeof(FarDialogItem::Data) - 1;

    DialogModel(int width, int height, const FarDialogItem *items, int count,
                const std::vector<std::vector<std::string>> &histories = {});

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Count() const { return static_cast<int>(items_.size()); }
    const DialogItemState &Item(int index) const { return items_[static_cast<size_t>(index)]; }
    int Focus() const { return focus_; }
    bool SetFocus(int index);

    Outcome HandleKey(const Key &key);

    // The edit field takes a text chosen from its history.
    void SetEditText(int index, const std::string &utf8);
    // The item that a frame's separator line belongs to: the first frame whose rows hold y;
    // -1 when none does.
    int FrameAt(int y) const;
    // Writes Data of edit fields, Selected of check boxes and radio buttons and every item's
    // Focus into the plugin's items (each text cut to what Data holds, at a character boundary).
    void StoreInto(FarDialogItem *items, int count) const;

private:
    void LayOutCentredRows();
    void AssignGroups();
    void MoveFocus(int step);
    void SelectRadio(int index);
    void KeepCursorVisible(DialogItemState &item);
    bool EditKey(DialogItemState &item, const Key &key);
    bool InsertText(DialogItemState &item, char32_t c);
    Outcome HotKey(char32_t c);
    Outcome Activate(int index);

    int width_, height_;
    std::vector<DialogItemState> items_;
    int focus_ = -1;
};

} // namespace panelhost

#endif
