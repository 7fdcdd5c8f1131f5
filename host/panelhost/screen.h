// The terminal through ncursesw: a grid of wide characters with the host's colours, and keys.
// Everything drawn is clipped to the terminal, so boxes larger than a small terminal do no harm.
#ifndef BSOPANEL_PANELHOST_SCREEN_H
#define BSOPANEL_PANELHOST_SCREEN_H

#include "keys.h"

#include <map>
#include <string>
#include <utility>

namespace panelhost {

// The colours of the host's screen elements (the classic blue panels).
enum class Color {
    Desktop,
    PanelText,
    PanelBorder,
    PanelTitle,
    PanelTitleActive,
    PanelColumnTitle,
    PanelFolder,
    PanelSelected,
    PanelCursor,
    PanelCursorSelected,
    KeyNumber,
    KeyLabel,
    DialogText,
    DialogHotKey,
    DialogEdit,
    DialogEditMarked,
    DialogButtonFocused,
    DialogHotKeyFocused,
    WarningText,
    WarningHotKey,
    WarningEdit,
    WarningButtonFocused,
    MenuText,
    MenuHotKey,
    MenuSelected,
    HelpText,
    HelpHighlight,
    HelpLink,
    HelpLinkSelected,
    Count
};

class Screen {
public:
    Screen() = default;
    ~Screen();
    Screen(const Screen &) = delete;
    Screen &operator=(const Screen &) = delete;

    // Takes over the terminal. False with `error` when there is none to take.
    bool Open(std::string &error);
    void Close();
    bool IsOpen() const { return open_; }

    int Width() const;
    int Height() const;

    void Clear(Color color = Color::Desktop);
    // Writes the text at (y, x), clipped to the screen; returns the column after it.
    int Put(int y, int x, const std::u32string &text, Color color);
    int Put(int y, int x, const std::string &utf8, Color color);
    void Fill(int y, int x, int height, int width, Color color, char32_t c = U' ');
    // A frame around the rectangle (its outer edge), double or single lines.
    void Frame(int y, int x, int height, int width, Color color, bool doubleLines);
    // A horizontal separator across a frame: its ends join the frame's sides.
    void Separator(int y, int x, int width, Color color, bool doubleSides);
    // Darkens the cells right of and below a box, as the host's boxes cast a shadow.
    void Shadow(int y, int x, int height, int width);

    void ShowCursor(int y, int x);
    void HideCursor();
    void Refresh();
    // Forces every cell to be sent again at the next refresh.
    void Invalidate();

    // Waits up to timeoutMs (-1: for ever) for a key; a Key with None() when the time ran out.
    Key ReadKey(int timeoutMs);

    // Hands the terminal to another program (the editor) and takes it back.
    void Suspend();
    void Resume();

private:
    Key Translate(int status, unsigned code);
    void SetColors();
    void *terminal_ = nullptr; // ncurses' SCREEN
    bool open_ = false;
    bool colors_ = false;
    bool cursorShown_ = false;
    int cursorY_ = 0, cursorX_ = 0;
    std::map<int, std::pair<int, unsigned>> modifiedKeys_; // ncurses key code to vk, state
};

} // namespace panelhost

#endif
