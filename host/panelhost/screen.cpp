#include "screen.h"
#include "text.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>

// The function-like macros of curses (clear, erase, timeout...) would take over names of the
// standard library.
#define NCURSES_NOMACROS
#ifndef NCURSES_WIDECHAR
#define NCURSES_WIDECHAR 1
#endif
#include <curses.h>

namespace panelhost {

namespace {

// Asks the terminal to report Ctrl+digit and the like (xterm's modifyOtherKeys, which tmux
// follows with extended-keys on); terminals that do not know it ignore it.
const char kReportOtherKeys[] = "\033[>4;1m";
const char kStopReportingOtherKeys[] = "\033[>4m";

struct Palette {
    short fg, bg;
    bool bright;
};

Palette PaletteOf(Color color) {
    switch (color) {
    case Color::Desktop:
        return {COLOR_WHITE, COLOR_BLACK, false};
    case Color::PanelText:
        return {COLOR_CYAN, COLOR_BLUE, false};
    case Color::PanelBorder:
        return {COLOR_CYAN, COLOR_BLUE, false};
    case Color::PanelTitle:
        return {COLOR_CYAN, COLOR_BLUE, false};
    case Color::PanelTitleActive:
        return {COLOR_BLACK, COLOR_CYAN, false};
    case Color::PanelColumnTitle:
        return {COLOR_YELLOW, COLOR_BLUE, true};
    case Color::PanelFolder:
        return {COLOR_WHITE, COLOR_BLUE, true};
    case Color::PanelSelected:
        return {COLOR_YELLOW, COLOR_BLUE, true};
    case Color::PanelCursor:
        return {COLOR_BLACK, COLOR_CYAN, false};
    case Color::PanelCursorSelected:
        return {COLOR_YELLOW, COLOR_CYAN, true};
    case Color::KeyNumber:
        return {COLOR_WHITE, COLOR_BLACK, false};
    case Color::KeyLabel:
        return {COLOR_BLACK, COLOR_CYAN, false};
    case Color::DialogText:
        return {COLOR_BLACK, COLOR_WHITE, false};
    case Color::DialogHotKey:
        return {COLOR_YELLOW, COLOR_WHITE, true};
    case Color::DialogEdit:
        return {COLOR_BLACK, COLOR_CYAN, false};
    case Color::DialogEditMarked:
        return {COLOR_WHITE, COLOR_BLACK, true};
    case Color::DialogButtonFocused:
        return {COLOR_BLACK, COLOR_CYAN, false};
    case Color::DialogHotKeyFocused:
        return {COLOR_YELLOW, COLOR_CYAN, true};
    case Color::WarningText:
        return {COLOR_WHITE, COLOR_RED, true};
    case Color::WarningHotKey:
        return {COLOR_YELLOW, COLOR_RED, true};
    case Color::WarningEdit:
        return {COLOR_BLACK, COLOR_CYAN, false};
    case Color::WarningButtonFocused:
        return {COLOR_BLACK, COLOR_WHITE, false};
    case Color::MenuText:
        return {COLOR_WHITE, COLOR_CYAN, true};
    case Color::MenuHotKey:
        return {COLOR_YELLOW, COLOR_CYAN, true};
    case Color::MenuSelected:
        return {COLOR_WHITE, COLOR_BLACK, true};
    case Color::HelpText:
        return {COLOR_BLACK, COLOR_CYAN, false};
    case Color::HelpHighlight:
        return {COLOR_WHITE, COLOR_CYAN, true};
    case Color::HelpLink:
        return {COLOR_YELLOW, COLOR_CYAN, true};
    case Color::HelpLinkSelected:
        return {COLOR_WHITE, COLOR_BLACK, true};
    default:
        return {COLOR_WHITE, COLOR_BLACK, false};
    }
}

// Without colours: the elements that must stand out are shown reversed.
attr_t MonochromeOf(Color color) {
    switch (color) {
    case Color::PanelTitleActive:
    case Color::PanelCursor:
    case Color::PanelCursorSelected:
    case Color::KeyLabel:
    case Color::DialogEdit:
    case Color::DialogButtonFocused:
    case Color::DialogHotKeyFocused:
    case Color::WarningEdit:
    case Color::WarningButtonFocused:
    case Color::MenuSelected:
    case Color::HelpLinkSelected:
        return A_REVERSE;
    case Color::PanelSelected:
    case Color::PanelColumnTitle:
    case Color::DialogHotKey:
    case Color::WarningHotKey:
    case Color::MenuHotKey:
    case Color::HelpHighlight:
    case Color::HelpLink:
        return A_BOLD;
    default:
        return A_NORMAL;
    }
}

// The ncurses key codes of the plain keys.
struct PlainKey {
    int code;
    int vk;
    unsigned state;
};

const PlainKey kPlainKeys[] = {
    {KEY_UP, VK_UP, 0},
    {KEY_DOWN, VK_DOWN, 0},
    {KEY_LEFT, VK_LEFT, 0},
    {KEY_RIGHT, VK_RIGHT, 0},
    {KEY_HOME, VK_HOME, 0},
    {KEY_END, VK_END, 0},
    {KEY_IC, VK_INSERT, 0},
    {KEY_DC, VK_DELETE, 0},
    {KEY_PPAGE, VK_PRIOR, 0},
    {KEY_NPAGE, VK_NEXT, 0},
    {KEY_ENTER, VK_RETURN, 0},
    {KEY_BACKSPACE, VK_BACK, 0},
    {KEY_BTAB, VK_TAB, PKF_SHIFT},
    {KEY_SR, VK_UP, PKF_SHIFT},
    {KEY_SF, VK_DOWN, PKF_SHIFT},
    {KEY_SLEFT, VK_LEFT, PKF_SHIFT},
    {KEY_SRIGHT, VK_RIGHT, PKF_SHIFT},
    {KEY_SHOME, VK_HOME, PKF_SHIFT},
    {KEY_SEND, VK_END, PKF_SHIFT},
    {KEY_SIC, VK_INSERT, PKF_SHIFT},
    {KEY_SDC, VK_DELETE, PKF_SHIFT},
    {KEY_A1, VK_HOME, 0},
    {KEY_C1, VK_END, 0},
    {KEY_A3, VK_PRIOR, 0},
    {KEY_C3, VK_NEXT, 0},
};

bool Utf8Locale() {
    const char *codeset = nl_langinfo(CODESET);
    return codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

} // namespace

Screen::~Screen() {
    Close();
}

bool Screen::Open(std::string &error) {
    if (open_) return true;
    std::setlocale(LC_ALL, "");
    // Every text is UTF-8: without a UTF-8 locale ncurses would show it as bytes.
    if (!Utf8Locale() && !std::setlocale(LC_CTYPE, "C.UTF-8") &&
        !std::setlocale(LC_CTYPE, "C.utf8") && !std::setlocale(LC_CTYPE, "en_US.UTF-8")) {
        error = "no UTF-8 locale is available (set LANG to one, for example C.UTF-8)";
        return false;
    }
    if (!std::getenv("ESCDELAY")) set_escdelay(40);
    terminal_ = newterm(nullptr, stdout, stdin);
    if (!terminal_) {
        error = std::string("cannot use the terminal \"") +
                (std::getenv("TERM") ? std::getenv("TERM") : "") +
                "\" (is TERM set, and is its terminfo entry installed?)";
        return false;
    }
    open_ = true;
    raw();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    meta(stdscr, TRUE);
    intrflush(stdscr, FALSE);
    leaveok(stdscr, FALSE);
    curs_set(0);
    colors_ = has_colors();
    if (colors_) {
        start_color();
        SetColors();
    }
    // The modified keys: where the terminal description already names a sequence, its code
    // is translated; the others get codes of their own.
    int next = KEY_MAX + 1;
    for (const KeySequence &sequence : ModifiedKeySequences()) {
        int existing = key_defined(sequence.bytes.c_str());
        int code = existing;
        if (existing <= 0) {
            code = next++;
            if (define_key(sequence.bytes.c_str(), code) != OK) continue;
        }
        modifiedKeys_[code] = {sequence.vk, sequence.state};
    }
    std::fputs(kReportOtherKeys, stdout);
    std::fflush(stdout);
    return true;
}

void Screen::SetColors() {
    for (int i = 0; i < static_cast<int>(Color::Count); ++i) {
        Palette palette = PaletteOf(static_cast<Color>(i));
        init_pair(static_cast<short>(i + 1), palette.fg, palette.bg);
    }
}

void Screen::Close() {
    if (!open_) return;
    curs_set(1);
    endwin();
    std::fputs(kStopReportingOtherKeys, stdout);
    std::fflush(stdout);
    delscreen(static_cast<SCREEN *>(terminal_));
    terminal_ = nullptr;
    open_ = false;
}

int Screen::Width() const {
    return open_ ? COLS : 80;
}
int Screen::Height() const {
    return open_ ? LINES : 25;
}

void Screen::Clear(Color color) {
    Fill(0, 0, Height(), Width(), color);
}

int Screen::Put(int y, int x, const std::u32string &text, Color color) {
    if (!open_) return x;
    attr_t attributes = A_NORMAL;
    short pair = 0;
    if (colors_) {
        pair = static_cast<short>(static_cast<int>(color) + 1);
        if (PaletteOf(color).bright) attributes |= A_BOLD;
    } else {
        attributes = MonochromeOf(color);
    }
    if (y < 0 || y >= Height()) {
        return x + TextWidth(text);
    }
    for (char32_t c : text) {
        int width = CharWidth(c);
        if (width == 0) {
            if (c < 0x20) {
                c = U'?'; // a control character in a text shows as '?'
                width = 1;
            } else {
                continue; // combining marks are dropped rather than stacked
            }
        }
        if (x >= 0 && x + width <= Width()) {
            wchar_t wide[2] = {static_cast<wchar_t>(c), 0};
            cchar_t cell;
            setcchar(&cell, wide, attributes, pair, nullptr);
            mvwadd_wch(stdscr, y, x, &cell);
        }
        x += width;
    }
    return x;
}

int Screen::Put(int y, int x, const std::string &utf8, Color color) {
    return Put(y, x, DecodeUtf8(utf8), color);
}

void Screen::Fill(int y, int x, int height, int width, Color color, char32_t c) {
    if (width <= 0) return;
    std::u32string line(static_cast<size_t>(width), c);
    for (int row = y; row < y + height; ++row) Put(row, x, line, color);
}

void Screen::Frame(int y, int x, int height, int width, Color color, bool doubleLines) {
    if (height < 2 || width < 2) return;
    char32_t horizontal = doubleLines ? U'═' : U'─', vertical = doubleLines ? U'║' : U'│';
    std::u32string top(static_cast<size_t>(width), horizontal), bottom = top;
    top.front() = doubleLines ? U'╔' : U'┌';
    top.back() = doubleLines ? U'╗' : U'┐';
    bottom.front() = doubleLines ? U'╚' : U'└';
    bottom.back() = doubleLines ? U'╝' : U'┘';
    Put(y, x, top, color);
    Put(y + height - 1, x, bottom, color);
    for (int row = y + 1; row < y + height - 1; ++row) {
        Put(row, x, std::u32string(1, vertical), color);
        Put(row, x + width - 1, std::u32string(1, vertical), color);
    }
}

void Screen::Separator(int y, int x, int width, Color color, bool doubleSides) {
    if (width < 2) return;
    std::u32string line(static_cast<size_t>(width), U'─');
    line.front() = doubleSides ? U'╟' : U'├';
    line.back() = doubleSides ? U'╢' : U'┤';
    Put(y, x, line, color);
}

void Screen::Shadow(int y, int x, int height, int width) {
    if (!open_) return;
    auto darken = [&](int row, int column) {
        if (row < 0 || row >= Height() || column < 0 || column >= Width()) return;
        cchar_t cell;
        if (mvwin_wch(stdscr, row, column, &cell) == ERR) return;
        wchar_t wide[CCHARW_MAX + 1] = {0};
        attr_t attributes;
        short pair;
        getcchar(&cell, wide, &attributes, &pair, nullptr);
        if (wide[0] == 0) wide[0] = L' ';
        cchar_t shaded;
        short shadow = colors_ ? static_cast<short>(static_cast<int>(Color::Desktop) + 1) : 0;
        setcchar(&shaded, wide, A_NORMAL, shadow, nullptr);
        mvwadd_wch(stdscr, row, column, &shaded);
    };
    for (int row = y + 1; row <= y + height; ++row) {
        darken(row, x + width);
        darken(row, x + width + 1);
    }
    for (int column = x + 2; column < x + width; ++column) darken(y + height, column);
}

void Screen::ShowCursor(int y, int x) {
    cursorShown_ = true;
    cursorY_ = y;
    cursorX_ = x;
}

void Screen::HideCursor() {
    cursorShown_ = false;
}

void Screen::Refresh() {
    if (!open_) return;
    bool visible =
        cursorShown_ && cursorY_ >= 0 && cursorY_ < Height() && cursorX_ >= 0 && cursorX_ < Width();
    if (visible) wmove(stdscr, cursorY_, cursorX_);
    curs_set(visible ? 1 : 0);
    wrefresh(stdscr);
}

void Screen::Invalidate() {
    if (open_) clearok(curscr, TRUE);
}

Key Screen::Translate(int status, unsigned code) {
    Key key;
    if (status == KEY_CODE_YES) {
        int value = static_cast<int>(code);
        if (value == KEY_RESIZE) {
            key.resize = true;
            return key;
        }
        if (value >= KEY_F(1) && value <= KEY_F(12)) {
            key.vk = VK_F1 + value - KEY_F(1);
            return key;
        }
        for (const PlainKey &plain : kPlainKeys)
            if (plain.code == value) {
                key.vk = plain.vk;
                key.state = plain.state;
                return key;
            }
        auto found = modifiedKeys_.find(value);
        if (found != modifiedKeys_.end()) {
            key.vk = found->second.first;
            key.state = found->second.second;
        }
        return key;
    }
    return KeyFromCharacter(static_cast<char32_t>(code));
}

Key Screen::ReadKey(int timeoutMs) {
    if (!open_) return Key();
    wtimeout(stdscr, timeoutMs);
    wint_t code = 0;
    int status = wget_wch(stdscr, &code);
    if (status == ERR) return Key();
    Key key = Translate(status, static_cast<unsigned>(code));
    if (status == OK && code == 27) {
        // ESC and a key right behind it: Alt with that key. ESC alone stays Esc.
        wtimeout(stdscr, 0);
        wint_t next = 0;
        int nextStatus = wget_wch(stdscr, &next);
        if (nextStatus != ERR) {
            Key alt = Translate(nextStatus, static_cast<unsigned>(next));
            if (!alt.None() && !alt.resize) return WithAlt(alt);
        }
    }
    return key;
}

void Screen::Suspend() {
    if (!open_) return;
    std::fputs(kStopReportingOtherKeys, stdout);
    std::fflush(stdout);
    def_prog_mode();
    endwin();
}

void Screen::Resume() {
    if (!open_) return;
    reset_prog_mode();
    std::fputs(kReportOtherKeys, stdout);
    std::fflush(stdout);
    clearok(curscr, TRUE);
    wrefresh(stdscr);
}

} // namespace panelhost
