#include "command_test.h"

#include "common/helpers.h"

#include "shell/box_text.h"
#include "shell/messages.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The joined lines of a message box, or the first difference from the expected ones.
std::string CompareBox(const standin::ShownBox &box, const std::string &title,
                       const std::vector<std::string> &lines,
                       const std::vector<std::string> &buttons) {
    auto join = [](const std::vector<std::string> &texts) {
        std::string joined;
        for (const std::string &text : texts) joined += "[" + text + "]";
        return joined;
    };
    if (box.title != title) return "title " + box.title + ", expected " + title;
    if (box.texts != lines) return "lines " + join(box.texts) + ", expected " + join(lines);
    if (box.buttons != buttons)
        return "buttons " + join(box.buttons) + ", expected " + join(buttons);
    return "";
}

} // namespace

std::string MadeName(const std::string &relative) {
#ifdef _WIN32
    return relative;
#else
    // The root "out" is the test's own; what follows it (".003", "/006400c8.clo") the plugin's.
    return relative.substr(0, 3) + Lower(relative.substr(3));
#endif
}

std::optional<std::string> CommandTest::OnDisk(const std::string &relative) const {
    fs::path at = tree.dir.Native();
    std::string found;
    size_t start = 0;
    while (start <= relative.size()) {
        size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        std::string part = relative.substr(start, end - start);
        start = end + 1;
        if (part.empty()) continue;
        std::error_code error;
        std::optional<std::string> match;
        for (const fs::directory_entry &entry : fs::directory_iterator(at, error)) {
            std::string name = entry.path().filename().string();
            if (Lower(name) == Lower(part)) {
                match = name;
                break;
            }
        }
        if (!match) return std::nullopt;
        at /= *match;
        found += (found.empty() ? "" : "/") + *match;
    }
    return found;
}

std::string CommandTest::CountText(int id, unsigned long long count) {
    char text[512];
    FormatCountText(text, sizeof(text), Text(id).c_str(), count);
    return text;
}

std::string CommandTest::Bytes(const std::string &relative) const {
    std::optional<std::string> name = OnDisk(relative);
    if (!name || fs::is_directory(tree.dir.Native(*name))) return "<missing>";
    return tree.Read(*name);
}

std::vector<std::string> CommandTest::OutboundNames() const {
    std::vector<std::string> names;
    fs::path root = tree.dir.Native();
    for (const fs::directory_entry &top : fs::directory_iterator(root)) {
        std::string topName = top.path().filename().string();
        if (Lower(topName).rfind("out", 0) != 0) continue;
        if (topName != "out") names.push_back(topName + "/");
        for (const fs::directory_entry &entry : fs::recursive_directory_iterator(top.path())) {
            std::string name = fs::relative(entry.path(), root).generic_string();
            names.push_back(entry.is_directory() ? name + "/" : name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string CommandTest::CrLf(const std::vector<std::string> &lines) {
    std::string bytes;
    for (const std::string &line : lines) bytes += line + "\r\n";
    return bytes;
}

bool CommandTest::OpenLink(const std::string &link) {
    if (!Open()) return false;
    if (!Enter(link)) {
        ADD_FAILURE() << "cannot enter " << link
                      << "; rows: " << ::testing::PrintToString(RowNames());
        return false;
    }
    return true;
}

std::string CommandTest::FileRow(const std::string &name) const {
    return tree.Shown("files") + name;
}

std::string CommandTest::OutRow(const std::string &name) const {
    return tree.Shown("out") + name;
}

std::string CommandTest::WriteAnsiFile(const std::string &name) const {
    std::string path = tree.Win("files") + "\\" + name;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(file, "x", 1, &written, nullptr);
        CloseHandle(file);
    }
    return path;
}

bool CommandTest::SetCurrent(const std::string &name) {
    if (Panel().SetCurrentByName(name)) return true;
    ADD_FAILURE() << "no row " << name << "; rows: " << ::testing::PrintToString(RowNames());
    return false;
}

bool CommandTest::Press(int key, unsigned controlState) {
    int updates = Panel().UpdateCount();
    int redraws = Panel().RedrawCount();
    bool taken = host->PressKey(key, controlState);
    if (taken) {
        EXPECT_EQ(Panel().UpdateCount(), updates + 1) << "key " << key << "/" << controlState;
        EXPECT_GT(Panel().RedrawCount(), redraws) << "key " << key << "/" << controlState;
    } else {
        EXPECT_EQ(Panel().UpdateCount(), updates) << "key " << key << "/" << controlState;
    }
    return taken;
}

void CommandTest::CheckLayout(const std::string &helpTopic, int width, int height,
                              const std::vector<LayoutItem> &expected,
                              const std::function<void()> &action) {
    std::vector<FarDialogItem> shown;
    front.ClearBoxes();
    front.Expect(standin::Expect::Dialog(helpTopic).Esc().Then(
        [&](FarDialogItem *items, int count) { shown.assign(items, items + count); }));
    action();
    EXPECT_EQ(front.Verify(), "");
    std::vector<standin::ShownBox> boxes = front.BoxesOf(standin::ShownBox::DialogBox);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].width, width);
    EXPECT_EQ(boxes[0].height, height);
    ASSERT_EQ(shown.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE("item " + std::to_string(i));
        const FarDialogItem &item = shown[i];
        const LayoutItem &want = expected[i];
        EXPECT_EQ(item.Type, want.type);
        EXPECT_EQ(item.X1, want.x1);
        EXPECT_EQ(item.Y1, want.y1);
        EXPECT_EQ(item.X2, want.x2);
        EXPECT_EQ(item.Y2, want.y2);
        EXPECT_EQ(item.Focus, want.focus);
        EXPECT_EQ(item.Flags, want.flags);
        EXPECT_EQ(item.DefaultButton, want.defaultButton);
        EXPECT_EQ(boxes[0].texts[i], want.text);
        if (item.Flags & DIF_HISTORY)
            EXPECT_STREQ(item.History, "FAtt.ToAddr");
        else
            EXPECT_EQ(boxes[0].itemSelected[i], want.selected);
    }
}

std::string CommandTest::ShownPath(const std::string &path) {
    char shown[MAX_PATH + 16];
    ShortenPath(shown, sizeof shown, path.c_str(), MessageLineWidth);
    return shown;
}

standin::Expect CommandTest::Warning(int titleId, int lineId, const std::string &subject) {
    return standin::Expect::Message()
        .Warning()
        .Check([this, titleId, lineId, subject](const standin::ShownBox &box) {
            return CompareBox(box, Text(titleId), {Text(lineId), ShownPath(subject)},
                              {Text(MsgOk)});
        })
        .Press(0);
}

standin::Expect CommandTest::BusyBox(int titleId, const std::string &address, int button) {
    // "Cancel" first, so that Enter (the first button) stops.
    standin::Expect expect = standin::Expect::Message().Warning().Check(
        [this, titleId, address](const standin::ShownBox &box) {
            return CompareBox(box, Text(titleId), {Text(MsgLinkBusy), address, Text(MsgGoOn)},
                              {Text(MsgCancel), Text(MsgOk)});
        });
    if (button < 0) return expect.Esc();
    return button == 0 ? expect.PressText(Text(MsgOk)) : expect.PressText(Text(MsgCancel));
}

standin::Expect CommandTest::BadAddress(int titleId, const std::string &typed) {
    return standin::Expect::Message()
        .Warning()
        .Check([this, titleId, typed](const standin::ShownBox &box) {
            return CompareBox(box, Text(titleId),
                              {Text(MsgBadAddress), typed, Text(MsgAddressForm)}, {Text(MsgOk)});
        })
        .Press(0);
}

std::string SystemText(DWORD error) {
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, sizeof text, nullptr);
    std::string reason(text, length);
    while (!reason.empty() && std::string("\r\n ").find(reason.back()) != std::string::npos)
        reason.pop_back();
    CharToOemA(reason.c_str(), &reason[0]);
    return reason;
}

standin::Expect CommandTest::WriteFailure(int titleId, const std::string &path, DWORD error) {
    return standin::Expect::Message()
        .Warning()
        .Check([this, titleId, path, error](const standin::ShownBox &box) {
            // A reason wider than the host's boxes goes on on a second line, split at a blank.
            std::vector<std::string> lines = {Text(MsgCannotWrite), ShownPath(path)};
            std::string reason = SystemText(error);
            size_t blank = reason.size() <= MessageLineWidth ? std::string::npos
                                                             : reason.rfind(' ', MessageLineWidth);
            if (blank == std::string::npos) {
                lines.push_back(reason);
            } else {
                lines.push_back(reason.substr(0, blank));
                lines.push_back(reason.substr(blank + 1));
            }
            return CompareBox(box, Text(titleId), lines, {Text(MsgOk)});
        })
        .Press(0);
}
