#include "options.h"

#include <cctype>

namespace panelhost {

namespace {

// Reads a decimal number up to 65535 at text[at]; moves at past it.
bool Number(const std::string &text, size_t &at, unsigned &value) {
    size_t start = at;
    value = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
        value = value * 10 + static_cast<unsigned>(text[at] - '0');
        if (value > 65535 || at - start >= 5) return false;
        ++at;
    }
    return at > start;
}

} // namespace

bool IsFullAddress(const std::string &text) {
    size_t at = 0;
    unsigned zone, net, node, point;
    if (!Number(text, at, zone) || at >= text.size() || text[at++] != ':') return false;
    if (!Number(text, at, net) || at >= text.size() || text[at++] != '/') return false;
    if (!Number(text, at, node)) return false;
    if (at < text.size()) {
        if (text[at++] != '.' || !Number(text, at, point)) return false;
    }
    return at == text.size() && zone != 0 && net != 0;
}

bool ParseCommandLine(const std::vector<std::string> &arguments, CommandLine &line,
                      std::string &error) {
    line = CommandLine();
    bool optionsDone = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        std::string value;
        bool hasValue = false;
        if (!optionsDone && argument.compare(0, 2, "--") == 0 && argument.size() > 2) {
            size_t equals = argument.find('=');
            if (equals != std::string::npos) {
                value = argument.substr(equals + 1);
                argument = argument.substr(0, equals);
                hasValue = true;
            }
        }
        auto needValue = [&](const char *what) {
            if (hasValue) return true;
            if (i + 1 >= arguments.size()) {
                error = argument + " needs " + what;
                return false;
            }
            value = arguments[++i];
            return true;
        };
        if (optionsDone || argument.empty() || argument[0] != '-' || argument == "-") {
            if (!line.plugin.empty()) {
                error = "more than one plugin module given: " + line.plugin + " and " + argument;
                return false;
            }
            line.plugin = argument;
        } else if (argument == "--") {
            optionsDone = true;
        } else if (argument == "--help" || argument == "-h") {
            line.help = true;
        } else if (argument == "--version") {
            line.version = true;
        } else if (argument == "--demo") {
            if (hasValue) {
                error = "--demo takes no value";
                return false;
            }
            line.demo = true;
        } else if (argument == "--outbound") {
            if (!needValue("a directory")) return false;
            if (value.empty()) {
                error = "--outbound needs a directory, not an empty text";
                return false;
            }
            line.outbound = value;
        } else if (argument == "--address") {
            if (!needValue("an address such as 2:5020/1000")) return false;
            if (!IsFullAddress(value)) {
                error = "--address " + value +
                        ": not an address of the form ZONE:NET/NODE (for example 2:5020/1000)";
                return false;
            }
            line.address = value;
        } else if (argument == "--lang") {
            if (!needValue("a language (English or Russian)")) return false;
            if (value.empty()) {
                error = "--lang needs a language (English or Russian)";
                return false;
            }
            line.language = value;
        } else {
            error = "unknown option " + argument + " (see --help)";
            return false;
        }
    }
    if (line.demo && !line.outbound.empty()) {
        error = "--demo builds an outbound of its own: it does not go with --outbound";
        return false;
    }
    return true;
}

std::string UsageText(const std::string &program) {
    return "Usage: " + program +
           " [--outbound DIR] [--address ZONE:NET/NODE] [--lang English|Russian] [--demo] "
           "[PLUGIN]\n"
           "\n"
           "Runs the bsopanel plugin in the terminal, the way the file manager shows it: the\n"
           "outbound panel on the left, a file panel of the current directory on the right.\n"
           "\n"
           "Options:\n"
           "  --outbound DIR   the BSO outbound directory of your own zone (for example\n"
           "                   /var/spool/ftn/outb); stored in the settings before the plugin "
           "starts\n"
           "  --address ADDR   your own FTN address, ZONE:NET/NODE; stored in the settings too\n"
           "  --lang NAME      the language of the plugin's texts: English (default) or Russian;\n"
           "                   $BSOPANEL_LANG says the same\n"
           "  --demo           builds a demo outbound in a fresh temporary directory, with "
           "settings\n"
           "                   of its own, and opens it; everything is removed when panelhost\n"
           "                   ends, also when its terminal closes\n"
           "  --help           this text\n"
           "  --version        the version\n"
           "  PLUGIN           the plugin module (bsopanel.so); by default the one installed with\n"
           "                   panelhost. Its language (.lng) and help (.hlf) files lie beside "
           "it.\n"
           "\n"
           "Settings live in a registry file in REGEDIT4 format: $BSOPANEL_REGISTRY, by default\n"
           "~/.config/bsopanel/registry.reg, key "
           "HKEY_CURRENT_USER\\Software\\Far\\Plugins\\KESTREL.\n"
           "\n"
           "Keys: Tab switches panels; Enter enters a link, \"..\" goes back; Insert or Space "
           "selects.\n"
           "At the root: F4 file request, F5 hold, Shift+F5 release, F6 reset the failed calls,\n"
           "Shift+F6 remove a stale busy flag, F7 poll, F8 clear the queue, Shift+F7 health "
           "check.\n"
           "In a link: F3 view a packet, F6 flavor, F7 remove, Shift+F4 file request.\n"
           "F5 and F6 on the file panel attach files to a link; Ctrl+R rereads; Ctrl+3, Ctrl+4,\n"
           "Ctrl+5, Ctrl+6 or Ctrl+0..9 switch view modes (6 at the root: queues and the mailer's\n"
           "state; Alt+digit where the terminal does not pass Ctrl+digit);\n"
           "Ctrl+F3 to Ctrl+F6 sort by name, extension, time (newest first), size (largest\n"
           "first), again: reversed;\n"
           "Ctrl+Space shows the Shift, Ctrl and Alt key bars in turn; Ctrl+Down or Alt+Down in "
           "an\n"
           "address field: the addresses typed before; F1 help (in a dialog, its page);\n"
           "Alt+Shift+F9 the plugin's settings; F11 plugins menu, Alt+F1 and Alt+F2 disks menus;\n"
           "F10 quits.\n"
           "\n"
           "The file request editor is $VISUAL, else $EDITOR, else vi.\n";
}

} // namespace panelhost
