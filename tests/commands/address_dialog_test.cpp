// The address fields of the poll, file request and attach dialogs: texts that name no address
// (numbers above 65535 among them) are refused with the dialog kept open and kept out of the
// shared history; addresses up to 65535 in every part make their files, zones from 4096 up in
// four-digit zone directories that the listing reads back; the busy question names the full
// address and stops on Enter.
#include "command_test.h"

#include "commands/file_attach.h"
#include "commands/file_request.h"
#include "commands/poll.h"
#include "shell/messages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

namespace {

using standin::EditorRequest;
using standin::Expect;
using standin::Side;

const char History[] = "FAtt.ToAddr";

class AddressDialogs : public CommandTest {
protected:
    AddressDialogs() {
        tree.WriteAttached("a.zip");
        options.rightDirectory = tree.Win("files");
    }

    struct Command {
        const char *name;
        const char *helpTopic;
        int titleId, addressItem, okItem, cancelItem;
        std::function<void(AddressDialogs &)> run; // opens the dialog; expectations are queued
    };

    static std::vector<Command> Commands() {
        return {
            {"poll", "BSOPoll", MsgPollTitle, PollAddress, PollOk, PollOk + 1,
             [](AddressDialogs &t) { EXPECT_TRUE(t.Press(VK_F7)); }},
            {"file request", "BSOFREQ", MsgRequestTitle, RequestAddress, RequestOk, RequestOk + 1,
             [](AddressDialogs &t) { EXPECT_TRUE(t.Press(VK_F4)); }},
            {"attach", "BSOAttach", MsgWarning, AttachAddress, AttachOk, AttachOk + 1,
             [](AddressDialogs &t) {
                 t.host->SetActive(Side::Right);
                 EXPECT_TRUE(t.host->Right().Select("a.zip"));
                 t.host->CopyToPluginPanel(false);
                 t.host->SetActive(Side::Left);
             }},
        };
    }
};

// Refused on OK, the text comes back in the dialog; corrected there, the command goes on. A
// refused text, or one cancelled that names no address, never stays in the history, also where
// the host adds a cancelled text (the real host does so on every close but Esc: done here by
// hand); the addresses in it before keep their order.
TEST_F(AddressDialogs, RefusedTextsStayInTheDialogAndOutOfTheHistory) {
    ASSERT_TRUE(Open());
    host->AddToHistory(History, "2:5020/7");
    host->AddToHistory(History, "2:5020/8");
    for (const Command &command : Commands()) {
        SCOPED_TRACE(command.name);
        std::vector<std::string> before = host->History(History);
        auto hostAddsOnCancel = [this, item = command.addressItem](FarDialogItem *items, int) {
            host->AddToHistory(History, items[item].Data);
        };
        front.Expect(Expect::Dialog(command.helpTopic)
                         .Edit(command.addressItem, "2:5020/65636")
                         .Press(command.okItem));
        front.Expect(BadAddress(command.titleId, "2:5020/65636"));
        // The own address parses, and is refused all the same: nothing is queued for it.
        front.Expect(Expect::Dialog(command.helpTopic)
                         .ItemText(command.addressItem, "2:5020/65636")
                         .Edit(command.addressItem, "5020/1000")
                         .Press(command.okItem));
        front.Expect(Warning(command.titleId, MsgOwnAddressRefused, "5020/1000"));
        front.Expect(Expect::Dialog(command.helpTopic)
                         .ItemText(command.addressItem, "5020/1000")
                         .Edit(command.addressItem, "abc")
                         .Then(hostAddsOnCancel)
                         .Press(command.cancelItem));
        command.run(*this);
        EXPECT_EQ(front.Verify(), "");
        EXPECT_EQ(host->History(History), before);

        // Accepted after a refusal: only the good address joins the history.
        front.Expect(Expect::Dialog(command.helpTopic)
                         .Edit(command.addressItem, "2:100/")
                         .Press(command.okItem));
        front.Expect(BadAddress(command.titleId, "2:100/"));
        front.Expect(Expect::Dialog(command.helpTopic)
                         .Edit(command.addressItem, "2:100/300")
                         .Press(command.okItem));
        if (std::string(command.name) == "file request")
            front.ExpectEditor([](const EditorRequest &) {});
        command.run(*this);
        EXPECT_EQ(front.Verify(), "");
        std::vector<std::string> after = host->History(History);
        ASSERT_FALSE(after.empty());
        EXPECT_EQ(after[0], "2:100/300");
        after.erase(after.begin());
        before.erase(std::remove(before.begin(), before.end(), "2:100/300"), before.end());
        EXPECT_EQ(after, before);
    }
    EXPECT_TRUE(Has("out/0064012C.FLO")); // the poll and the attach of 2:100/300
}

// Every part up to 65535; a larger number is refused, never wrapped into another link's
// address. Zones from 4096 up get four-digit zone directories, written and listed alike.
TEST_F(AddressDialogs, NumbersUpTo65535AndFourDigitZones) {
    struct Row {
        const char *typed;
        const char *file; // the poll's flow file (normal flavor), or null: refused
        const char *row;  // its link row at the root
    };
    const Row rows[] = {
        {"2:100/65535", "out/0064FFFF.FLO", "2:100/65535.0"},
        {"2:100/65536", nullptr, nullptr},
        {"2:5020/65636", nullptr, nullptr}, // would have been 2:5020/100
        {"99999:1/2", nullptr, nullptr},    // would have been zone 0x869F
        {"1:2/3.65536", nullptr, nullptr},
        {"4095:1/2", "out.fff/00010002.FLO", "4095:1/2.0"},
        {"4096:1/2", "out.1000/00010002.FLO", "4096:1/2.0"},
        {"65535:65535/65535.65535", "out.ffff/FFFFFFFF.PNT/0000FFFF.FLO",
         "65535:65535/65535.65535"},
    };
    ASSERT_TRUE(Open());
    for (const Row &row : rows) {
        SCOPED_TRACE(row.typed);
        Expect dialog =
            Expect::Dialog("BSOPoll").Edit(PollAddress, row.typed).Radio(PollFirstFlavor + 3);
        front.Expect(dialog.Press(PollOk));
        if (!row.file) {
            front.Expect(BadAddress(MsgPollTitle, row.typed));
            front.Expect(Expect::Dialog("BSOPoll").ItemText(PollAddress, row.typed).Esc());
        }
        EXPECT_TRUE(Press(VK_F7));
        EXPECT_EQ(front.Verify(), "");
        if (row.file) {
            EXPECT_TRUE(Has(row.file));
        }
    }
    std::vector<std::string> expected;
    for (const Row &row : rows)
        if (row.row) expected.push_back(row.row);
    ASSERT_TRUE(Update());
    std::vector<std::string> names = RowNames();
    for (const std::string &name : expected)
        EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
    EXPECT_EQ(names.size(), expected.size());
    // The link in the four-digit zone directory opens and lists its flow file.
    ASSERT_TRUE(Enter("4096:1/2.0"));
    EXPECT_EQ(Rows().size(), 1u);
}

// The busy question names the link's full address, not the short form typed, and Enter
// (its first button, "Cancel") stops: a second Enter typed ahead writes nothing.
TEST_F(AddressDialogs, TheBusyQuestionNamesTheLinkAndEnterStops) {
    tree.Write("out/139C00C8.BSY"); // 2:5020/200
    ASSERT_TRUE(Open());
    for (const Command &command : Commands()) {
        SCOPED_TRACE(command.name);
        front.Expect(Expect::Dialog(command.helpTopic)
                         .Edit(command.addressItem, "200")
                         .Press(command.okItem));
        front.Expect(
            Expect::Message(Text(command.titleId))
                .Warning()
                .Check([this](const standin::ShownBox &box) -> std::string {
                    if (box.texts !=
                        std::vector<std::string>{Text(MsgLinkBusy), "2:5020/200.0", Text(MsgGoOn)})
                        return "lines differ";
                    if (box.buttons != std::vector<std::string>{Text(MsgCancel), Text(MsgOk)})
                        return "buttons differ";
                    return "";
                })
                .Default());
        command.run(*this);
        EXPECT_EQ(front.Verify(), "");
    }
    EXPECT_EQ(OutboundNames(), std::vector<std::string>{"out/139C00C8.BSY"});
}

} // namespace
