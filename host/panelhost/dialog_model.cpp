#include "dialog_model.h"
#include "text.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace panelhost {

int DialogItemState::DrawnWidth() const {
    switch (type) {
    case DI_BUTTON:
        return TextWidth(label) + 4; // "[ OK ]"
    case DI_CHECKBOX:
    case DI_RADIOBUTTON:
        return TextWidth(label) + 4; // "[x] label", "(•) label"
    case DI_EDIT:
    case DI_FIXEDIT:
    case DI_PSWEDIT:
        return FieldWidth();
    default:
        return TextWidth(label);
    }
}

DialogModel::DialogModel(int width, int height, const FarDialogItem *items, int count,
                         const std::vector<std::vector<std::string>> &histories)
    : width_(width), height_(height) {
    for (int i = 0; i < count; ++i) {
        const FarDialogItem &source = items[i];
        DialogItemState item;
        item.type = source.Type;
        item.flags = source.Flags;
        item.x1 = source.X1;
        item.y1 = source.Y1;
        item.x2 = source.X2;
        item.y2 = source.Y2;
        item.defaultButton = source.DefaultButton != 0;
        std::string data(source.Data, strnlen(source.Data, sizeof source.Data));
        if (item.IsEdit()) {
            item.text = DecodeUtf8(data);
            if (item.type == DI_FIXEDIT && static_cast<int>(item.text.size()) > item.FieldWidth())
                item.text.resize(static_cast<size_t>(item.FieldWidth()));
            item.cursor = static_cast<int>(item.text.size());
            if ((item.flags & DIF_HISTORY) && static_cast<size_t>(i) < histories.size())
                item.history = histories[static_cast<size_t>(i)];
        } else {
            // Texts, check boxes and radio buttons with DIF_SHOWAMPERSAND show '&' as it is.
            bool plain =
                (item.flags & DIF_SHOWAMPERSAND) &&
                (item.type == DI_TEXT || item.type == DI_CHECKBOX || item.type == DI_RADIOBUTTON);
            if (plain)
                item.label = DecodeUtf8(data);
            else
                item.label = StripHotKeyMark(DecodeUtf8(data), &item.hotKeyIndex, &item.hotKey);
        }
        // Selected shares its place with History: only these types have a state.
        if (item.type == DI_CHECKBOX || item.type == DI_RADIOBUTTON)
            item.selected = source.Selected != 0;
        if (item.type == DI_TEXT && item.x1 == -1)
            item.x1 = std::max(0, (width_ - TextWidth(item.label)) / 2);
        items_.push_back(item);
    }
    LayOutCentredRows();
    AssignGroups();
    for (int i = 0; i < count && focus_ < 0; ++i)
        if (items[i].Focus && items_[static_cast<size_t>(i)].Focusable()) focus_ = i;
    for (int i = 0; i < count && focus_ < 0; ++i)
        if (items_[static_cast<size_t>(i)].Focusable()) focus_ = i;
    if (focus_ >= 0) {
        DialogItemState &focused = items_[static_cast<size_t>(focus_)];
        if (focused.IsEdit()) {
            focused.marked = !focused.text.empty();
            KeepCursorVisible(focused);
        }
    }
}

void DialogModel::LayOutCentredRows() {
    std::map<int, std::vector<size_t>> rows;
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].flags & DIF_CENTERGROUP) rows[items_[i].y1].push_back(i);
    for (auto &row : rows) {
        int total = -1;
        for (size_t index : row.second) total += items_[index].DrawnWidth() + 1;
        int x = std::max(0, (width_ - total) / 2);
        for (size_t index : row.second) {
            DialogItemState &item = items_[index];
            int drawn = item.DrawnWidth();
            item.x1 = x;
            item.x2 = x + drawn - 1;
            x += drawn + 1;
        }
    }
}

void DialogModel::AssignGroups() {
    int start = -1;
    for (size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].type != DI_RADIOBUTTON) continue;
        // A group is an unbroken run of radio buttons; DIF_GROUP starts a new one.
        if ((items_[i].flags & DIF_GROUP) || i == 0 || items_[i - 1].type != DI_RADIOBUTTON)
            start = static_cast<int>(i);
        items_[i].group = start;
    }
}

bool DialogModel::SetFocus(int index) {
    if (index < 0 || index >= Count() || !items_[static_cast<size_t>(index)].Focusable())
        return false;
    if (focus_ >= 0) items_[static_cast<size_t>(focus_)].marked = false;
    focus_ = index;
    DialogItemState &item = items_[static_cast<size_t>(index)];
    if (item.IsEdit()) {
        // Coming into a field marks its text, so that typing replaces it.
        item.marked = !item.text.empty();
        item.cursor = static_cast<int>(item.text.size());
        if (item.type == DI_FIXEDIT) item.cursor = std::min(item.cursor, item.FieldWidth() - 1);
        KeepCursorVisible(item);
    }
    return true;
}

void DialogModel::MoveFocus(int step) {
    if (focus_ < 0) return;
    int count = Count();
    for (int tries = 1; tries <= count; ++tries) {
        int next = ((focus_ + step * tries) % count + count) % count;
        if (items_[static_cast<size_t>(next)].Focusable()) {
            SetFocus(next);
            // Rows of a list: the selection follows the cursor.
            const DialogItemState &item = items_[static_cast<size_t>(next)];
            if (item.type == DI_RADIOBUTTON && (item.flags & DIF_MOVESELECT)) SelectRadio(next);
            return;
        }
    }
}

void DialogModel::SelectRadio(int index) {
    DialogItemState &chosen = items_[static_cast<size_t>(index)];
    for (DialogItemState &item : items_)
        if (item.type == DI_RADIOBUTTON && item.group == chosen.group) item.selected = false;
    chosen.selected = true;
}

void DialogModel::KeepCursorVisible(DialogItemState &item) {
    int width = item.FieldWidth();
    int length = static_cast<int>(item.text.size());
    item.cursor = std::max(0, std::min(item.cursor, length));
    if (item.type == DI_FIXEDIT) {
        item.scroll = 0;
        item.cursor = std::min(item.cursor, width - 1);
        return;
    }
    if (item.cursor < item.scroll) item.scroll = item.cursor;
    if (item.cursor >= item.scroll + width) item.scroll = item.cursor - width + 1;
    item.scroll = std::max(0, item.scroll);
}

bool DialogModel::InsertText(DialogItemState &item, char32_t c) {
    std::u32string text = item.text;
    int cursor = item.cursor;
    if (item.marked) {
        text.clear();
        cursor = 0;
    }
    if (item.type == DI_FIXEDIT) {
        int width = item.FieldWidth();
        cursor = std::min(cursor, width - 1);
        if (cursor < static_cast<int>(text.size()))
            text[static_cast<size_t>(cursor)] = c;
        else
            text += c;
        if (static_cast<int>(text.size()) > width) text.resize(static_cast<size_t>(width));
        cursor = std::min(cursor + 1, width - 1);
    } else {
        text.insert(text.begin() + cursor, c);
        ++cursor;
    }
    if (static_cast<int>(EncodeUtf8(text).size()) > kMaxDataBytes) return false;
    item.text = text;
    item.cursor = cursor;
    item.marked = false;
    return true;
}

bool DialogModel::EditKey(DialogItemState &item, const Key &key) {
    int length = static_cast<int>(item.text.size());
    if (key.IsText()) {
        InsertText(item, key.ch);
    } else if (key.Is(VK_LEFT)) {
        item.marked = false;
        item.cursor = std::max(0, item.cursor - 1);
    } else if (key.Is(VK_RIGHT)) {
        item.marked = false;
        item.cursor = std::min(length, item.cursor + 1);
    } else if (key.Is(VK_HOME)) {
        item.marked = false;
        item.cursor = 0;
    } else if (key.Is(VK_END)) {
        item.marked = false;
        item.cursor = length;
    } else if (key.Is(VK_BACK)) {
        if (item.marked) {
            item.text.clear();
            item.cursor = 0;
        } else if (item.cursor > 0) {
            item.text.erase(static_cast<size_t>(item.cursor - 1), 1);
            --item.cursor;
        }
        item.marked = false;
    } else if (key.Is(VK_DELETE)) {
        if (item.marked) {
            item.text.clear();
            item.cursor = 0;
        } else if (item.cursor < length) {
            item.text.erase(static_cast<size_t>(item.cursor), 1);
        }
        item.marked = false;
    } else if (key.Is('Y', PKF_CONTROL)) {
        item.text.clear();
        item.cursor = 0;
        item.marked = false;
    } else {
        return false;
    }
    KeepCursorVisible(item);
    return true;
}

DialogModel::Outcome DialogModel::Activate(int index) {
    Outcome outcome;
    DialogItemState &item = items_[static_cast<size_t>(index)];
    switch (item.type) {
    case DI_BUTTON:
        outcome.action = Action::Close;
        outcome.result = index;
        break;
    case DI_CHECKBOX:
        SetFocus(index);
        item.selected = !item.selected;
        break;
    case DI_RADIOBUTTON:
        SetFocus(index);
        SelectRadio(index);
        break;
    default:
        // A label's hot key leads to the field after it.
        for (int next = index + 1; next < Count(); ++next)
            if (items_[static_cast<size_t>(next)].Focusable()) {
                SetFocus(next);
                break;
            }
        break;
    }
    return outcome;
}

DialogModel::Outcome DialogModel::HotKey(char32_t c) {
    if (!c) return Outcome();
    for (int i = 0; i < Count(); ++i) {
        const DialogItemState &item = items_[static_cast<size_t>(i)];
        if (item.hotKey && FoldCase(item.hotKey) == FoldCase(c)) return Activate(i);
    }
    return Outcome();
}

DialogModel::Outcome DialogModel::HandleKey(const Key &key) {
    Outcome outcome;
    if (key.resize || key.None()) return outcome;
    if (key.Is(VK_F1)) {
        outcome.action = Action::Help;
        return outcome;
    }
    if (key.Is(VK_ESCAPE) || key.Is(VK_F10)) {
        outcome.action = Action::Close;
        outcome.result = -1;
        return outcome;
    }
    if (focus_ < 0) return outcome;
    DialogItemState &item = items_[static_cast<size_t>(focus_)];
    if (key.Is(VK_RETURN) || key.Is(VK_RETURN, PKF_CONTROL)) {
        outcome.action = Action::Close;
        outcome.result = focus_;
        if (item.type != DI_BUTTON)
            for (int i = 0; i < Count(); ++i)
                if (items_[static_cast<size_t>(i)].defaultButton) {
                    outcome.result = i;
                    break;
                }
        return outcome;
    }
    if (key.Is(VK_TAB)) {
        MoveFocus(1);
        return outcome;
    }
    if (key.Is(VK_TAB, PKF_SHIFT)) {
        MoveFocus(-1);
        return outcome;
    }
    if (item.IsEdit()) {
        if ((key.Is(VK_DOWN, PKF_CONTROL) || key.Is(VK_DOWN, PKF_ALT)) &&
            (item.flags & DIF_HISTORY)) {
            outcome.action = Action::History;
            outcome.item = focus_;
            return outcome;
        }
        if (key.Is(VK_UP)) {
            MoveFocus(-1);
            return outcome;
        }
        if (key.Is(VK_DOWN)) {
            MoveFocus(1);
            return outcome;
        }
        if (EditKey(item, key)) return outcome;
        if (key.state == PKF_ALT || key.state == (PKF_ALT | PKF_SHIFT)) return HotKey(key.ch);
        return outcome;
    }
    if (key.Is(VK_UP) || key.Is(VK_LEFT)) {
        MoveFocus(-1);
        return outcome;
    }
    if (key.Is(VK_DOWN) || key.Is(VK_RIGHT)) {
        MoveFocus(1);
        return outcome;
    }
    if (key.Is(VK_SPACE)) {
        if (item.type == DI_CHECKBOX) item.selected = !item.selected;
        if (item.type == DI_RADIOBUTTON) SelectRadio(focus_);
        if (item.type == DI_BUTTON) {
            outcome.action = Action::Close;
            outcome.result = focus_;
        }
        return outcome;
    }
    if (key.IsText() || key.state == PKF_ALT || key.state == (PKF_ALT | PKF_SHIFT))
        return HotKey(key.ch);
    return outcome;
}

void DialogModel::SetEditText(int index, const std::string &utf8) {
    if (index < 0 || index >= Count()) return;
    DialogItemState &item = items_[static_cast<size_t>(index)];
    if (!item.IsEdit()) return;
    std::u32string text = DecodeUtf8(utf8);
    while (!text.empty() && static_cast<int>(EncodeUtf8(text).size()) > kMaxDataBytes)
        text.pop_back();
    item.text = text;
    item.cursor = static_cast<int>(text.size());
    item.marked = false;
    KeepCursorVisible(item);
}

int DialogModel::FrameAt(int y) const {
    for (int i = 0; i < Count(); ++i) {
        const DialogItemState &item = items_[static_cast<size_t>(i)];
        if ((item.type == DI_DOUBLEBOX || item.type == DI_SINGLEBOX) && y > item.y1 && y < item.y2)
            return i;
    }
    return -1;
}

void DialogModel::StoreInto(FarDialogItem *items, int count) const {
    for (int i = 0; i < count && i < Count(); ++i) {
        const DialogItemState &item = items_[static_cast<size_t>(i)];
        items[i].Focus = i == focus_ ? 1 : 0;
        if (item.IsEdit()) {
            std::string bytes = EncodeUtf8(item.text);
            // Cut at a character boundary so the text stays valid UTF-8.
            size_t length = std::min(bytes.size(), static_cast<size_t>(kMaxDataBytes));
            while (length > 0 && length < bytes.size() &&
                   (static_cast<unsigned char>(bytes[length]) & 0xC0) == 0x80)
                --length;
            std::memcpy(items[i].Data, bytes.data(), length);
            items[i].Data[length] = 0;
        } else if (item.type == DI_CHECKBOX || item.type == DI_RADIOBUTTON) {
            items[i].Selected = item.selected ? 1 : 0;
        }
    }
}

} // namespace panelhost
