// Dialogs from FarDialogItem arrays, driven with keys the way a user drives them.
#include "dialog_model.h"
#include "text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace panelhost;

namespace {

const char kHistoryName[] = "FAtt.ToAddr";

FarDialogItem Item(int type, int x1, int y1, int x2, int y2, DWORD flags, const char *text,
                   int focus = 0, int selected = 0, int defaultButton = 0) {
    FarDialogItem item;
    std::memset(&item, 0, sizeof item);
    item.Type = type;
    item.X1 = x1;
    item.Y1 = y1;
    item.X2 = x2;
    item.Y2 = y2;
    item.Focus = focus;
    item.Flags = flags;
    if (flags & DIF_HISTORY)
        item.History = kHistoryName;
    else
        item.Selected = selected;
    item.DefaultButton = defaultButton;
    std::strcpy(item.Data, text);
    return item;
}

// The poll dialog as the plugin builds it: frame, label, address field with its history,
// separator, four flavors, separator, OK and Cancel centred together.
std::vector<FarDialogItem> PollDialog(const char *address = "2:5020/1.0") {
    return {
        Item(DI_DOUBLEBOX, 3, 1, 42, 11, 0, "Poll"),
        Item(DI_TEXT, 5, 2, 0, 0, 0, "&Address to poll:"),
        Item(DI_EDIT, 5, 3, 40, 0, DIF_HISTORY, address, 1),
        Item(DI_TEXT, 5, 4, 0, 0, DIF_SEPARATOR | DIF_BOXCOLOR, ""),
        Item(DI_RADIOBUTTON, 5, 5, 40, 0, DIF_GROUP, "&Immediate"),
        Item(DI_RADIOBUTTON, 5, 6, 40, 0, 0, "&Crash"),
        Item(DI_RADIOBUTTON, 5, 7, 40, 0, 0, "&Direct"),
        Item(DI_RADIOBUTTON, 5, 8, 40, 0, 0, "&Normal", 0, 1),
        Item(DI_TEXT, 5, 9, 0, 0, DIF_SEPARATOR | DIF_BOXCOLOR, ""),
        Item(DI_BUTTON, 0, 10, 0, 0, DIF_CENTERGROUP, "OK", 0, 0, 1),
        Item(DI_BUTTON, 0, 10, 0, 0, DIF_CENTERGROUP, "Cancel"),
    };
}

Key Char(char32_t c) {
    return KeyFromCharacter(c);
}
Key Virtual(int vk, unsigned state = 0) {
    Key key;
    key.vk = vk;
    key.state = state;
    return key;
}
Key Alt(char32_t c) {
    return WithAlt(KeyFromCharacter(c));
}

DialogModel::Outcome Type(DialogModel &model, const std::u32string &text) {
    DialogModel::Outcome last;
    for (char32_t c : text) last = model.HandleKey(Char(c));
    return last;
}

std::vector<int> RadioStates(const DialogModel &model, int first, int last) {
    std::vector<int> states;
    for (int i = first; i <= last; ++i) states.push_back(model.Item(i).selected ? 1 : 0);
    return states;
}

} // namespace

TEST(DialogModel, TypingReplacesTheOfferedAddressAndEnterAccepts) {
    std::vector<FarDialogItem> items = PollDialog();
    DialogModel model(46, 13, items.data(), static_cast<int>(items.size()));
    ASSERT_EQ(model.Focus(), 2);
    EXPECT_TRUE(model.Item(2).marked);
    Type(model, U"2:5020/4");
    EXPECT_EQ(EncodeUtf8(model.Item(2).text), "2:5020/4");
    DialogModel::Outcome outcome = model.HandleKey(Virtual(VK_RETURN));
    EXPECT_EQ(outcome.action, DialogModel::Action::Close);
    EXPECT_EQ(outcome.result, 9); // the default button, though the focus is on the field
    model.StoreInto(items.data(), static_cast<int>(items.size()));
    EXPECT_STREQ(items[2].Data, "2:5020/4");
    // Selected shares its place with History: an edit field's history name stays untouched.
    EXPECT_EQ(items[2].History, kHistoryName);
    EXPECT_EQ(items[7].Selected, 1);
    EXPECT_EQ(items[5].Selected, 0);
}

TEST(DialogModel, EditingKeys) {
    std::vector<FarDialogItem> items = PollDialog("2:5020/1");
    DialogModel model(46, 13, items.data(), static_cast<int>(items.size()));
    model.HandleKey(Virtual(VK_END)); // unmarks; the cursor at the end
    Type(model, U"0");
    EXPECT_EQ(EncodeUtf8(model.Item(2).text), "2:5020/10");
    model.HandleKey(Virtual(VK_HOME));
    model.HandleKey(Virtual(VK_DELETE));
    model.HandleKey(Virtual(VK_DELETE));
    EXPECT_EQ(EncodeUtf8(model.Item(2).text), "5020/10");
    model.HandleKey(Virtual(VK_RIGHT));
    model.HandleKey(Virtual(VK_BACK));
    EXPECT_EQ(EncodeUtf8(model.Item(2).text), "020/10");
    model.HandleKey(Virtual('Y', PKF_CONTROL));
    EXPECT_TRUE(model.Item(2).text.empty());
    // Non-ASCII text goes into Data as UTF-8.
    Type(model, U"Привет");
    model.StoreInto(items.data(), static_cast<int>(items.size()));
    EXPECT_STREQ(items[2].Data, "Привет");
}

TEST(DialogModel, TabOrderSkipsTextsAndWraps) {
    std::vector<FarDialogItem> items = PollDialog();
    DialogModel model(46, 13, items.data(), static_cast<int>(items.size()));
    std::vector<int> order;
    for (int i = 0; i < 8; ++i) {
        model.HandleKey(Virtual(VK_TAB));
        order.push_back(model.Focus());
    }
    EXPECT_EQ(order, (std::vector<int>{4, 5, 6, 7, 9, 10, 2, 4}));
    model.HandleKey(Virtual(VK_TAB, PKF_SHIFT));
    model.HandleKey(Virtual(VK_TAB, PKF_SHIFT));
    EXPECT_EQ(model.Focus(), 10);
    model.HandleKey(Virtual(VK_UP));
    EXPECT_EQ(model.Focus(), 9);
}

TEST(DialogModel, RadioGroupsAndHotKeys) {
    std::vector<FarDialogItem> items = PollDialog();
    DialogModel model(46, 13, items.data(), static_cast<int>(items.size()));
    // Alt+letter from the edit field picks the flavor and moves there.
    model.HandleKey(Alt(U'c'));
    EXPECT_EQ(model.Focus(), 5);
    EXPECT_EQ(RadioStates(model, 4, 7), (std::vector<int>{0, 1, 0, 0}));
    // Off the edit field a plain letter does the same.
    model.HandleKey(Char(U'd'));
    EXPECT_EQ(RadioStates(model, 4, 7), (std::vector<int>{0, 0, 1, 0}));
    // Space on another radio button of the group.
    model.HandleKey(Virtual(VK_UP));
    model.HandleKey(Virtual(VK_UP));
    EXPECT_EQ(model.Focus(), 4);
    model.HandleKey(Virtual(VK_SPACE));
    EXPECT_EQ(RadioStates(model, 4, 7), (std::vector<int>{1, 0, 0, 0}));
    // A label's hot key leads to the field after it.
    model.HandleKey(Alt(U'A'));
    EXPECT_EQ(model.Focus(), 2);
    // A letter typed into the field is text, not a hot key.
    model.HandleKey(Char(U'n'));
    EXPECT_EQ(RadioStates(model, 4, 7), (std::vector<int>{1, 0, 0, 0}));
    EXPECT_EQ(EncodeUtf8(model.Item(2).text), "n");
}

TEST(DialogModel, WaysOut) {
    struct Case {
        std::vector<Key> keys;
        int result;
    } cases[] = {
        {{Virtual(VK_ESCAPE)}, -1},
        {{Virtual(VK_F10)}, -1},
        {{Virtual(VK_TAB, PKF_SHIFT), Virtual(VK_RETURN)}, 10}, // Enter on Cancel
        {{Virtual(VK_TAB, PKF_SHIFT), Virtual(VK_SPACE)}, 10},
        {{Virtual(VK_TAB), Virtual(VK_RETURN)}, 9}, // Enter on a radio button: the default
        {{Alt(U'c'), Char(U'o')}, -2},              // 'o' is no hot key here: still open
    };
    for (const Case &c : cases) {
        std::vector<FarDialogItem> items = PollDialog();
        DialogModel model(46, 13, items.data(), static_cast<int>(items.size()));
        DialogModel::Outcome outcome;
        for (const Key &key : c.keys) outcome = model.HandleKey(key);
        if (c.result == -2) {
            EXPECT_EQ(outcome.action, DialogModel::Action::None);
        } else {
            EXPECT_EQ(outcome.action, DialogModel::Action::Close);
            EXPECT_EQ(outcome.result, c.result);
        }
    }
}

TEST(DialogModel, HelpAndHistoryRequests) {
    std::vector<FarDialogItem> items = PollDialog();
    items.push_back(Item(DI_EDIT, 5, 12, 40, 0, 0, "no history"));
    DialogModel model(46, 14, items.data(), static_cast<int>(items.size()));
    EXPECT_EQ(model.HandleKey(Virtual(VK_F1)).action, DialogModel::Action::Help);
    DialogModel::Outcome outcome = model.HandleKey(Virtual(VK_DOWN, PKF_CONTROL));
    EXPECT_EQ(outcome.action, DialogModel::Action::History);
    EXPECT_EQ(outcome.item, 2);
    EXPECT_EQ(model.HandleKey(Virtual(VK_DOWN, PKF_ALT)).item, 2);
    model.SetEditText(2, "1:396/45");
    EXPECT_EQ(EncodeUtf8(model.Item(2).text), "1:396/45");
    EXPECT_FALSE(model.Item(2).marked);
    ASSERT_TRUE(model.SetFocus(11));
    EXPECT_EQ(model.HandleKey(Virtual(VK_DOWN, PKF_CONTROL)).action, DialogModel::Action::None);
}

TEST(DialogModel, CentredButtonRowAndSeparators) {
    std::vector<FarDialogItem> items = PollDialog();
    DialogModel model(46, 13, items.data(), static_cast<int>(items.size()));
    // "[ OK ]" and "[ Cancel ]" with one column between them, centred in 46 columns.
    EXPECT_EQ(model.Item(9).x1, 14);
    EXPECT_EQ(model.Item(9).x2, 19);
    EXPECT_EQ(model.Item(10).x1, 21);
    EXPECT_EQ(model.Item(10).x2, 30);
    EXPECT_EQ(model.FrameAt(4), 0);
    EXPECT_EQ(model.FrameAt(1), -1); // the frame's own top line
    EXPECT_EQ(model.FrameAt(12), -1);
}

TEST(DialogModel, OneCharacterFieldsCheckBoxesAndTwoGroups) {
    // The shape of the configuration dialog: a check box, a one-character field, two radio
    // groups side by side.
    std::vector<FarDialogItem> items = {
        Item(DI_DOUBLEBOX, 3, 1, 72, 16, 0, "Settings"),
        Item(DI_CHECKBOX, 5, 2, 0, 0, 0, "&Add to disks menu", 0, 1),
        Item(DI_FIXEDIT, 6, 3, 6, 3, 0, "3", 1),
        Item(DI_RADIOBUTTON, 27, 9, 49, 0, DIF_GROUP, "&Immediate"),
        Item(DI_RADIOBUTTON, 27, 10, 49, 0, 0, "&Crash", 0, 1),
        Item(DI_TEXT, 50, 8, 70, 0, 0, "Attach flavor:"),
        Item(DI_RADIOBUTTON, 50, 9, 70, 0, DIF_GROUP, "I&mmediate", 0, 1),
        Item(DI_RADIOBUTTON, 50, 10, 70, 0, 0, "Cras&h"),
        Item(DI_BUTTON, 0, 15, 0, 0, DIF_CENTERGROUP, "OK", 0, 0, 1),
    };
    DialogModel model(76, 18, items.data(), static_cast<int>(items.size()));
    ASSERT_EQ(model.Focus(), 2);
    Type(model, U"5");
    EXPECT_EQ(EncodeUtf8(model.Item(2).text), "5");
    Type(model, U"79");
    EXPECT_EQ(EncodeUtf8(model.Item(2).text), "9"); // overwritten, never longer than its width
    model.HandleKey(Alt(U'a'));
    EXPECT_FALSE(model.Item(1).selected);
    model.HandleKey(Alt(U'h'));
    EXPECT_EQ(RadioStates(model, 3, 4), (std::vector<int>{0, 1}));
    EXPECT_EQ(RadioStates(model, 6, 7), (std::vector<int>{0, 1}));
    model.HandleKey(Alt(U'i'));
    EXPECT_EQ(RadioStates(model, 3, 4), (std::vector<int>{1, 0}));
    EXPECT_EQ(RadioStates(model, 6, 7), (std::vector<int>{0, 1}));
    model.StoreInto(items.data(), static_cast<int>(items.size()));
    EXPECT_STREQ(items[2].Data, "9");
    EXPECT_EQ(items[1].Selected, 0);
    EXPECT_EQ(items[3].Selected, 1);
    EXPECT_EQ(items[7].Selected, 1);
}

// A text between radio buttons ends their group even without a DIF_GROUP after it.
TEST(DialogModel, AnyOtherItemEndsARadioGroup) {
    std::vector<FarDialogItem> items = {
        Item(DI_DOUBLEBOX, 3, 1, 72, 16, 0, "Groups"),
        Item(DI_RADIOBUTTON, 5, 2, 30, 0, DIF_GROUP, "&A", 1, 1),
        Item(DI_RADIOBUTTON, 5, 3, 30, 0, 0, "&B"),
        Item(DI_TEXT, 5, 4, 30, 0, 0, "Then:"),
        Item(DI_RADIOBUTTON, 5, 5, 30, 0, 0, "&C", 0, 1),
        Item(DI_RADIOBUTTON, 5, 6, 30, 0, 0, "&D"),
        Item(DI_BUTTON, 0, 15, 0, 0, DIF_CENTERGROUP, "OK", 0, 0, 1),
    };
    DialogModel model(76, 18, items.data(), static_cast<int>(items.size()));
    model.HandleKey(Alt(U'd'));
    EXPECT_EQ(RadioStates(model, 1, 2), (std::vector<int>{1, 0}));
    EXPECT_EQ(RadioStates(model, 4, 5), (std::vector<int>{0, 1}));
    model.HandleKey(Alt(U'b'));
    EXPECT_EQ(RadioStates(model, 1, 2), (std::vector<int>{0, 1}));
    EXPECT_EQ(RadioStates(model, 4, 5), (std::vector<int>{0, 1}));
}

TEST(DialogModel, TextsStayWithinWhatDataHolds) {
    std::vector<FarDialogItem> items = PollDialog("");
    DialogModel model(46, 13, items.data(), static_cast<int>(items.size()));
    // Two-byte characters: 255 of them fill 510 bytes, the next one would pass 511.
    for (int i = 0; i < 300; ++i) model.HandleKey(Char(U'Ж'));
    EXPECT_EQ(model.Item(2).text.size(), 255u);
    Type(model, U"z");
    EXPECT_EQ(model.Item(2).text.size(), 256u);
    Type(model, U"z");
    EXPECT_EQ(model.Item(2).text.size(), 256u);
    model.SetEditText(2, std::string(600, 'x'));
    model.StoreInto(items.data(), static_cast<int>(items.size()));
    EXPECT_EQ(std::strlen(items[2].Data), static_cast<size_t>(DialogModel::kMaxDataBytes));
    // The cursor stays in view of the 36-column field.
    EXPECT_GE(model.Item(2).cursor - model.Item(2).scroll, 0);
    EXPECT_LT(model.Item(2).cursor - model.Item(2).scroll, model.Item(2).FieldWidth());
}
