// Keys from the terminal and panelhost's command line.
#include "keys.h"
#include "options.h"

#include <gtest/gtest.h>

#include <map>

using namespace panelhost;

TEST(Keys, ModifiedSequencesAsXtermAndTmuxSendThem) {
    std::map<std::string, std::pair<int, unsigned>> table;
    for (const KeySequence &sequence : ModifiedKeySequences()) {
        EXPECT_EQ(table.count(sequence.bytes), 0u) << "twice: " << sequence.bytes.substr(1);
        table[sequence.bytes] = {sequence.vk, sequence.state};
    }
    struct Case {
        const char *bytes;
        int vk;
        unsigned state;
    } cases[] = {
        {"\033[1;2S", VK_F4, PKF_SHIFT},            // Shift+F4: file request
        {"\033[1;5R", VK_F3, PKF_CONTROL},          // Ctrl+F3: sort by name
        {"\033[15;5~", VK_F5, PKF_CONTROL},         // Ctrl+F5: by time
        {"\033[17;2~", VK_F6, PKF_SHIFT},           // Shift+F6: flavor of one file
        {"\033[20;4~", VK_F9, PKF_ALT | PKF_SHIFT}, // Alt+Shift+F9: settings
        {"\033[1;5B", VK_DOWN, PKF_CONTROL},        // Ctrl+Down: history
        {"\033[1;3B", VK_DOWN, PKF_ALT},            // Alt+Down: history
        {"\033[5;5~", VK_PRIOR, PKF_CONTROL},       // Ctrl+PgUp: up a level
        {"\033[51;5u", '3', PKF_CONTROL},           // Ctrl+3 from tmux
        {"\033[27;5;52~", '4', PKF_CONTROL},        // Ctrl+4 from xterm
        {"\033[48;5u", '0', PKF_CONTROL},
        {"\033[1;8P", VK_F1, PKF_CONTROL | PKF_ALT | PKF_SHIFT},
    };
    for (const Case &c : cases) {
        auto found = table.find(c.bytes);
        ASSERT_NE(found, table.end()) << c.bytes + 1;
        EXPECT_EQ(found->second.first, c.vk) << c.bytes + 1;
        EXPECT_EQ(found->second.second, c.state) << c.bytes + 1;
    }
}

TEST(Keys, Characters) {
    struct Case {
        char32_t c;
        int vk;
        unsigned state;
        char32_t ch;
    } cases[] = {
        {U'a', 'A', 0, U'a'},
        {U'R', 'R', PKF_SHIFT, U'R'},
        {U'7', '7', 0, U'7'},
        {U' ', VK_SPACE, 0, U' '},
        {0x12, 'R', PKF_CONTROL, 0}, // Ctrl+R: reread
        {0x00, VK_SPACE, PKF_CONTROL, 0},
        {0x0D, VK_RETURN, 0, 0},
        {0x0A, VK_RETURN, 0, 0},
        {0x09, VK_TAB, 0, 0},
        {0x7F, VK_BACK, 0, 0},
        {0x1B, VK_ESCAPE, 0, 0},
        {U'Ж', 0, 0, U'Ж'},
    };
    for (const Case &c : cases) {
        Key key = KeyFromCharacter(c.c);
        EXPECT_EQ(key.vk, c.vk) << static_cast<unsigned>(c.c);
        EXPECT_EQ(key.state, c.state) << static_cast<unsigned>(c.c);
        EXPECT_EQ(key.ch, c.ch) << static_cast<unsigned>(c.c);
    }
    Key alt = WithAlt(KeyFromCharacter(U'c'));
    EXPECT_TRUE(alt.Is('C', PKF_ALT));
    EXPECT_FALSE(alt.IsText());
    EXPECT_EQ(KeyName(alt), "Alt+C");
    EXPECT_EQ(ModifierState(1), 0u);
    EXPECT_EQ(ModifierState(6), PKF_CONTROL | PKF_SHIFT);
}

TEST(CommandLine, Accepted) {
    struct Case {
        std::vector<std::string> arguments;
        CommandLine expected;
    } cases[] = {
        {{}, {}},
        {{"--demo"}, {"", "", "", "", true, false, false}},
        {{"--outbound", "/var/spool/ftn/outb", "--address", "2:5020/1000"},
         {"/var/spool/ftn/outb", "2:5020/1000", "", "", false, false, false}},
        {{"--outbound=/o", "--address=1:2/3.4", "--lang=Russian", "./bsopanel.so"},
         {"/o", "1:2/3.4", "Russian", "./bsopanel.so", false, false, false}},
        {{"--help"}, {"", "", "", "", false, true, false}},
        {{"--", "--odd-name.so"}, {"", "", "", "--odd-name.so", false, false, false}},
    };
    for (const Case &c : cases) {
        CommandLine line;
        std::string error;
        ASSERT_TRUE(ParseCommandLine(c.arguments, line, error)) << error;
        EXPECT_EQ(line.outbound, c.expected.outbound);
        EXPECT_EQ(line.address, c.expected.address);
        EXPECT_EQ(line.language, c.expected.language);
        EXPECT_EQ(line.plugin, c.expected.plugin);
        EXPECT_EQ(line.demo, c.expected.demo);
        EXPECT_EQ(line.help, c.expected.help);
    }
}

TEST(CommandLine, RefusedWithAReason) {
    struct Case {
        std::vector<std::string> arguments;
        const char *says;
    } cases[] = {
        {{"--outbound"}, "--outbound needs a directory"},
        {{"--outbound="}, "not an empty text"},
        {{"--address", "5020/1000"}, "not an address of the form ZONE:NET/NODE"},
        {{"--address", "2:5020/70000"}, "not an address"},
        {{"--address", "0:5020/1"}, "not an address"},
        {{"--address", "2:5020/1.x"}, "not an address"},
        {{"--lang"}, "needs a language"},
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"a.so", "b.so"}, "more than one plugin module"},
        {{"--demo", "--outbound", "/x"}, "does not go with --outbound"},
        {{"--demo=yes"}, "takes no value"},
    };
    for (const Case &c : cases) {
        CommandLine line;
        std::string error;
        EXPECT_FALSE(ParseCommandLine(c.arguments, line, error)) << c.says;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
}

TEST(CommandLine, HelpNamesEveryOption) {
    std::string usage = UsageText("panelhost");
    for (const char *word :
         {"--outbound", "--address", "--lang", "--demo", "--help", "--version", "PLUGIN",
          "registry.reg", "$VISUAL", "F10", "Alt+Shift+F9", "Ctrl+Space", "F5 hold",
          "Shift+F5 release", "Shift+F6", "F8 clear", "Shift+F7 health", "Ctrl+6", "Alt+Down"})
        EXPECT_NE(usage.find(word), std::string::npos) << word;
}
