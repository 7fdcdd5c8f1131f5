// The two panels on the terminal and the keys of the host: drawing each panel in its view mode,
// the key bar with its Shift, Ctrl and Alt groups, and the main loop that hands every key to the
// plugin first and sends idle events while no key comes.
#ifndef BSOPANEL_PANELHOST_PANELS_APP_H
#define BSOPANEL_PANELHOST_PANELS_APP_H

#include "host_core.h"
#include "keys.h"
#include "screen.h"
#include "terminal_ui.h"

#include <string>
#include <vector>

namespace panelhost {

class PanelsApp {
public:
    PanelsApp(standin::Host &host, TerminalUi &ui, Screen &screen);
    ~PanelsApp();
    PanelsApp(const PanelsApp &) = delete;
    PanelsApp &operator=(const PanelsApp &) = delete;

    // Shows a warning box before the first key (a problem found at start that is no reason to
    // stop, such as an outbound directory that does not exist).
    void WarnAtStart(const std::string &title, const std::vector<std::string> &lines);
    // Runs until F10; returns the process's exit status.
    int Run();
    // Draws both panels and the key bar (the bottom layer of the screen).
    void Draw();
    // Handles one key as the host does; false once the user asked to quit.
    bool HandleKey(const Key &key);

    // The labels of F1 to F12 shown now for the active panel, in the group shown.
    std::vector<std::string> KeyBarLabels();

private:
    struct Geometry {
        int x = 0, width = 0;
    };
    void DrawPanel(standin::Panel &panel, int x, int width, bool active);
    void DrawKeyBar();
    int ItemRows() const;
    int StripesOf(const standin::Panel &panel, int width) const;
    void MovePage(standin::Panel &panel, int direction);
    void OpenPluginMenu();
    void OpenDisksMenu(standin::Side side);
    void Configure();
    bool HostKey(const Key &key);
    Geometry GeometryOf(standin::Side side);
    bool FullScreen(const standin::Panel &panel) const;

    standin::Host &host_;
    TerminalUi &ui_;
    Screen &screen_;
    int top_[2] = {0, 0}; // first item shown, per side
    int keyBarGroup_ = 0; // 0 plain, 1 Shift, 2 Ctrl, 3 Alt: the group shown
    bool quit_ = false;
    std::string startTitle_;
    std::vector<std::string> startLines_;
};

} // namespace panelhost

#endif
