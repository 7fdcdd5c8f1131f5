#include "keys.h"

#include <cstdio>

namespace panelhost {

unsigned ModifierState(int parameter) {
    unsigned bits = parameter > 1 ? static_cast<unsigned>(parameter - 1) : 0;
    unsigned state = 0;
    if (bits & 1) state |= PKF_SHIFT;
    if (bits & 2) state |= PKF_ALT;
    if (bits & 4) state |= PKF_CONTROL;
    return state;
}

std::vector<KeySequence> ModifiedKeySequences() {
    std::vector<KeySequence> sequences;
    struct Final {
        char letter;
        int vk;
    };
    // Keys sent as ESC [ 1 ; m <letter>.
    const Final letters[] = {{'P', VK_F1},   {'Q', VK_F2},   {'R', VK_F3},    {'S', VK_F4},
                             {'A', VK_UP},   {'B', VK_DOWN}, {'C', VK_RIGHT}, {'D', VK_LEFT},
                             {'H', VK_HOME}, {'F', VK_END}};
    // Keys sent as ESC [ n ; m ~.
    struct Numbered {
        int number;
        int vk;
    };
    const Numbered numbered[] = {{2, VK_INSERT}, {3, VK_DELETE}, {5, VK_PRIOR}, {6, VK_NEXT},
                                 {15, VK_F5},    {17, VK_F6},    {18, VK_F7},   {19, VK_F8},
                                 {20, VK_F9},    {21, VK_F10},   {23, VK_F11},  {24, VK_F12}};
    char text[32];
    for (int m = 2; m <= 8; ++m) {
        unsigned state = ModifierState(m);
        for (const Final &key : letters) {
            std::snprintf(text, sizeof text, "\033[1;%d%c", m, key.letter);
            sequences.push_back({text, key.vk, state});
        }
        for (const Numbered &key : numbered) {
            std::snprintf(text, sizeof text, "\033[%d;%d~", key.number, m);
            sequences.push_back({text, key.vk, state});
        }
        for (int digit = 0; digit <= 9; ++digit) {
            int code = '0' + digit;
            std::snprintf(text, sizeof text, "\033[%d;%du", code, m);
            sequences.push_back({text, code, state});
            std::snprintf(text, sizeof text, "\033[27;%d;%d~", m, code);
            sequences.push_back({text, code, state});
        }
    }
    return sequences;
}

Key KeyFromCharacter(char32_t c) {
    Key key;
    switch (c) {
    case 0:
        key.vk = VK_SPACE;
        key.state = PKF_CONTROL;
        return key;
    case 8:
    case 127:
        key.vk = VK_BACK;
        return key;
    case 9:
        key.vk = VK_TAB;
        return key;
    case 10:
    case 13:
        key.vk = VK_RETURN;
        return key;
    case 27:
        key.vk = VK_ESCAPE;
        return key;
    default:
        break;
    }
    if (c < 0x20) {
        key.vk = 'A' + static_cast<int>(c) - 1; // Ctrl+A is 1
        key.state = PKF_CONTROL;
        return key;
    }
    key.ch = c;
    if (c >= 'a' && c <= 'z') {
        key.vk = static_cast<int>(c) - 'a' + 'A';
    } else if (c >= 'A' && c <= 'Z') {
        key.vk = static_cast<int>(c);
        key.state = PKF_SHIFT;
    } else if (c >= '0' && c <= '9') {
        key.vk = static_cast<int>(c);
    } else if (c == ' ') {
        key.vk = VK_SPACE;
    }
    return key;
}

Key WithAlt(Key key) {
    key.state |= PKF_ALT;
    // Alt+Shift+letter: the capital stays the character, the state says Shift.
    return key;
}

std::string KeyName(const Key &key) {
    if (key.resize) return "Resize";
    std::string name;
    if (key.state & PKF_CONTROL) name += "Ctrl+";
    if (key.state & PKF_ALT) name += "Alt+";
    if (key.state & PKF_SHIFT) name += "Shift+";
    if (key.vk >= VK_F1 && key.vk <= VK_F12) return name + "F" + std::to_string(key.vk - VK_F1 + 1);
    switch (key.vk) {
    case VK_UP:
        return name + "Up";
    case VK_DOWN:
        return name + "Down";
    case VK_LEFT:
        return name + "Left";
    case VK_RIGHT:
        return name + "Right";
    case VK_HOME:
        return name + "Home";
    case VK_END:
        return name + "End";
    case VK_PRIOR:
        return name + "PgUp";
    case VK_NEXT:
        return name + "PgDn";
    case VK_INSERT:
        return name + "Ins";
    case VK_DELETE:
        return name + "Del";
    case VK_RETURN:
        return name + "Enter";
    case VK_TAB:
        return name + "Tab";
    case VK_ESCAPE:
        return name + "Esc";
    case VK_BACK:
        return name + "BS";
    case VK_SPACE:
        return name + "Space";
    default:
        break;
    }
    if ((key.vk >= 'A' && key.vk <= 'Z') || (key.vk >= '0' && key.vk <= '9'))
        return name + static_cast<char>(key.vk);
    if (key.ch) return name + "U+" + std::to_string(static_cast<unsigned>(key.ch));
    return name + "?";
}

} // namespace panelhost
