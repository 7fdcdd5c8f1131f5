// What the command tests share: the plugin panel on a temporary outbound (own address
// 2:5020/1000, zone 2 in "out"), keys pressed on it, the boxes the commands show, and the
// files they leave, looked up without regard to case (the plugin makes lower-case names on
// Linux, upper-case ones on Windows).
#ifndef BSOPANEL_TESTS_COMMANDS_COMMAND_TEST_H
#define BSOPANEL_TESTS_COMMANDS_COMMAND_TEST_H

#include "outbound_fixture.h"

#include <functional>
#include <optional>
#include <string>

// The name the plugin gives a file or directory it makes: "out/006400C8.CLO" on Windows,
// "out/006400c8.clo" on Linux (the part the plugin names; "out" is the configured root).
std::string MadeName(const std::string &relative);

// The system's text of the error as the plugin shows it: one line, in the OEM code page.
std::string SystemText(DWORD error);

// One dialog item as the layout tables give it.
struct LayoutItem {
    int type, x1, y1, x2, y2, focus, selected;
    DWORD flags;
    int defaultButton;
    std::string text;
};

class CommandTest : public OutboundPanelTest {
protected:
    // The relative name as it is on disk, found without regard to case; nullopt when missing.
    std::optional<std::string> OnDisk(const std::string &relative) const;
    bool Has(const std::string &relative) const { return OnDisk(relative).has_value(); }
    // The bytes of the file, or "<missing>".
    std::string Bytes(const std::string &relative) const;
    // The files and directories below "out" and the zone directories beside it, as
    // "relative/name" paths in their case on disk, sorted; directories end in "/".
    std::vector<std::string> OutboundNames() const;

    // A count text: the plural form of the message's text for Count, with Count in it.
    std::string CountText(int id, unsigned long long count);

    // Lines joined with CR LF after each, as flow files hold them.
    static std::string CrLf(const std::vector<std::string> &lines);

    // Writes "x" into the file of that name under "files" through the Win32 calls, so that a
    // name outside ASCII is taken in the ANSI code page as the plugin takes it (a std::filesystem
    // path would re-encode it on Windows); returns its Win32 path.
    std::string WriteAnsiFile(const std::string &name) const;

    // Opens the panel and enters the link (2:100/200.0 unless given).
    bool OpenLink(const std::string &link = "2:100/200.0");
    // The row name of a file under "files": its directory in upper case, the name as it is.
    std::string FileRow(const std::string &name) const;
    // The row name of a file of the link in "out": the directory in upper case, the name as it is.
    std::string OutRow(const std::string &name) const;
    bool SetCurrent(const std::string &name);

    // A key on the plugin panel; true when the plugin took it. Checks that a taken key
    // updated and redrew the panel and that a key left to the host did neither.
    bool Press(int key, unsigned controlState = 0);

    // Runs the action, which must open the dialog with the help topic (answered with Esc), and
    // checks its size and every item against the table.
    void CheckLayout(const std::string &helpTopic, int width, int height,
                     const std::vector<LayoutItem> &expected, const std::function<void()> &action);

    // A path as a message box line shows it: a long one shortened in its middle (the host
    // would cut its end), as ShortenPath does.
    static std::string ShownPath(const std::string &path);
    // The warning box: the title and line message, the subject, one button.
    standin::Expect Warning(int titleId, int lineId, const std::string &subject);
    // The busy-link box naming the link's full address, answered with the button (0 goes on,
    // 1 stops, -1 for Esc); its buttons are "Cancel", then "OK".
    standin::Expect BusyBox(int titleId, const std::string &address, int button);
    // The refusal of an address that does not parse: the text as typed and the address form.
    standin::Expect BadAddress(int titleId, const std::string &typed);
    // A write that failed: the file and the system's text of the error.
    standin::Expect WriteFailure(int titleId, const std::string &path, DWORD error);
};

#endif
