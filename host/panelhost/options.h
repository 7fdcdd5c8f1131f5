// panelhost's command line.
#ifndef BSOPANEL_PANELHOST_OPTIONS_H
#define BSOPANEL_PANELHOST_OPTIONS_H

#include <string>
#include <vector>

namespace panelhost {

struct CommandLine {
    std::string outbound; // --outbound DIR: written to PathToOutbound before the plugin starts
    std::string address;  // --address ZONE:NET/NODE[.POINT]: written to Address
    std::string language; // --lang NAME
    std::string plugin;   // the plugin module; empty: the one installed beside panelhost
    bool demo = false;
    bool help = false;
    bool version = false;
};

// Parses the arguments after the program name. False with `error` saying what is wrong.
bool ParseCommandLine(const std::vector<std::string> &arguments, CommandLine &line,
                      std::string &error);

// True for an address of the form zone:net/node or zone:net/node.point (numbers 0 to 65535,
// zone and net not 0).
bool IsFullAddress(const std::string &text);

// The text of --help.
std::string UsageText(const std::string &program);

} // namespace panelhost

#endif
