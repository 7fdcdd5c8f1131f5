// Keys as the host passes them to the plugin: a Windows virtual key code and the modifier
// state (PKF_CONTROL, PKF_ALT, PKF_SHIFT), plus the character typed where there is one.
//
// Terminals send function and cursor keys with modifiers as xterm escape sequences
// ("ESC [ 1 ; 2 S" is Shift+F4); Ctrl+digit comes only from terminals that report other keys
// with modifiers (xterm's modifyOtherKeys "ESC [ 27 ; 5 ; 51 ~", or "ESC [ 51 ; 5 u" as tmux
// sends it with extended-keys on). Alt+key arrives as ESC followed by the key.
#ifndef BSOPANEL_PANELHOST_KEYS_H
#define BSOPANEL_PANELHOST_KEYS_H

#include "plugin_api.h"

#include <string>
#include <vector>

namespace panelhost {

struct Key {
    int vk = 0;          // virtual key code; 0 when nothing was pressed or the character has none
    unsigned state = 0;  // PKF_CONTROL | PKF_ALT | PKF_SHIFT
    char32_t ch = 0;     // the printable character typed (also with Alt), else 0
    bool resize = false; // the terminal changed its size

    bool None() const { return vk == 0 && ch == 0 && !resize; }
    bool Is(int key, unsigned modifiers = 0) const { return vk == key && state == modifiers; }
    // A character to insert into a text: typed without Ctrl or Alt.
    bool IsText() const { return ch >= 0x20 && (state & (PKF_CONTROL | PKF_ALT)) == 0; }
};

struct KeySequence {
    std::string bytes; // what the terminal sends
    int vk;
    unsigned state;
};

// The escape sequences of keys with modifiers that xterm-compatible terminals send: function
// keys F1 to F12, cursor and editing keys with Shift, Alt and Ctrl in every combination, and
// the digits 0 to 9 with modifiers in both reporting forms.
std::vector<KeySequence> ModifiedKeySequences();

// The modifier state that an xterm modifier parameter (2 to 8) stands for.
unsigned ModifierState(int parameter);

// A character read from the terminal: printable characters with their virtual key (letters
// 'A' to 'Z', Shift for capitals; digits), control characters as Ctrl+letter, and Enter, Tab,
// Backspace, Esc, Ctrl+Space as themselves.
Key KeyFromCharacter(char32_t c);

// The key with Alt added (the terminal sent ESC before it).
Key WithAlt(Key key);

// "Shift+F4", "Ctrl+R", "Alt+Down": for messages and tests.
std::string KeyName(const Key &key);

} // namespace panelhost

#endif
