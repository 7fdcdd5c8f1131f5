// For the few corners that the stand-in host cannot reach (a title text no language file holds,
// an instance before its first listing): the plugin's functions are called in this process, and
// this object stands in for the host's table behind them. It keeps the process's copy of the
// host table and the settings as they were and puts them back when it goes away.
#ifndef BSOPANEL_TESTS_PANEL_IN_PROCESS_HOST_H
#define BSOPANEL_TESTS_PANEL_IN_PROCESS_HOST_H

#include "plugin_api.h"
#include "settings/settings.h"

#include <string>
#include <utility>
#include <vector>

class InProcessHost {
public:
    InProcessHost();
    ~InProcessHost();
    InProcessHost(const InProcessHost &) = delete;
    InProcessHost &operator=(const InProcessHost &) = delete;

    // What GetMsg answers for the id; ids without a text answer "Message <id>".
    void SetMessage(int id, const std::string &text);
    // Every Control call: (command, parameter text for FCTL_SETPANELDIR, else "").
    std::vector<std::pair<int, std::string>> controls;

private:
    PluginStartupInfo savedHostInfo_;
    PluginSettings savedSettings_;
};

#endif
