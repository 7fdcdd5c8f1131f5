#include "panels_app.h"
#include "columns.h"
#include "text.h"

#include <algorithm>
#include <chrono>

namespace panelhost {

namespace {

using standin::Panel;
using standin::ShownItem;
using standin::Side;

// The host's own key bar labels, for the keys panelhost itself serves: [group][F1..F12], the
// groups in KeyBarTitles order (plain, Ctrl, Alt, Shift).
const char *const kHostLabels[4][12] = {
    {"Help", "", "", "", "Copy", "RenMov", "", "", "", "Quit", "Plugin", ""},
    {"", "", "Name", "Extens", "Modifn", "Size", "Unsort", "Creatn", "Access", "Descr", "Owner",
     ""},
    {"Left", "Right", "", "", "", "", "", "", "", "", "", ""},
    {"", "", "", "", "", "", "", "", "", "", "", ""},
};

// The group shown for each step of Ctrl+Space: plain, Shift, Ctrl, Alt.
const standin::KeyBarGroup kShownGroups[4] = {standin::KeyBarPlain, standin::KeyBarShift,
                                              standin::KeyBarCtrl, standin::KeyBarAlt};

char SortLetter(int mode) {
    switch (mode) {
    case SM_UNSORTED:
        return 'u';
    case SM_NAME:
        return 'n';
    case SM_EXT:
        return 'x';
    case SM_MTIME:
        return 't';
    case SM_CTIME:
        return 'c';
    case SM_ATIME:
        return 'a';
    case SM_SIZE:
        return 's';
    case SM_DESCR:
        return 'z';
    case SM_OWNER:
        return 'o';
    default:
        return 'n';
    }
}

std::u32string CellText(const ShownItem &item, const Column &column, int width,
                        const std::string &language) {
    switch (column.kind) {
    case ColumnKind::Name: {
        std::string name = column.Has('O') && !item.isDots ? NameWithoutPath(item.name) : item.name;
        bool tail = column.Has('R');
        return FitText(name, width, false, tail, tail ? U'{' : U'}');
    }
    case ColumnKind::Size:
    case ColumnKind::PackedSize:
        return FitText(FormatSizeCell(item.size, item.IsDirectory(), item.isDots, width,
                                      column.Has('C'), language),
                       width, true);
    case ColumnKind::Date:
        return FitText(FormatDateCell(item.lastWriteTime), width, true);
    case ColumnKind::Time:
        return FitText(FormatTimeCell(item.lastWriteTime), width, true);
    case ColumnKind::Custom: {
        size_t index = static_cast<size_t>(column.custom);
        return FitText(index < item.columns.size() ? item.columns[index] : std::string(), width);
    }
    case ColumnKind::Description:
        return FitText(item.description ? *item.description : std::string(), width);
    case ColumnKind::Owner:
        return FitText(item.owner ? *item.owner : std::string(), width);
    default:
        return FitText(std::string(), width);
    }
}

} // namespace

PanelsApp::PanelsApp(standin::Host &host, TerminalUi &ui, Screen &screen)
    : host_(host), ui_(ui), screen_(screen) {
    ui_.SetBackground([this]() { Draw(); });
}

// The host may still redraw while it closes its panels: it must not reach a drawing that is gone.
PanelsApp::~PanelsApp() {
    ui_.SetBackground(nullptr);
}

void PanelsApp::WarnAtStart(const std::string &title, const std::vector<std::string> &lines) {
    startTitle_ = title;
    startLines_ = lines;
}

bool PanelsApp::FullScreen(const Panel &panel) const {
    int mode = panel.ViewMode();
    const std::vector<standin::PanelModeCopy> &modes = panel.Info().panelModes;
    return panel.IsPlugin() && mode < static_cast<int>(modes.size()) &&
           modes[static_cast<size_t>(mode)].hasColumnTypes &&
           modes[static_cast<size_t>(mode)].fullScreen;
}

PanelsApp::Geometry PanelsApp::GeometryOf(Side side) {
    int width = screen_.Width();
    Geometry geometry;
    Panel &panel = host_.GetPanel(side);
    if (FullScreen(panel) && &panel == &host_.Active()) {
        geometry.x = 0;
        geometry.width = width;
    } else if (side == Side::Left) {
        geometry.x = 0;
        geometry.width = width / 2;
    } else {
        geometry.x = width / 2;
        geometry.width = width - width / 2;
    }
    return geometry;
}

int PanelsApp::ItemRows() const {
    int interior = screen_.Height() - 3;
    int rows = interior >= 5 ? interior - 3 : interior;
    return std::max(1, rows);
}

int PanelsApp::StripesOf(const Panel &panel, int width) const {
    std::vector<Column> columns = ParseColumns(panel.ViewColumnTypes(), panel.ViewColumnWidths());
    int stripes = std::max(1, StripeCount(columns));
    int inner = width - 2;
    while (stripes > 1 && (inner - (stripes - 1)) / stripes < 6) --stripes;
    return stripes;
}

void PanelsApp::Draw() {
    screen_.Clear();
    Panel &active = host_.Active();
    Panel &passive = host_.Passive();
    Side activeSide = active.GetSide(), passiveSide = passive.GetSide();
    Geometry activeGeometry = GeometryOf(activeSide);
    if (activeGeometry.width < screen_.Width()) {
        // A passive panel in a full-screen mode lies under the active one.
        Geometry passiveGeometry = GeometryOf(passiveSide);
        if (FullScreen(passive)) passiveGeometry = Geometry{0, screen_.Width()};
        DrawPanel(passive, passiveGeometry.x, passiveGeometry.width, false);
    }
    DrawPanel(active, activeGeometry.x, activeGeometry.width, true);
    DrawKeyBar();
}

void PanelsApp::DrawPanel(Panel &panel, int x, int width, bool active) {
    int height = screen_.Height() - 1;
    if (width < 4 || height < 3) return;
    int side = static_cast<int>(panel.GetSide());
    screen_.Fill(0, x, height, width, Color::PanelText);
    screen_.Frame(0, x, height, width, Color::PanelBorder, true);
    int interior = height - 2;
    bool details = interior >= 5; // column titles, separator and status line
    int rows = ItemRows();
    int firstRow = details ? 2 : 1;
    int inner = width - 2;

    std::vector<Column> columns = ParseColumns(panel.ViewColumnTypes(), panel.ViewColumnWidths());
    int stripes = StripesOf(panel, width);
    int groupSize =
        std::max(1, static_cast<int>(columns.size()) / std::max(1, StripeCount(columns)));
    std::vector<Column> group(columns.begin(),
                              columns.begin() +
                                  std::min<long>(groupSize, static_cast<long>(columns.size())));
    std::vector<std::optional<std::string>> titles;
    if (panel.IsPlugin()) {
        int mode = panel.ViewMode();
        if (mode < static_cast<int>(panel.Info().panelModes.size()) &&
            panel.Info().panelModes[static_cast<size_t>(mode)].hasColumnTypes)
            titles = panel.Info().panelModes[static_cast<size_t>(mode)].columnTitles;
    }

    int count = panel.Count();
    int current = panel.CurrentIndex();
    int &top = top_[side];
    top = PageTop(top, current, count, rows, stripes);

    int stripeWidth = (inner - (stripes - 1)) / stripes;
    std::vector<int> separatorColumns; // where the separator row gets its junctions
    for (int s = 0; s < stripes; ++s) {
        int stripeX = x + 1 + s * (stripeWidth + 1);
        int thisWidth = s == stripes - 1 ? inner - s * (stripeWidth + 1) : stripeWidth;
        std::vector<int> widths = LayoutColumns(group, thisWidth);
        // Where each column starts; a separator column stands after each but the last shown.
        std::vector<int> starts(group.size(), -1);
        int cx = stripeX;
        for (size_t c = 0; c < group.size(); ++c) {
            if (widths[c] <= 0) continue;
            starts[c] = cx;
            cx += widths[c] + 1;
            if (c + 1 < group.size() && widths[c + 1] > 0) separatorColumns.push_back(cx - 1);
        }
        if (s + 1 < stripes) separatorColumns.push_back(stripeX + thisWidth);
        if (details)
            for (size_t c = 0; c < group.size(); ++c) {
                if (starts[c] < 0) continue;
                size_t titleIndex = static_cast<size_t>(s) * group.size() + c;
                std::string title = titleIndex < titles.size() && titles[titleIndex]
                                        ? *titles[titleIndex]
                                        : DefaultColumnTitle(group[c]);
                screen_.Put(1, starts[c], CenterText(DecodeUtf8(title), widths[c]),
                            Color::PanelColumnTitle);
            }
        for (int row = 0; row < rows; ++row) {
            int index = top + s * rows + row;
            int y = firstRow + row;
            bool shown = index < count;
            ShownItem item = shown ? panel.Item(index) : ShownItem();
            bool isCurrent = shown && active && index == current;
            Color color =
                isCurrent ? (item.IsSelected() ? Color::PanelCursorSelected : Color::PanelCursor)
                : item.IsSelected()                 ? Color::PanelSelected
                : item.IsDirectory() || item.isDots ? Color::PanelFolder
                                                    : Color::PanelText;
            for (size_t c = 0; c < group.size(); ++c) {
                if (starts[c] < 0) continue;
                if (shown)
                    screen_.Put(y, starts[c],
                                CellText(item, group[c], widths[c], host_.LanguageName()), color);
                if (c + 1 < group.size() && starts[c + 1] >= 0)
                    screen_.Put(y, starts[c] + widths[c], U"│",
                                isCurrent ? color : Color::PanelBorder);
            }
        }
    }
    // Separators between the columns in the title row and between stripes.
    for (int column : separatorColumns) {
        int from = details ? 1 : firstRow;
        if (details) screen_.Put(1, column, U"│", Color::PanelBorder);
        for (int s = 0; s + 1 < stripes; ++s)
            if (column == x + 1 + s * (stripeWidth + 1) + stripeWidth)
                for (int row = from; row < firstRow + rows; ++row)
                    screen_.Put(row, column, U"│", Color::PanelBorder);
    }
    if (details) {
        int separatorRow = firstRow + rows;
        screen_.Separator(separatorRow, x, width, Color::PanelBorder, true);
        for (int column : separatorColumns)
            screen_.Put(separatorRow, column, U"┴", Color::PanelBorder);
        // The status line: the plugin mode's status columns; a plugin mode without them and
        // without DetailedStatus shows the name alone; a file panel the name, size, date and
        // time.
        const standin::PanelModeCopy *mode = nullptr;
        if (panel.IsPlugin() && panel.ViewMode() < static_cast<int>(panel.Info().panelModes.size()))
            mode = &panel.Info().panelModes[static_cast<size_t>(panel.ViewMode())];
        if (count > 0 && mode && mode->statusColumnTypes) {
            ShownItem item = panel.Item(current);
            std::vector<Column> status = ParseColumns(
                *mode->statusColumnTypes, mode->statusColumnWidths.value_or(std::string()));
            std::vector<int> widths = LayoutColumns(status, inner);
            std::u32string line;
            for (size_t c = 0; c < status.size(); ++c) {
                if (widths[c] <= 0) continue;
                if (!line.empty()) line += U" ";
                line += CellText(item, status[c], widths[c], host_.LanguageName());
            }
            screen_.Put(separatorRow + 1, x + 1, FitText(line, inner), Color::PanelText);
        } else if (count > 0 && mode && mode->hasColumnTypes && !mode->detailedStatus) {
            ShownItem item = panel.Item(current);
            screen_.Put(separatorRow + 1, x + 1, FitText(item.name, inner, false, true, U'{'),
                        Color::PanelText);
        } else if (count > 0) {
            ShownItem item = panel.Item(current);
            std::string size = FormatSizeCell(item.size, item.IsDirectory(), item.isDots, 10, false,
                                              host_.LanguageName());
            std::string when = item.isDots ? std::string()
                                           : FormatDateCell(item.lastWriteTime) + " " +
                                                 FormatTimeCell(item.lastWriteTime);
            std::u32string tail = DecodeUtf8(" " + size + " " + when);
            int nameWidth = inner - TextWidth(tail);
            if (nameWidth < 8) {
                tail.clear();
                nameWidth = inner;
            }
            std::u32string status = FitText(item.name, nameWidth, false, true, U'{') + tail;
            screen_.Put(separatorRow + 1, x + 1, FitText(status, inner), Color::PanelText);
        }
        std::vector<std::string> selected = panel.SelectedNames();
        if (!selected.empty()) {
            std::u32string info = DecodeUtf8(" " + std::to_string(selected.size()) + " selected ");
            info = CutText(info, inner);
            screen_.Put(separatorRow, x + (width - TextWidth(info)) / 2, info,
                        Color::PanelSelected);
        }
    }
    // Title and sort mode in the top border.
    std::string titleText =
        panel.IsPlugin() ? panel.Title() : " " + standin::NativePath(panel.Directory()) + " ";
    std::u32string title = DecodeUtf8(titleText);
    if (TextWidth(title) > width - 4)
        title = FitText(title, std::max(0, width - 4), false, true, U'{');
    screen_.Put(0, x + (width - TextWidth(title)) / 2, title,
                active ? Color::PanelTitleActive : Color::PanelTitle);
    char letter = SortLetter(panel.SortMode());
    if (panel.SortReversed()) letter = static_cast<char>(letter - 'a' + 'A');
    screen_.Put(0, x + 1, std::u32string(1, static_cast<char32_t>(letter)), Color::PanelBorder);
}

std::vector<std::string> PanelsApp::KeyBarLabels() {
    std::vector<std::string> labels;
    standin::KeyBarGroup group = kShownGroups[keyBarGroup_];
    Panel &active = host_.Active();
    for (int key = 0; key < 12; ++key) {
        std::string label = kHostLabels[group][key];
        // F5 and F6 copy and move from a file panel onto the plugin's panel: on the plugin's
        // own panel panelhost has nothing to copy with.
        if (active.IsPlugin() && group == standin::KeyBarPlain && (key == 4 || key == 5))
            label.clear();
        if (active.IsPlugin() && active.Info().hasKeyBar && active.Info().keyBar[group][key])
            label = *active.Info().keyBar[group][key];
        labels.push_back(label);
    }
    return labels;
}

void PanelsApp::DrawKeyBar() {
    int y = screen_.Height() - 1;
    int width = screen_.Width();
    std::vector<std::string> labels = KeyBarLabels();
    int x = 0;
    for (int key = 0; key < 12; ++key) {
        // Twelve cells share the width; the first ones take what does not divide evenly.
        int cell = width / 12 + (key < width % 12 ? 1 : 0);
        std::u32string number = DecodeUtf8(std::to_string(key + 1));
        int numberWidth = std::min(cell, TextWidth(number));
        screen_.Put(y, x, CutText(number, numberWidth), Color::KeyNumber);
        screen_.Put(y, x + numberWidth,
                    FitText(labels[static_cast<size_t>(key)], cell - numberWidth), Color::KeyLabel);
        x += cell;
    }
}

// ---- Keys -------------------------------------------------------------------------------------

void PanelsApp::MovePage(Panel &panel, int direction) {
    Geometry geometry = GeometryOf(panel.GetSide());
    int page = ItemRows() * StripesOf(panel, geometry.width);
    int target = panel.CurrentIndex() + direction * page;
    panel.SetCurrent(std::max(0, std::min(target, panel.Count() - 1)));
}

void PanelsApp::OpenPluginMenu() {
    standin::PluginInfoCopy info = host_.GetPluginInfo();
    if (info.pluginMenuStrings.empty()) {
        ui_.ShowMessage("Plugins", {"The plugin offers no entry in the plugins menu."}, {"OK"},
                        false);
        return;
    }
    int chosen = ui_.Menu("Plugin commands", info.pluginMenuStrings, 0);
    if (chosen < 0) return;
    if (host_.Active().IsPlugin()) host_.ClosePanel();
    if (!host_.OpenPanel(OPEN_PLUGINSMENU, chosen))
        ui_.ShowMessage("Plugins", {"The plugin opened no panel:", host_.LastError()}, {"OK"},
                        true);
}

void PanelsApp::OpenDisksMenu(Side side) {
    standin::PluginInfoCopy info = host_.GetPluginInfo();
    std::vector<std::string> items;
    for (size_t i = 0; i < info.diskMenuStrings.size(); ++i) {
        int digit = i < info.diskMenuNumbers.size() ? info.diskMenuNumbers[i] : 0;
        std::string prefix = digit > 0 && digit <= 9 ? "&" + std::to_string(digit) + "  " : "   ";
        items.push_back(prefix + info.diskMenuStrings[i]);
    }
    std::string directory = standin::NativePath(host_.GetPanel(side).Directory());
    items.push_back("&/  the file system (" + directory + ")");
    int chosen = ui_.Menu(side == Side::Left ? "Left" : "Right", items, 0);
    if (chosen < 0) return;
    Panel &panel = host_.GetPanel(side);
    if (panel.IsPlugin()) host_.ClosePanelOn(side);
    host_.SetActive(side);
    if (chosen < static_cast<int>(info.diskMenuStrings.size()) &&
        !host_.OpenPanelOn(side, OPEN_DISKMENU, chosen))
        ui_.ShowMessage("Disks", {"The plugin opened no panel:", host_.LastError()}, {"OK"}, true);
}

void PanelsApp::Configure() {
    standin::PluginInfoCopy info = host_.GetPluginInfo();
    if (info.pluginConfigStrings.empty()) {
        ui_.ShowMessage("Plugins configuration", {"The plugin has no settings dialog."}, {"OK"},
                        false);
        return;
    }
    int chosen = 0;
    if (info.pluginConfigStrings.size() > 1)
        chosen = ui_.Menu("Plugins configuration", info.pluginConfigStrings, 0);
    if (chosen < 0) return;
    if (host_.Configure(chosen)) {
        // New settings show at the next listing, as they do in the real host after a reread.
        for (Side side : {Side::Left, Side::Right}) {
            Panel &panel = host_.GetPanel(side);
            if (panel.IsPlugin()) {
                panel.Update();
                panel.Redraw();
            }
        }
    }
}

bool PanelsApp::HostKey(const Key &key) {
    Panel &panel = host_.Active();
    if (key.Is(VK_TAB)) {
        host_.SetActive(panel.GetSide() == Side::Left ? Side::Right : Side::Left);
    } else if (key.Is(VK_F10)) {
        quit_ = true;
    } else if (key.Is(VK_F1)) {
        ui_.ShowHelp("Contents");
    } else if (key.Is(VK_F11)) {
        OpenPluginMenu();
    } else if (key.Is(VK_F1, PKF_ALT)) {
        OpenDisksMenu(Side::Left);
    } else if (key.Is(VK_F2, PKF_ALT)) {
        OpenDisksMenu(Side::Right);
    } else if (key.Is(VK_F9, PKF_ALT | PKF_SHIFT)) {
        Configure();
    } else if (key.Is(VK_SPACE)) {
        panel.ToggleSelection(panel.CurrentIndex());
        panel.SetCurrent(panel.CurrentIndex() + 1);
        panel.Redraw();
    } else if (key.Is(VK_PRIOR) || key.Is(VK_LEFT)) {
        MovePage(panel, -1);
    } else if (key.Is(VK_NEXT) || key.Is(VK_RIGHT)) {
        MovePage(panel, 1);
    } else if (key.Is(VK_PRIOR, PKF_CONTROL) || key.Is(VK_BACK)) {
        if (panel.Count() > 0 && panel.IsDotsItem(0)) {
            panel.SetCurrent(0);
            return HandleKey(KeyFromCharacter(13));
        }
    } else if (key.vk >= '0' && key.vk <= '9' &&
               (key.state == PKF_CONTROL || key.state == PKF_ALT)) {
        panel.SetViewMode(key.vk - '0');
    } else if (key.Is('L', PKF_CONTROL)) {
        screen_.Invalidate();
    } else {
        return false;
    }
    return true;
}

bool PanelsApp::HandleKey(const Key &key) {
    if (key.resize || key.None()) return !quit_;
    if (key.Is(VK_SPACE, PKF_CONTROL)) {
        keyBarGroup_ = (keyBarGroup_ + 1) % 4;
        return !quit_;
    }
    keyBarGroup_ = 0;
    if (key.vk == 0) return !quit_; // a character with no key code: nothing on a panel takes it
    Panel &panel = host_.Active();
    // F5 and F6 on a file panel copy onto the plugin panel opposite: its PutFiles.
    if (!panel.IsPlugin() && key.state == 0 && (key.vk == VK_F5 || key.vk == VK_F6)) {
        if (!host_.Passive().IsPlugin())
            ui_.ShowMessage(key.vk == VK_F5 ? "Copy" : "Move",
                            {"panelhost copies files only onto the plugin's panel:",
                             "open it on the other panel first (F11 or Alt+F1/Alt+F2)."},
                            {"OK"}, false);
        else
            host_.CopyToPluginPanel(key.vk == VK_F6);
        return !quit_;
    }
    // Enter on ".." at the plugin's root leaves the plugin, as the real host does.
    bool leaving = panel.IsPlugin() && key.Is(VK_RETURN) && panel.Count() > 0 &&
                   panel.IsDotsItem(panel.CurrentIndex()) && panel.Info().curDir.empty();
    Side side = panel.GetSide();
    // Alt+digit stands for Ctrl+digit where the terminal does not pass that.
    bool altDigit = key.vk >= '0' && key.vk <= '9' && key.state == PKF_ALT;
    unsigned state = altDigit ? static_cast<unsigned>(PKF_CONTROL) : key.state;
    if (host_.PressKey(key.vk, state)) return !quit_;
    Panel &now = host_.GetPanel(side);
    if (leaving && now.IsPlugin() && now.Info().curDir.empty()) {
        host_.ClosePanelOn(side);
        return !quit_;
    }
    HostKey(key);
    return !quit_;
}

int PanelsApp::Run() {
    using Clock = std::chrono::steady_clock;
    if (host_.QuitRequested()) return 0;
    ui_.Redraw();
    if (!startLines_.empty()) ui_.ShowMessage(startTitle_, startLines_, {"OK"}, true);
    Clock::time_point lastIdle = Clock::now();
    // The host's own error box may ask to quit, from inside any call into the plugin.
    while (!quit_ && !host_.QuitRequested()) {
        ui_.Redraw();
        long elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastIdle).count();
        int wait = static_cast<int>(std::max(0L, 1000 - elapsed));
        Key key = ui_.ReadKey(wait);
        if (key.None()) {
            // No key for a second: the plugin's idle event (its automatic refresh).
            host_.Idle(1);
            lastIdle = Clock::now();
            continue;
        }
        HandleKey(key);
    }
    return 0;
}

} // namespace panelhost
