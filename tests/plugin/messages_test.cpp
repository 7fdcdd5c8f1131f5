// Message texts and the expansion of dialog templates, with a host table whose GetMsg answers
// "text <id>" (and whatever a test puts in place of one id).
#include "shell/host.h"
#include "shell/messages.h"

#include <gtest/gtest.h>

#include <map>
#include <string.h>
#include <string>

namespace {

std::map<int, std::string> specialTexts;
std::string answer;
bool answerNull = false;

const char *WINAPI FakeGetMsg(int PluginNumber, int MsgId) {
    EXPECT_EQ(PluginNumber, 7);
    if (answerNull) return nullptr;
    auto special = specialTexts.find(MsgId);
    answer = special != specialTexts.end() ? special->second : "text " + std::to_string(MsgId);
    return answer.c_str();
}

class Messages : public ::testing::Test {
protected:
    void SetUp() override {
        saved = HostInfo;
        memset(&HostInfo, 0, sizeof(HostInfo));
        HostInfo.ModuleNumber = 7;
        HostInfo.GetMsg = FakeGetMsg;
        specialTexts.clear();
        answerNull = false;
    }
    void TearDown() override { HostInfo = saved; }
    PluginStartupInfo saved;
};

FarDialogItem Untouched() {
    FarDialogItem item;
    memset(&item, 0x77, sizeof(item));
    return item;
}

TEST_F(Messages, TextComesFromTheHostByModuleNumber) {
    EXPECT_STREQ(GetMessageText(MsgConfigTitle), "text 44");
    answerNull = true;
    EXPECT_STREQ(GetMessageText(MsgOk), "");
}

TEST_F(Messages, DataBelow2000IsAMessageIdAndAboveItAText) {
    static const char literal[] = "a literal";
    DialogTemplateItem templates[4] = {};
    templates[0].Data = 0;
    templates[1].Data = 1999;
    templates[2].Data = reinterpret_cast<uintptr_t>(literal);
    templates[3].Data = reinterpret_cast<uintptr_t>(EmptyTemplateText);
    FarDialogItem items[4];
    ExpandDialogTemplate(templates, items, 4);
    EXPECT_STREQ(items[0].Data, "text 0");
    EXPECT_STREQ(items[1].Data, "text 1999");
    EXPECT_STREQ(items[2].Data, "a literal");
    EXPECT_STREQ(items[3].Data, "");
    EXPECT_EQ(FirstTextReference, 2000u);
}

TEST_F(Messages, FieldsAreWidenedWithoutSign) {
    DialogTemplateItem item = {};
    item.Type = DI_RADIOBUTTON;
    item.X1 = 200;
    item.Y1 = 1;
    item.X2 = 255;
    item.Y2 = 128;
    item.Focus = 1;
    item.Selected = 1;
    item.Flags = DIF_GROUP | DIF_CENTERGROUP;
    item.DefaultButton = 1;
    item.Data = MsgFlavorHold;
    FarDialogItem expanded = Untouched();
    ExpandDialogTemplate(&item, &expanded, 1);
    EXPECT_EQ(expanded.Type, DI_RADIOBUTTON);
    EXPECT_EQ(expanded.X1, 200);
    EXPECT_EQ(expanded.Y1, 1);
    EXPECT_EQ(expanded.X2, 255);
    EXPECT_EQ(expanded.Y2, 128);
    EXPECT_EQ(expanded.Focus, 1);
    EXPECT_EQ(expanded.Selected, 1);
    EXPECT_EQ(expanded.Flags, static_cast<DWORD>(DIF_GROUP | DIF_CENTERGROUP));
    EXPECT_EQ(expanded.DefaultButton, 1);
    EXPECT_STREQ(expanded.Data, "text 35");
}

TEST_F(Messages, HistoryNameReachesTheHostAsAPointer) {
    DialogTemplateItem field = DialogAddressField(3);
    FarDialogItem expanded = Untouched();
    ExpandDialogTemplate(&field, &expanded, 1);
    EXPECT_EQ(expanded.Type, DI_EDIT);
    EXPECT_EQ(expanded.Flags, static_cast<DWORD>(DIF_HISTORY));
    EXPECT_EQ(expanded.History, AddressHistoryName);
    EXPECT_STREQ(expanded.History, "FAtt.ToAddr");
    EXPECT_EQ(expanded.Focus, 1);
    EXPECT_STREQ(expanded.Data, "");
}

TEST_F(Messages, CountZeroLeavesTheItemsAlone) {
    DialogTemplateItem templates[1] = {DialogButton(5, MsgOk, true)};
    FarDialogItem item = Untouched(), before = item;
    ExpandDialogTemplate(templates, &item, 0);
    EXPECT_EQ(memcmp(&item, &before, sizeof(item)), 0);
}

TEST_F(Messages, TextLongerThanAnItemHoldsIsCut) {
    specialTexts[MsgOk] = std::string(600, 'x');
    specialTexts[MsgCancel] = std::string(511, 'y');
    DialogTemplateItem templates[2] = {DialogButton(1, MsgOk, true),
                                       DialogButton(1, MsgCancel, false)};
    FarDialogItem items[2];
    ExpandDialogTemplate(templates, items, 2);
    EXPECT_EQ(std::string(items[0].Data), std::string(511, 'x'));
    EXPECT_EQ(std::string(items[1].Data), std::string(511, 'y'));
}

#ifndef _WIN32
TEST_F(Messages, CutTextKeepsWholeUtf8Characters) {
    // 255 two-byte characters and one more: byte 511 would split the 256th.
    std::string text;
    for (int i = 0; i < 256; ++i) text += "\xD0\x96";
    specialTexts[MsgOk] = text;
    DialogTemplateItem button = DialogButton(1, MsgOk, true);
    FarDialogItem item;
    ExpandDialogTemplate(&button, &item, 1);
    EXPECT_EQ(std::string(item.Data), text.substr(0, 510));
}
#endif

} // namespace
