// Loading a module: its exports, its language file, the table the plugin gets.
#include "host_test_support.h"

#include <algorithm>
#include <cstdlib>

using standin::Host;
using standin::HostOptions;

namespace {

class LoadingTest : public HostTest {};

std::string TryLoad(PluginFolder &folder, standin::ScriptedFrontEnd &front, HostOptions options) {
    Host host(front, options);
    if (host.LoadPlugin(folder.module)) return "";
    return host.LastError();
}

TEST_F(LoadingTest, MissingModuleIsNamed) {
    Host host(front, Options());
    std::string path = work.Win("nothing.dll");
    EXPECT_FALSE(host.LoadPlugin(path));
    EXPECT_NE(host.LastError().find("not found"), std::string::npos) << host.LastError();
    EXPECT_NE(host.LastError().find(path), std::string::npos) << host.LastError();
}

TEST_F(LoadingTest, MissingExportsAreNamed) {
    PluginFolder partial(HOST_PARTIAL_PLUGIN);
    partial.dir.Write("eng.lng", kEnglishLng);
    std::string error = TryLoad(partial, front, Options());
    for (const char *name :
         {"OpenPlugin", "ClosePlugin", "GetFindData", "FreeFindData", "GetOpenPluginInfo"})
        EXPECT_NE(error.find(name), std::string::npos) << error;
    EXPECT_EQ(error.find("SetStartupInfo"), std::string::npos) << error;
}

// Inside the quotes the host decodes \\ \" \n \r \b \t and a doubled "".
TEST_F(LoadingTest, LanguageTextsAreDecoded) {
    folder.dir.Write("eng.lng", ".Language=English,English\r\n"
                                "\"a\\\\b\"\r\n"
                                "\"say \\\"hi\\\" and \"\"bye\"\"\"\r\n"
                                "\"1\\n2\\r3\\b4\\t5\"\r\n"
                                "\"Z:\\dir\\x\"\r\n");
    Host host(front, Options());
    ASSERT_TRUE(host.LoadPlugin(folder.module)) << host.LastError();
    EXPECT_STREQ(host.Message(0), "a\\b");
    EXPECT_STREQ(host.Message(1), "say \"hi\" and \"bye\"");
    EXPECT_STREQ(host.Message(2), "1\n2\r3\b4\t5");
    EXPECT_STREQ(host.Message(3), "Z:\\dir\\x"); // no escape: the backslash stays
}

// Only lines that start with a quote are messages: the host passes over anything else, an
// indented text and a label line included.
TEST_F(LoadingTest, LinesNotStartingWithAQuoteAreIgnored) {
    folder.dir.Write("eng.lng", ".Language=English,English\r\n"
                                "MTitle\r\n"
                                "\"One\"\r\n"
                                "  \"Indented\"\r\n"
                                "x\"Three\"\r\n"
                                "\"Two\"\r\n");
    Host host(front, Options());
    ASSERT_TRUE(host.LoadPlugin(folder.module)) << host.LastError();
    EXPECT_EQ(host.MessageCount(), 2);
    EXPECT_STREQ(host.Message(0), "One");
    EXPECT_STREQ(host.Message(1), "Two");
}

struct BrokenLanguageCase {
    const char *name;
    const char *contents;
    const char *where; // "eng.lng:<line>:"
    const char *what;
};

class BrokenLanguageTest : public LoadingTest,
                           public ::testing::WithParamInterface<BrokenLanguageCase> {};

TEST_P(BrokenLanguageTest, IsReportedWithFileAndLine) {
    const BrokenLanguageCase &broken = GetParam();
    folder.dir.Write("eng.lng", broken.contents);
    std::string error = TryLoad(folder, front, Options());
    EXPECT_NE(error.find(broken.where), std::string::npos) << error;
    EXPECT_NE(error.find(broken.what), std::string::npos) << error;
}

INSTANTIATE_TEST_SUITE_P(
    Files, BrokenLanguageTest,
    ::testing::Values(
        BrokenLanguageCase{"NoHeader", "// texts\r\n\"One\"\r\n", "eng.lng:2:", ".Language="},
        BrokenLanguageCase{"HeaderWithoutDescription", "\r\n.Language=English\r\n\"One\"\r\n",
                           "eng.lng:2:", ".Language="},
        BrokenLanguageCase{"EmptyName", ".Language=,English\r\n", "eng.lng:1:", ".Language="},
        BrokenLanguageCase{"EmptyFile", "", "eng.lng:1:", "no .Language"},
        BrokenLanguageCase{"ByteOrderMark", "\xEF\xBB\xBF.Language=English,English\r\n",
                           "eng.lng:1:", "byte order mark"},
        BrokenLanguageCase{"UnclosedMessage", ".Language=English,English\n// c\n\n\"One\n",
                           "eng.lng:4:", "closing double quote"},
        BrokenLanguageCase{"TextAfterMessage", ".Language=English,English\r\n\"One\" x\r\n",
                           "eng.lng:2:", "after the closing"}),
    [](const ::testing::TestParamInfo<BrokenLanguageCase> &info) { return info.param.name; });

TEST_F(LoadingTest, NoLanguageFileIsReported) {
    std::string error = TryLoad(folder, front, Options());
    EXPECT_NE(error.find("no language file"), std::string::npos) << error;
}

TEST_F(LoadingTest, TooFewMessagesForThePlugin) {
    folder.dir.Write("eng.lng", kEnglishLng);
    HostOptions options = Options();
    options.expectedMessages = 3;
    std::string error = TryLoad(folder, front, options);
    // The file's last line is 5; it holds two messages.
    EXPECT_NE(error.find("eng.lng:5:"), std::string::npos) << error;
    EXPECT_NE(error.find("2 messages"), std::string::npos) << error;
    options.expectedMessages = 2;
    EXPECT_EQ(TryLoad(folder, front, options), "");
}

TEST_F(LoadingTest, MessageBeyondTheFileIsAHostFailure) {
    Load();
    EXPECT_STREQ(host->Message(1), "Test disk");
    front.Expect(standin::Expect::Message("Error").PressText("Ok"));
    EXPECT_STREQ(host->Message(2), "");
    ASSERT_EQ(host->Failures().size(), 1u);
    EXPECT_NE(host->Failures()[0].find("eng.lng:5: message 2"), std::string::npos)
        << host->Failures()[0];
    host->ClearFailures();
}

// A language file with too few texts: as the real host does, an error box (Ok / Quit) names the
// file and the ids missing; it comes once, every id asked for is kept.
TEST_F(LoadingTest, MissingTextsAreNamedInAnErrorBox) {
    struct Case {
        const char *name;
        std::vector<int> asked;
        const char *button;
        std::vector<std::string> lines; // of the one box, after the file's line
        bool quit;
    } cases[] = {
        {"BeyondTheEnd",
         {2, 2, 7, 0, 2},
         "Ok",
         {"has no text for message 2.", "It holds 2 texts, ids 0 to 1:",
          "the texts of ids 2 and above are missing and show blank."},
         false},
        {"QuitTheHost", {5}, "Quit", {"has no text for message 5."}, true},
        {"Negative", {-1, 3}, "Ok", {"has no text for message -1."}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Load();
        std::vector<std::string> lines;
        front.Expect(standin::Expect::Message("Error").Warning().PressText(c.button).Check(
            [&](const standin::ShownBox &box) {
                lines = box.texts;
                return box.buttons == std::vector<std::string>{"Ok", "Quit"}
                           ? std::string()
                           : "buttons: " + box.Describe();
            }));
        std::vector<int> missing;
        for (int id : c.asked) {
            bool known = id >= 0 && id < 2;
            EXPECT_EQ(std::string(host->Message(id)).empty(), !known) << id;
            if (!known && std::find(missing.begin(), missing.end(), id) == missing.end())
                missing.push_back(id);
        }
        EXPECT_EQ(front.Verify(), "");
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], "The language file " + standin::NativePath(folder.dir.Win("eng.lng")));
        if (c.name == std::string("Negative")) {
            EXPECT_EQ(lines.size(), 2u) << "no count for an id below 0";
        }
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 1,
                                           lines.begin() + 1 +
                                               std::min(lines.size() - 1, c.lines.size())),
                  c.lines);
        EXPECT_EQ(host->MissingMessages(), missing);
        EXPECT_EQ(host->QuitRequested(), c.quit);
        host->ClearFailures();
        host.reset();
    }
}

TEST_F(LoadingTest, MessagesKeepTheirTextBetweenTheQuotes) {
    folder.dir.Write("eng.lng", ".Language=English,English\n"
                                "\"  padded \"  \n"
                                "\"say \"hi\" & go\"\n"
                                "\"\"\n");
    Load();
    EXPECT_STREQ(host->Message(0), "  padded ");
    EXPECT_STREQ(host->Message(1), "say \"hi\" & go");
    EXPECT_STREQ(host->Message(2), "");
    EXPECT_EQ(host->MessageCount(), 3);
}

TEST_F(LoadingTest, EnglishFromCodePage437) {
    folder.dir.Write("eng.lng", ".Language=English,English\n\"caf\x82\"\n");
    Load();
#ifdef _WIN32
    EXPECT_STREQ(host->Message(0), "caf\x82");
#else
    EXPECT_STREQ(host->Message(0), "caf\xC3\xA9");
#endif
}

TEST_F(LoadingTest, RussianFromCodePage866) {
    folder.dir.Write("eng.lng", kEnglishLng);
    folder.dir.Write("rus.lng", kRussianLng);
    HostOptions options;
    options.language = "Russian";
    Load(options);
    EXPECT_EQ(host->LanguageName(), "Russian");
#ifdef _WIN32
    EXPECT_STREQ(host->Message(0), "\x92\xA5\xE1\xE2"); // kept in the OEM code page
#else
    EXPECT_STREQ(host->Message(0), "\xD0\xA2\xD0\xB5\xD1\x81\xD1\x82"); // "Тест" in UTF-8
    EXPECT_STREQ(host->Message(1), "\xD0\x94\xD0\xB8\xD1\x81\xD0\xBA"); // "Диск"
#endif
}

TEST_F(LoadingTest, LanguageFromTheEnvironmentElseEnglish) {
    folder.dir.Write("eng.lng", kEnglishLng);
    folder.dir.Write("rus.lng", kRussianLng);
    const char *previous = std::getenv("BSOPANEL_LANG");
    std::string saved = previous ? previous : "";
    auto languageWith = [&](const char *value) {
#ifdef _WIN32
        _putenv_s("BSOPANEL_LANG", value ? value : "");
#else
        if (value)
            setenv("BSOPANEL_LANG", value, 1);
        else
            unsetenv("BSOPANEL_LANG");
#endif
        Host probe(front, Options());
        EXPECT_TRUE(probe.LoadPlugin(folder.module)) << probe.LastError();
        return probe.LanguageName();
    };
    EXPECT_EQ(languageWith("russian"), "Russian");
    EXPECT_EQ(languageWith("German"), "English"); // no file for it
    EXPECT_EQ(languageWith(nullptr), "English");
#ifdef _WIN32
    _putenv_s("BSOPANEL_LANG", saved.c_str());
#else
    if (previous)
        setenv("BSOPANEL_LANG", saved.c_str(), 1);
    else
        unsetenv("BSOPANEL_LANG");
#endif
}

TEST_F(LoadingTest, StartupInfoCarriesTheWholeTable) {
    Load();
    ASSERT_EQ(state->startupCalls, 1);
    const PluginStartupInfo &info = state->startup;
    EXPECT_EQ(state->startupSize, static_cast<int>(sizeof(PluginStartupInfo)));
    EXPECT_STREQ(info.ModuleName, folder.module.c_str());
    EXPECT_EQ(info.ModuleNumber, host->ModuleNumber());
    EXPECT_EQ(std::string(info.RootKey), Options().rootKey);
    void (*const slots[])(void) = {info.Menu,
                                   reinterpret_cast<void (*)(void)>(info.Dialog),
                                   reinterpret_cast<void (*)(void)>(info.Message),
                                   reinterpret_cast<void (*)(void)>(info.GetMsg),
                                   reinterpret_cast<void (*)(void)>(info.Control),
                                   reinterpret_cast<void (*)(void)>(info.SaveScreen),
                                   reinterpret_cast<void (*)(void)>(info.RestoreScreen),
                                   info.GetDirList,
                                   reinterpret_cast<void (*)(void)>(info.GetPluginDirList),
                                   reinterpret_cast<void (*)(void)>(info.FreeDirList),
                                   reinterpret_cast<void (*)(void)>(info.Viewer),
                                   reinterpret_cast<void (*)(void)>(info.Editor),
                                   reinterpret_cast<void (*)(void)>(info.CmpName),
                                   info.CharTable,
                                   info.Text,
                                   info.EditorControl};
    for (auto slot : slots) EXPECT_NE(slot, nullptr);
    EXPECT_STREQ(info.GetMsg(info.ModuleNumber, 0), "Test plugin");
}

TEST_F(LoadingTest, PluginInfoIsCopied) {
    Load();
    standin::PluginInfoCopy info = host->GetPluginInfo();
    EXPECT_EQ(info.diskMenuStrings, std::vector<std::string>{"Test disk"});
    EXPECT_EQ(info.diskMenuNumbers, std::vector<int>{3});
    EXPECT_EQ(info.pluginMenuStrings, std::vector<std::string>{"Test plugin"});
    EXPECT_EQ(info.pluginConfigStrings, std::vector<std::string>{"Test plugin"});
    EXPECT_EQ(info.commandPrefix, std::optional<std::string>("test"));
    EXPECT_EQ(host->Configure(0), 1);
    EXPECT_EQ(host->Configure(1), 0);
    EXPECT_EQ(state->lastConfigureItem, 1);
}

TEST_F(LoadingTest, OneHostAtATime) {
    Host first(front, Options());
    EXPECT_THROW(Host second(front, Options()), std::logic_error);
}

} // namespace
