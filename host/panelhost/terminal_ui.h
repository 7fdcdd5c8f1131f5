// The terminal front end of the stand-in host: what the host shows on the plugin's behalf
// (dialogs, message boxes, the progress box, the editor, the viewer, help) drawn on the terminal.
//
// The screen is a stack of layers: the panels at the bottom (drawn by the application), then
// every box open now. A box without buttons (the progress box) stays as a layer until the screen
// saved before it is restored; a resized terminal redraws every layer in order.
#ifndef BSOPANEL_PANELHOST_TERMINAL_UI_H
#define BSOPANEL_PANELHOST_TERMINAL_UI_H

#include "help_file.h"
#include "host_core.h"
#include "screen.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace panelhost {

class DialogModel;

// The help files beside the plugin module, one per language.
class HelpLibrary {
public:
    HelpLibrary(const std::string &moduleDirectory, const std::string &language);
    // The help file of the language (else English); null with `error` when there is none.
    const HelpFile *File(std::string &error);

private:
    std::string directory_, language_;
    bool loaded_ = false;
    std::string error_;
    HelpFile file_;
};

class TerminalUi : public standin::FrontEnd {
public:
    explicit TerminalUi(Screen &screen);
    ~TerminalUi() override;

    // The bottom layer: the panels and the key bar.
    void SetBackground(std::function<void()> draw) { background_ = std::move(draw); }
    void SetHelp(HelpLibrary *help) { help_ = help; }

    // standin::FrontEnd
    int Dialog(const standin::DialogRequest &request) override;
    int Message(const standin::MessageRequest &request) override;
    int Editor(const standin::EditorRequest &request) override;
    void Viewer(const standin::ViewerRequest &request) override;
    void ScreenSaved(int id) override;
    void ScreenRestored(int id) override;
    void PanelRedrawn(const standin::Panel &panel) override;

    // Boxes of the host's own.
    int ShowMessage(const std::string &title, const std::vector<std::string> &lines,
                    const std::vector<std::string> &buttons, bool warning);
    // A menu of items; returns the index chosen, -1 on Esc. With y/x below 0 it is centred.
    int Menu(const std::string &title, const std::vector<std::string> &items, int selected = 0,
             int y = -1, int x = -1, int minWidth = 0);
    // The help viewer on a topic of the plugin's help file.
    void ShowHelp(const std::string &topic);

    // Draws every layer and shows the result.
    void Redraw();
    // Reads a key; a resized terminal is redrawn before the key comes back.
    Key ReadKey(int timeoutMs);

    // Boxes open now (modal ones and progress boxes), for the tests' survival checks.
    int OpenLayers() const { return static_cast<int>(layers_.size()); }

private:
    struct Layer {
        bool progress = false;
        std::function<void()> draw;
    };
    size_t PushLayer(std::function<void()> draw, bool progress = false);
    void PopLayer(size_t index);
    int RunMessageBox(const std::string &title, const std::vector<std::string> &lines,
                      const std::vector<std::string> &buttons, bool warning);
    void DrawMessageBox(const std::vector<std::u32string> &lines, const std::u32string &title,
                        const std::vector<std::u32string> &buttons, int focused, bool warning);
    void DrawDialog(const DialogModel &model, int top, int left);
    void RunHistory(DialogModel &model, int item, int top, int left);

    Screen &screen_;
    HelpLibrary *help_ = nullptr;
    std::function<void()> background_;
    std::vector<Layer> layers_;
    std::vector<std::pair<int, size_t>> saved_; // screen id, layers below it
};

} // namespace panelhost

#endif
