#include "terminal_ui.h"
#include "dialog_model.h"
#include "text.h"

#include "core/language_file.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace panelhost {

namespace {

// A box's colours: the ordinary grey one or the red warning one.
struct BoxColors {
    Color text, hotKey, edit, focused;
};

BoxColors ColorsOf(bool warning) {
    if (warning)
        return {Color::WarningText, Color::WarningHotKey, Color::WarningEdit,
                Color::WarningButtonFocused};
    return {Color::DialogText, Color::DialogHotKey, Color::DialogEdit, Color::DialogButtonFocused};
}

// A label with its hot-key character in the hot-key colour; returns the column after it.
int PutLabel(Screen &screen, int y, int x, const std::u32string &label, int hotKeyIndex,
             Color color, Color hotKeyColor, int maxWidth = -1) {
    std::u32string shown = maxWidth >= 0 ? CutText(label, maxWidth) : label;
    if (hotKeyIndex < 0 || hotKeyIndex >= static_cast<int>(shown.size()))
        return screen.Put(y, x, shown, color);
    x = screen.Put(y, x, shown.substr(0, static_cast<size_t>(hotKeyIndex)), color);
    x = screen.Put(y, x, shown.substr(static_cast<size_t>(hotKeyIndex), 1), hotKeyColor);
    return screen.Put(y, x, shown.substr(static_cast<size_t>(hotKeyIndex) + 1), color);
}

std::u32string ButtonText(const std::u32string &label, bool isDefault) {
    return isDefault ? U"{ " + label + U" }" : U"[ " + label + U" ]";
}

bool IsLanguage(const std::string &path, const std::string &language) {
    std::string bytes, error;
    if (!standin::ReadWholeFile(path, bytes, error)) return false;
    size_t at = bytes.find(".Language=");
    if (at == std::string::npos) return false;
    size_t end = bytes.find_first_of(",\r\n", at);
    return standin::SameTextIgnoringCase(bytes.substr(at + 10, end - at - 10), language);
}

} // namespace

// ---- Help files -----------------------------------------------------------------------------

HelpLibrary::HelpLibrary(const std::string &moduleDirectory, const std::string &language)
    : directory_(moduleDirectory), language_(language) {}

const HelpFile *HelpLibrary::File(std::string &error) {
    if (!loaded_) {
        loaded_ = true;
        std::vector<std::string> files;
        WIN32_FIND_DATAA data;
        HANDLE search = FindFirstFileA((directory_ + "\\*.hlf").c_str(), &data);
        if (search != INVALID_HANDLE_VALUE) {
            do files.push_back(directory_ + "\\" + data.cFileName);
            while (FindNextFileA(search, &data));
            FindClose(search);
        }
        std::sort(files.begin(), files.end());
        std::string chosen;
        for (const std::string &path : files)
            if (chosen.empty() && IsLanguage(path, language_)) chosen = path;
        for (const std::string &path : files)
            if (chosen.empty() && IsLanguage(path, "English")) chosen = path;
        std::string bytes;
        if (chosen.empty()) {
            error_ =
                "no help file (*.hlf) for " + language_ + " beside the plugin in " + directory_;
        } else if (standin::ReadWholeFile(chosen, bytes, error_)) {
            std::string converted =
                standin::ConvertFromCodePage(bytes, standin::LanguageCodePage(language_));
            if (!file_.Parse(converted, error_)) error_ = chosen + ": " + error_;
        }
    }
    error = error_;
    return error_.empty() ? &file_ : nullptr;
}

// ---- Layers ---------------------------------------------------------------------------------

TerminalUi::TerminalUi(Screen &screen) : screen_(screen) {}
TerminalUi::~TerminalUi() = default;

size_t TerminalUi::PushLayer(std::function<void()> draw, bool progress) {
    layers_.push_back(Layer{progress, std::move(draw)});
    return layers_.size() - 1;
}

void TerminalUi::PopLayer(size_t index) {
    if (index < layers_.size()) layers_.resize(index);
}

void TerminalUi::Redraw() {
    if (!screen_.IsOpen()) return;
    screen_.HideCursor();
    screen_.Clear();
    if (background_) background_();
    for (const Layer &layer : layers_) layer.draw();
    screen_.Refresh();
}

Key TerminalUi::ReadKey(int timeoutMs) {
    Key key = screen_.ReadKey(timeoutMs);
    if (key.resize) {
        screen_.Invalidate();
        Redraw();
    }
    return key;
}

void TerminalUi::ScreenSaved(int id) {
    saved_.push_back({id, layers_.size()});
}

void TerminalUi::ScreenRestored(int id) {
    for (size_t i = saved_.size(); i > 0; --i) {
        if (saved_[i - 1].first != id) continue;
        // Everything drawn since that screen was saved goes away with it.
        PopLayer(saved_[i - 1].second);
        saved_.resize(i - 1);
        Redraw();
        return;
    }
}

void TerminalUi::PanelRedrawn(const standin::Panel &) {
    // A progress box that no saved screen will take away goes when the panels are drawn over it.
    if (saved_.empty())
        layers_.erase(std::remove_if(layers_.begin(), layers_.end(),
                                     [](const Layer &l) { return l.progress; }),
                      layers_.end());
    Redraw();
}

// ---- Message boxes ------------------------------------------------------------------------

void TerminalUi::DrawMessageBox(const std::vector<std::u32string> &lines,
                                const std::u32string &title,
                                const std::vector<std::u32string> &buttons, int focused,
                                bool warning) {
    BoxColors colors = ColorsOf(warning);
    int inner = TextWidth(title) + 2;
    // A line starting with byte 1 or 2 is a separator across the box.
    auto separator = [](const std::u32string &line) {
        return !line.empty() && (line[0] == 1 || line[0] == 2);
    };
    for (const std::u32string &line : lines)
        if (!separator(line)) inner = std::max(inner, TextWidth(line));
    int buttonsWidth = -1;
    std::vector<int> hotKeys;
    std::vector<std::u32string> labels;
    for (const std::u32string &button : buttons) {
        int hot = -1;
        labels.push_back(StripHotKeyMark(button, &hot));
        hotKeys.push_back(hot);
        buttonsWidth += TextWidth(ButtonText(labels.back(), false)) + 1;
    }
    inner = std::max(inner, buttonsWidth);
    int width = inner + 8;
    int height = static_cast<int>(lines.size()) + (buttons.empty() ? 0 : 2) + 4;
    int left = (screen_.Width() - width) / 2, top = (screen_.Height() - height) / 2;
    if (top > 2) top -= 1; // a little above the middle, as the host puts its boxes
    screen_.Fill(top, left, height, width, colors.text);
    screen_.Frame(top + 1, left + 2, height - 2, width - 4, colors.text, true);
    if (!title.empty()) {
        std::u32string shown = Blanked(CutText(title, width - 8));
        screen_.Put(top + 1, left + (width - TextWidth(shown)) / 2, shown, colors.text);
    }
    int y = top + 2;
    for (const std::u32string &line : lines) {
        if (separator(line)) {
            screen_.Separator(y++, left + 2, width - 4, colors.text, true);
            continue;
        }
        std::u32string shown = CutText(line, inner);
        screen_.Put(y++, left + (width - TextWidth(shown)) / 2, shown, colors.text);
    }
    if (!buttons.empty()) {
        screen_.Separator(y++, left + 2, width - 4, colors.text, true);
        int x = left + (width - buttonsWidth) / 2;
        for (size_t i = 0; i < labels.size(); ++i) {
            bool isFocused = static_cast<int>(i) == focused;
            Color color = isFocused ? colors.focused : colors.text;
            x = screen_.Put(y, x, U"[ ", color);
            if (isFocused) screen_.ShowCursor(y, x);
            x = PutLabel(screen_, y, x, labels[i], hotKeys[i], color,
                         isFocused ? color : colors.hotKey);
            x = screen_.Put(y, x, U" ]", color) + 1;
        }
    }
    screen_.Shadow(top, left, height, width);
}

int TerminalUi::RunMessageBox(const std::string &title, const std::vector<std::string> &lines,
                              const std::vector<std::string> &buttons, bool warning) {
    std::u32string title32 = DecodeUtf8(title);
    std::vector<std::u32string> buttons32;
    for (const std::string &button : buttons) buttons32.push_back(DecodeUtf8(button));
    // Shared with the layer: a progress box outlives this call.
    auto focused = std::make_shared<int>(0);
    // Lines are wrapped to the terminal's width each time the box is drawn.
    auto wrapped = [this, lines]() {
        int room = std::max(10, screen_.Width() - 10);
        std::vector<std::u32string> out;
        for (const std::string &line : lines)
            if (!line.empty() && (line[0] == 1 || line[0] == 2))
                out.push_back(DecodeUtf8(line.substr(0, 1)));
            else
                for (const std::u32string &piece : WrapText(DecodeUtf8(line), room))
                    out.push_back(piece);
        return out;
    };
    size_t layer =
        PushLayer([=]() { DrawMessageBox(wrapped(), title32, buttons32, *focused, warning); },
                  buttons.empty());
    if (buttons.empty()) {
        Redraw();
        return -1;
    }
    int result = -1;
    for (;;) {
        Redraw();
        Key key = ReadKey(-1);
        int count = static_cast<int>(buttons32.size());
        if (key.Is(VK_ESCAPE) || key.Is(VK_F10)) break;
        if (key.Is(VK_RETURN) || key.Is(VK_SPACE)) {
            result = *focused;
            break;
        }
        if (key.Is(VK_LEFT) || key.Is(VK_TAB, PKF_SHIFT) || key.Is(VK_UP))
            *focused = (*focused + count - 1) % count;
        if (key.Is(VK_RIGHT) || key.Is(VK_TAB) || key.Is(VK_DOWN))
            *focused = (*focused + 1) % count;
        if (key.ch && (key.state & PKF_CONTROL) == 0) {
            for (int i = 0; i < count; ++i) {
                char32_t hot = 0;
                StripHotKeyMark(buttons32[static_cast<size_t>(i)], nullptr, &hot);
                if (hot && FoldCase(hot) == FoldCase(key.ch)) result = i;
            }
            if (result >= 0) break;
        }
    }
    PopLayer(layer);
    Redraw();
    return result;
}

int TerminalUi::Message(const standin::MessageRequest &request) {
    return RunMessageBox(request.title, request.lines, request.buttons,
                         (request.flags & FMSG_WARNING) != 0);
}

int TerminalUi::ShowMessage(const std::string &title, const std::vector<std::string> &lines,
                            const std::vector<std::string> &buttons, bool warning) {
    return RunMessageBox(title, lines, buttons, warning);
}

// ---- Menus ------------------------------------------------------------------------------------

int TerminalUi::Menu(const std::string &title, const std::vector<std::string> &items, int selected,
                     int y, int x, int minWidth) {
    if (items.empty()) return -1;
    std::vector<std::u32string> labels;
    std::vector<int> hotIndexes;
    std::vector<char32_t> hotKeys;
    int inner = std::max(minWidth - 2, TextWidth(DecodeUtf8(title)) + 2);
    for (const std::string &item : items) {
        int index = -1;
        char32_t hot = 0;
        labels.push_back(StripHotKeyMark(DecodeUtf8(item), &index, &hot));
        hotIndexes.push_back(index);
        hotKeys.push_back(hot);
        inner = std::max(inner, TextWidth(labels.back()) + 2);
    }
    int count = static_cast<int>(items.size());
    int current = std::max(0, std::min(selected, count - 1));
    int top = 0;
    auto geometry = [&](int &boxTop, int &boxLeft, int &width, int &rows) {
        width = std::min(inner + 2, std::max(10, screen_.Width()));
        rows = std::min(count, std::max(1, screen_.Height() - 2));
        boxTop = y >= 0 ? y : (screen_.Height() - rows - 2) / 2;
        boxLeft = x >= 0 ? x : (screen_.Width() - width) / 2;
        if (boxTop + rows + 2 > screen_.Height()) boxTop = std::max(0, screen_.Height() - rows - 2);
        if (boxLeft + width > screen_.Width()) boxLeft = std::max(0, screen_.Width() - width);
    };
    size_t layer = PushLayer([&]() {
        int boxTop, boxLeft, width, rows;
        geometry(boxTop, boxLeft, width, rows);
        if (current < top) top = current;
        if (current >= top + rows) top = current - rows + 1;
        screen_.Fill(boxTop, boxLeft, rows + 2, width, Color::MenuText);
        screen_.Frame(boxTop, boxLeft, rows + 2, width, Color::MenuText, true);
        std::u32string shownTitle = DecodeUtf8(title);
        if (!shownTitle.empty()) {
            shownTitle = Blanked(CutText(shownTitle, width - 4));
            screen_.Put(boxTop, boxLeft + (width - TextWidth(shownTitle)) / 2, shownTitle,
                        Color::MenuText);
        }
        for (int row = 0; row < rows && top + row < count; ++row) {
            int index = top + row;
            bool isCurrent = index == current;
            Color color = isCurrent ? Color::MenuSelected : Color::MenuText;
            screen_.Fill(boxTop + 1 + row, boxLeft + 1, 1, width - 2, color);
            PutLabel(screen_, boxTop + 1 + row, boxLeft + 2, labels[static_cast<size_t>(index)],
                     hotIndexes[static_cast<size_t>(index)], color,
                     isCurrent ? color : Color::MenuHotKey, width - 4);
        }
        screen_.Shadow(boxTop, boxLeft, rows + 2, width);
    });
    int result = -1;
    for (;;) {
        Redraw();
        Key key = ReadKey(-1);
        int boxTop, boxLeft, width, rows;
        geometry(boxTop, boxLeft, width, rows);
        if (key.Is(VK_ESCAPE) || key.Is(VK_F10)) break;
        if (key.Is(VK_RETURN)) {
            result = current;
            break;
        }
        if (key.Is(VK_UP)) current = (current + count - 1) % count;
        if (key.Is(VK_DOWN)) current = (current + 1) % count;
        if (key.Is(VK_HOME) || key.Is(VK_PRIOR, PKF_CONTROL)) current = 0;
        if (key.Is(VK_END) || key.Is(VK_NEXT, PKF_CONTROL)) current = count - 1;
        if (key.Is(VK_PRIOR)) current = std::max(0, current - rows);
        if (key.Is(VK_NEXT)) current = std::min(count - 1, current + rows);
        if (key.ch && (key.state & PKF_CONTROL) == 0) {
            for (int i = 0; i < count; ++i)
                if (hotKeys[static_cast<size_t>(i)] &&
                    FoldCase(hotKeys[static_cast<size_t>(i)]) == FoldCase(key.ch))
                    result = i;
            if (result >= 0) break;
        }
    }
    PopLayer(layer);
    Redraw();
    return result;
}

// ---- Dialogs ----------------------------------------------------------------------------------

void TerminalUi::DrawDialog(const DialogModel &model, int top, int left) {
    BoxColors colors = ColorsOf(false);
    screen_.Fill(top, left, model.Height(), model.Width(), colors.text);
    int cursorY = -1, cursorX = -1;
    for (int i = 0; i < model.Count(); ++i) {
        const DialogItemState &item = model.Item(i);
        bool focused = i == model.Focus();
        int y = top + item.y1, x = left + item.x1;
        switch (item.type) {
        case DI_DOUBLEBOX:
        case DI_SINGLEBOX: {
            int width = item.x2 - item.x1 + 1, height = item.y2 - item.y1 + 1;
            screen_.Frame(y, x, height, width, colors.text, item.type == DI_DOUBLEBOX);
            if (!item.label.empty()) {
                std::u32string title = Blanked(CutText(item.label, width - 4));
                screen_.Put(y, x + (width - TextWidth(title)) / 2, title, colors.text);
            }
            break;
        }
        case DI_TEXT:
        case DI_VTEXT:
            if (item.flags & DIF_SEPARATOR) {
                int frame = model.FrameAt(item.y1);
                int from = 3, to = model.Width() - 4;
                bool doubleSides = true;
                if (frame >= 0) {
                    from = model.Item(frame).x1;
                    to = model.Item(frame).x2;
                    doubleSides = model.Item(frame).type == DI_DOUBLEBOX;
                }
                screen_.Separator(y, left + from, to - from + 1, colors.text, doubleSides);
                if (!item.label.empty()) {
                    std::u32string caption = Blanked(CutText(item.label, to - from - 3));
                    screen_.Put(y, left + from + (to - from + 1 - TextWidth(caption)) / 2, caption,
                                colors.text);
                }
            } else {
                int room = item.x2 >= item.x1 && item.x2 > 0 ? item.x2 - item.x1 + 1
                                                             : model.Width() - item.x1;
                PutLabel(screen_, y, x, item.label, item.hotKeyIndex, colors.text, colors.hotKey,
                         room);
            }
            break;
        case DI_EDIT:
        case DI_FIXEDIT:
        case DI_PSWEDIT: {
            int width = item.FieldWidth();
            std::u32string visible =
                item.text.substr(std::min(item.text.size(), static_cast<size_t>(item.scroll)));
            if (item.type == DI_PSWEDIT) visible.assign(visible.size(), U'*');
            std::u32string shown = CutText(visible, width);
            screen_.Fill(y, x, 1, width, colors.edit);
            screen_.Put(y, x, shown, item.marked ? Color::DialogEditMarked : colors.edit);
            if (item.flags & DIF_HISTORY) screen_.Put(y, x + width, U"↓", colors.edit);
            if (focused) {
                cursorY = y;
                cursorX = x + TextWidth(CutText(visible, item.cursor - item.scroll));
            }
            break;
        }
        case DI_CHECKBOX:
        case DI_RADIOBUTTON: {
            std::u32string mark = item.type == DI_CHECKBOX ? (item.selected ? U"[x] " : U"[ ] ")
                                                           : (item.selected ? U"(•) " : U"( ) ");
            int after = screen_.Put(y, x, mark, colors.text);
            int room = item.x2 > item.x1 ? item.x2 - item.x1 + 1 - 4 : model.Width() - item.x1 - 4;
            PutLabel(screen_, y, after, item.label, item.hotKeyIndex, colors.text, colors.hotKey,
                     std::max(0, room));
            if (focused) {
                cursorY = y;
                cursorX = x + 1;
            }
            break;
        }
        case DI_BUTTON: {
            Color color = focused ? colors.focused : colors.text;
            int after = screen_.Put(y, x, item.defaultButton ? U"{ " : U"[ ", color);
            after = PutLabel(screen_, y, after, item.label, item.hotKeyIndex, color,
                             focused ? Color::DialogHotKeyFocused : colors.hotKey);
            screen_.Put(y, after, item.defaultButton ? U" }" : U" ]", color);
            if (focused) {
                cursorY = y;
                cursorX = x + 2;
            }
            break;
        }
        default:
            break;
        }
    }
    screen_.Shadow(top, left, model.Height(), model.Width());
    if (cursorY >= 0)
        screen_.ShowCursor(cursorY, cursorX);
    else
        screen_.HideCursor();
}

void TerminalUi::RunHistory(DialogModel &model, int item, int top, int left) {
    const DialogItemState &field = model.Item(item);
    if (field.history.empty()) return;
    int chosen =
        Menu("", field.history, 0, top + field.y1 + 1, left + field.x1 - 1, field.FieldWidth() + 2);
    if (chosen >= 0) model.SetEditText(item, field.history[static_cast<size_t>(chosen)]);
}

int TerminalUi::Dialog(const standin::DialogRequest &request) {
    bool centred = request.x1 < 0 || request.y1 < 0;
    int width = centred ? request.x2 : request.x2 - request.x1 + 1;
    int height = centred ? request.y2 : request.y2 - request.y1 + 1;
    DialogModel model(std::max(1, width), std::max(1, height), request.items, request.count,
                      request.histories);
    auto origin = [&](int &top, int &left) {
        top = centred ? (screen_.Height() - model.Height()) / 2 : request.y1;
        left = centred ? (screen_.Width() - model.Width()) / 2 : request.x1;
    };
    size_t layer = PushLayer([&]() {
        int top, left;
        origin(top, left);
        DrawDialog(model, top, left);
    });
    int result = -1;
    for (;;) {
        Redraw();
        Key key = ReadKey(-1);
        DialogModel::Outcome outcome = model.HandleKey(key);
        if (outcome.action == DialogModel::Action::Close) {
            result = outcome.result;
            break;
        }
        if (outcome.action == DialogModel::Action::Help)
            ShowHelp(request.helpTopic.empty() ? "Contents" : request.helpTopic);
        if (outcome.action == DialogModel::Action::History) {
            int top, left;
            origin(top, left);
            RunHistory(model, outcome.item, top, left);
        }
    }
    model.StoreInto(request.items, request.count);
    PopLayer(layer);
    Redraw();
    return result;
}

// ---- Help -----------------------------------------------------------------------------------

void TerminalUi::ShowHelp(const std::string &topicName) {
    std::string error;
    const HelpFile *file = help_ ? help_->File(error) : nullptr;
    if (!file) {
        ShowMessage("Help", {error.empty() ? "There is no help file." : error}, {"OK"}, true);
        return;
    }
    struct Place {
        std::string topic;
        int top;
        int link;
    };
    std::vector<Place> back;
    Place place{topicName, 0, 0};
    const HelpTopic *topic = file->Find(place.topic);
    if (!topic) {
        ShowMessage("Help", {"The help topic \"" + topicName + "\" is not in the help file."},
                    {"OK"}, true);
        return;
    }
    std::vector<HelpLine> lines;
    int linkCount = 0;
    auto geometry = [&](int &top, int &left, int &width, int &height) {
        width = std::max(20, screen_.Width() - 4);
        height = std::max(6, screen_.Height() - 2);
        top = (screen_.Height() - height) / 2;
        left = (screen_.Width() - width) / 2;
    };
    int laidOutWidth = -1;
    auto layOut = [&]() {
        int top, left, width, height;
        geometry(top, left, width, height);
        if (width - 4 == laidOutWidth) return;
        laidOutWidth = width - 4;
        lines = LayOutTopic(*topic, laidOutWidth);
        linkCount = 0;
        for (const HelpLine &line : lines)
            for (const HelpSpan &span : line.spans) linkCount = std::max(linkCount, span.link + 1);
    };
    auto lineOfLink = [&](int link) {
        for (size_t i = 0; i < lines.size(); ++i)
            for (const HelpSpan &span : lines[i].spans)
                if (span.link == link) return static_cast<int>(i);
        return 0;
    };
    layOut();
    size_t layer = PushLayer([&]() {
        layOut();
        int top, left, width, height;
        geometry(top, left, width, height);
        int rows = height - 2;
        place.top = std::max(0, std::min(place.top, static_cast<int>(lines.size()) - rows));
        screen_.Fill(top, left, height, width, Color::HelpText);
        screen_.Frame(top, left, height, width, Color::HelpText, true);
        std::u32string title = Blanked(CutText(topic->title, width - 4));
        screen_.Put(top, left + (width - TextWidth(title)) / 2, title, Color::HelpText);
        for (int row = 0; row < rows && place.top + row < static_cast<int>(lines.size()); ++row) {
            int x = left + 2;
            for (const HelpSpan &span : lines[static_cast<size_t>(place.top + row)].spans) {
                Color color =
                    span.kind == HelpSpan::Highlight ? Color::HelpHighlight
                    : span.kind == HelpSpan::Link
                        ? (span.link == place.link ? Color::HelpLinkSelected : Color::HelpLink)
                        : Color::HelpText;
                x = screen_.Put(top + 1 + row, x, span.text, color);
            }
        }
        screen_.Shadow(top, left, height, width);
    });
    auto open = [&](const std::string &name, bool remember) {
        const HelpTopic *next = file->Find(name);
        if (!next) {
            ShowMessage("Help", {"The help topic \"" + name + "\" is not in the help file."},
                        {"OK"}, true);
            return;
        }
        if (remember) back.push_back(place);
        topic = next;
        place = Place{name, 0, 0};
        laidOutWidth = -1;
        layOut();
    };
    for (;;) {
        Redraw();
        Key key = ReadKey(-1);
        int top, left, width, height;
        geometry(top, left, width, height);
        int rows = height - 2;
        if (key.Is(VK_ESCAPE) || key.Is(VK_F10)) break;
        if (key.Is(VK_UP)) place.top = std::max(0, place.top - 1);
        if (key.Is(VK_DOWN)) place.top += 1;
        if (key.Is(VK_PRIOR)) place.top = std::max(0, place.top - rows);
        if (key.Is(VK_NEXT)) place.top += rows;
        if (key.Is(VK_HOME)) place.top = 0;
        if (key.Is(VK_END)) place.top = static_cast<int>(lines.size());
        if ((key.Is(VK_TAB) || key.Is(VK_RIGHT)) && linkCount > 0) {
            place.link = (place.link + 1) % linkCount;
            int line = lineOfLink(place.link);
            if (line < place.top || line >= place.top + rows)
                place.top = std::max(0, line - rows / 2);
        }
        if ((key.Is(VK_TAB, PKF_SHIFT) || key.Is(VK_LEFT)) && linkCount > 0) {
            place.link = (place.link + linkCount - 1) % linkCount;
            int line = lineOfLink(place.link);
            if (line < place.top || line >= place.top + rows)
                place.top = std::max(0, line - rows / 2);
        }
        if (key.Is(VK_RETURN) && linkCount > 0) {
            std::string target;
            for (const HelpLine &line : lines)
                for (const HelpSpan &span : line.spans)
                    if (span.link == place.link) target = span.target;
            if (!target.empty()) open(target, true);
        }
        if (key.Is(VK_BACK) || key.Is(VK_F1, PKF_ALT)) {
            if (back.empty()) break;
            Place previous = back.back();
            back.pop_back();
            open(previous.topic, false);
            place = previous;
        }
        if (key.Is(VK_F1) && topic->name != "Contents") open("Contents", true);
    }
    PopLayer(layer);
    Redraw();
}

// ---- The viewer -----------------------------------------------------------------------------

// The whole screen: the title on top, the file's lines below (tabs to the next eighth column),
// moved with the arrows, PgUp, PgDn, Home and End; Esc, F3 or F10 leaves.
void TerminalUi::Viewer(const standin::ViewerRequest &request) {
    std::ifstream file(request.nativePath, std::ios::binary);
    std::vector<std::u32string> lines;
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::u32string shown;
        for (char32_t c : DecodeUtf8(line)) {
            if (c == U'\t') {
                do shown += U' ';
                while (shown.size() % 8 != 0);
            } else {
                shown += c < 0x20 ? U' ' : c;
            }
        }
        lines.push_back(shown);
    }
    int top = 0, shift = 0;
    size_t layer = PushLayer([&]() {
        int rows = screen_.Height() - 1;
        top = std::max(0, std::min(top, static_cast<int>(lines.size()) - rows));
        screen_.Fill(0, 0, screen_.Height(), screen_.Width(), Color::HelpText);
        screen_.Put(0, 0, Blanked(CutText(DecodeUtf8(request.title), screen_.Width())),
                    Color::HelpHighlight);
        for (int row = 0; row < rows && top + row < static_cast<int>(lines.size()); ++row) {
            const std::u32string &text = lines[static_cast<size_t>(top + row)];
            if (static_cast<int>(text.size()) > shift)
                screen_.Put(1 + row, 0, CutText(text.substr(shift), screen_.Width()),
                            Color::HelpText);
        }
    });
    for (;;) {
        Redraw();
        Key key = ReadKey(-1);
        int rows = screen_.Height() - 1;
        if (key.Is(VK_ESCAPE) || key.Is(VK_F10) || key.Is(VK_F3)) break;
        if (key.Is(VK_UP)) top = std::max(0, top - 1);
        if (key.Is(VK_DOWN)) top += 1;
        if (key.Is(VK_PRIOR)) top = std::max(0, top - rows);
        if (key.Is(VK_NEXT)) top += rows;
        if (key.Is(VK_HOME)) top = shift = 0;
        if (key.Is(VK_END)) top = static_cast<int>(lines.size());
        if (key.Is(VK_LEFT)) shift = std::max(0, shift - 8);
        if (key.Is(VK_RIGHT)) shift += 8;
    }
    PopLayer(layer);
    Redraw();
}

// ---- The editor -----------------------------------------------------------------------------

int TerminalUi::Editor(const standin::EditorRequest &request) {
    const char *visual = std::getenv("VISUAL");
    const char *editor = std::getenv("EDITOR");
    std::string command = visual && *visual ? visual : editor && *editor ? editor : "vi";
    screen_.Suspend();
    // The editor's own words may hold arguments ("emacs -nw"): the shell splits them, the file
    // name goes as one argument whatever it holds.
    std::string script = command + " \"$1\"";
    // Modified or not, as the host's own editor answers: by the file's size and time.
    struct stat before {};
    bool existed = stat(request.nativePath.c_str(), &before) == 0;
    int status = -1;
    pid_t child = fork();
    if (child == 0) {
        signal(SIGINT, SIG_DFL);
        signal(SIGQUIT, SIG_DFL);
        execl("/bin/sh", "sh", "-c", script.c_str(), "sh", request.nativePath.c_str(),
              static_cast<char *>(nullptr));
        _exit(127);
    }
    if (child > 0) {
        // Ctrl+C in the editor is the editor's, not the host's.
        void (*previousInt)(int) = signal(SIGINT, SIG_IGN);
        void (*previousQuit)(int) = signal(SIGQUIT, SIG_IGN);
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        signal(SIGINT, previousInt);
        signal(SIGQUIT, previousQuit);
    }
    screen_.Resume();
    Redraw();
    if (child < 0 || (WIFEXITED(status) && WEXITSTATUS(status) == 127)) {
        ShowMessage("Editor",
                    {"The editor could not be started:", command,
                     "Set $VISUAL or $EDITOR to the editor you want."},
                    {"OK"}, true);
        return 0;
    }
    struct stat after {};
    if (stat(request.nativePath.c_str(), &after) != 0) return existed ? 1 : 2;
    bool same = existed && after.st_size == before.st_size &&
                after.st_mtim.tv_sec == before.st_mtim.tv_sec &&
                after.st_mtim.tv_nsec == before.st_mtim.tv_nsec;
    return same ? 2 : 1;
}

} // namespace panelhost
