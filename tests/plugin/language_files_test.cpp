// The language and help files as built beside the module: every message there in each
// language, the formats fit their callers, hot keys do not clash within a dialog, and every help
// topic that a dialog names exists. The host reads them as the real host would.
#include "shell/messages.h"

#include "scripted_gtest.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include <ctype.h>
#include <string.h>

namespace {

namespace fs = std::filesystem;

fs::path ModuleDirectory() {
    return fs::path(standin::NativePath(standin::BuiltPluginModule())).parent_path();
}

std::string ReadBytes(const fs::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Lines split on LF only (CP866 text holds 0x85, which some splitters take for a line end).
std::vector<std::string> Lines(const std::string &bytes) {
    std::vector<std::string> lines;
    std::string line;
    std::istringstream in(bytes);
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

struct LanguageFile {
    std::string language;
    std::vector<std::string> messages;
    std::vector<std::string> problems;
};

LanguageFile ParseLanguageFile(const fs::path &path) {
    LanguageFile file;
    int number = 0;
    for (const std::string &line : Lines(ReadBytes(path))) {
        ++number;
        if (line.empty() || line.rfind("//", 0) == 0) continue;
        if (file.language.empty()) {
            if (line.rfind(".Language=", 0) == 0 && line.find(',') != std::string::npos)
                file.language = line.substr(10, line.find(',') - 10);
            else
                file.problems.push_back("line " + std::to_string(number) + ": no header");
            continue;
        }
        size_t first = line.find('"'), last = line.rfind('"');
        if (first != 0 || last == first)
            file.problems.push_back("line " + std::to_string(number) + ": not a message");
        else
            file.messages.push_back(line.substr(1, last - 1));
    }
    return file;
}

// The conversions of a printf format, in order ("%%" is none).
std::string Conversions(const std::string &format) {
    std::string found;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') continue;
        if (++i < format.size() && format[i] == '%') continue;
        while (i < format.size() && strchr("-+ #0123456789.", format[i])) ++i;
        found += i < format.size() ? format[i] : '?';
    }
    return found;
}

// The hot key letter of a label, folded to upper case in ASCII and in code page 866.
int HotKey(const std::string &label) {
    size_t at = label.find('&');
    if (at == std::string::npos || at + 1 >= label.size()) return 0;
    unsigned char c = static_cast<unsigned char>(label[at + 1]);
    if (c >= 'a' && c <= 'z') return c - 32;
    if (c >= 0xA0 && c <= 0xAF) return c - 0x20;
    if (c >= 0xE0 && c <= 0xEF) return c - 0x50;
    return c;
}

const std::map<std::string, std::string> LanguagesOfFiles = {{"bsopanel_eng", "English"},
                                                             {"bsopanel_rus", "Russian"}};

TEST(LanguageFiles, EveryFileHoldsEveryMessage) {
    for (const auto &[stem, language] : LanguagesOfFiles) {
        SCOPED_TRACE(stem);
        LanguageFile file = ParseLanguageFile(ModuleDirectory() / (stem + ".lng"));
        EXPECT_EQ(file.problems, std::vector<std::string>{});
        EXPECT_EQ(file.language, language);
        ASSERT_EQ(file.messages.size(), static_cast<size_t>(MessageCount));
        for (int id = 0; id < MessageCount; ++id) EXPECT_NE(file.messages[id], "") << id;
        EXPECT_EQ(Conversions(file.messages[MsgScanProgressFormat]), "s");
        EXPECT_EQ(Conversions(file.messages[MsgRemoveQuestionFormat]), "s");
        // Count texts: every plural form takes the count; English has two, Russian three.
        for (int id : {MsgRemoveCountFormat, MsgStatusTriesFormat, MsgLinkCountFormat,
                       MsgClearLinksFormat, MsgClearTotalFormat, MsgClearBytesFormat}) {
            std::string forms = file.messages[id] + "|";
            size_t count = 0;
            for (size_t at = 0, bar; (bar = forms.find('|', at)) != std::string::npos;
                 at = bar + 1, ++count)
                EXPECT_EQ(Conversions(forms.substr(at, bar - at)), "d") << id << " form " << count;
            EXPECT_EQ(count, language == "English" ? 2u : 3u) << id;
        }
        // The command prefix is typed on the command line.
        for (char c : file.messages[MsgDisksMenu])
            EXPECT_TRUE(isalnum(static_cast<unsigned char>(c)));
    }
}

TEST(LanguageFiles, EnglishIsPlainAscii) {
    for (const char *name : {"bsopanel_eng.lng", "bsopanel_eng.hlf"})
        for (char c : ReadBytes(ModuleDirectory() / name))
            EXPECT_LT(static_cast<unsigned char>(c), 0x80) << name;
}

TEST(LanguageFiles, HotKeysAreUniqueWithinEachDialog) {
    const std::map<std::string, std::vector<int>> dialogs = {
        {"configuration",
         {MsgConfigAddToDisksMenu, MsgConfigOutboundPath, MsgConfigAddress, MsgConfigLinksMode,
          MsgConfigFilesMode, MsgConfigNoChangeMode, MsgConfigAutoRefresh, MsgFlavorImmediate,
          MsgFlavorCrash, MsgFlavorDirect, MsgFlavorNormal, MsgFlavorHold}},
        {"poll",
         {MsgPollAddress, MsgFlavorImmediate, MsgFlavorCrash, MsgFlavorDirect, MsgFlavorNormal}},
        {"attach",
         {MsgAttachAddress, MsgAttachDeleteAfterSending, MsgFlavorImmediate, MsgFlavorCrash,
          MsgFlavorDirect, MsgFlavorNormal, MsgFlavorHold}},
        {"file request", {MsgRequestAddress}},
    };
    for (const auto &[stem, language] : LanguagesOfFiles) {
        LanguageFile file = ParseLanguageFile(ModuleDirectory() / (stem + ".lng"));
        ASSERT_EQ(file.messages.size(), static_cast<size_t>(MessageCount));
        for (const auto &[dialog, ids] : dialogs) {
            std::set<int> keys;
            for (int id : ids) {
                int key = HotKey(file.messages[id]);
                EXPECT_NE(key, 0) << stem << " " << dialog << ": message " << id
                                  << " has no hot key";
                EXPECT_TRUE(keys.insert(key).second)
                    << stem << " " << dialog << ": message " << id << " repeats a hot key";
            }
        }
    }
}

TEST(HelpFiles, EveryTopicADialogNamesExists) {
    const std::set<std::string> named = {"Contents", "BSOCfg",    "BSOPoll",
                                         "BSOFREQ",  "BSOAttach", "BSOFlavor"};
    for (const auto &[stem, language] : LanguagesOfFiles) {
        SCOPED_TRACE(stem);
        std::vector<std::string> lines = Lines(ReadBytes(ModuleDirectory() / (stem + ".hlf")));
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0].substr(0, lines[0].find(',')), ".Language=" + language);
        std::set<std::string> topics, links;
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::string &line = lines[i];
            if (line.size() > 1 && line[0] == '@') {
                topics.insert(line.substr(1));
                EXPECT_TRUE(i + 1 < lines.size() && lines[i + 1].rfind("$ ", 0) == 0)
                    << "topic " << line << " has no title line";
            }
            for (size_t at = line.find("~@"); at != std::string::npos;
                 at = line.find("~@", at + 2)) {
                size_t end = line.find('@', at + 2);
                ASSERT_NE(end, std::string::npos) << line;
                links.insert(line.substr(at + 2, end - at - 2));
            }
        }
        for (const std::string &topic : named) EXPECT_TRUE(topics.count(topic)) << topic;
        for (const std::string &link : links) EXPECT_TRUE(topics.count(link)) << "link to " << link;
    }
}

TEST(LanguageFiles, HostReadsBothLanguages) {
    TempDir dir;
    standin::TestRegistry registry(dir.Win());
    for (const char *language : {"English", "Russian"}) {
        standin::GtestFrontEnd front;
        standin::HostOptions options = registry.Options();
        options.language = language;
        options.expectedMessages = MessageCount;
        standin::Host host(front, options);
        ASSERT_TRUE(host.LoadPlugin(standin::BuiltPluginModule())) << host.LastError();
        EXPECT_EQ(host.LanguageName(), language);
        EXPECT_EQ(host.MessageCount(), MessageCount);
        std::string cancel = host.Message(MsgCancel);
#ifdef _WIN32
        const char *russianCancel = "\x8E\xE2\xAC\xA5\xAD\xA0"; // the file's code page 866
#else
        const char *russianCancel = "Отмена"; // converted to UTF-8
#endif
        EXPECT_EQ(cancel, std::string(language) == "English" ? "Cancel" : russianCancel);
        standin::ExpectNoHostFailures(host);
    }
}

// A copy of the module beside a damaged English file: the host names the file and the line.
TEST(LanguageFiles, HostReportsADamagedFileByNameAndLine) {
    fs::path module = standin::NativePath(standin::BuiltPluginModule());
    const std::string good = ReadBytes(ModuleDirectory() / "bsopanel_eng.lng");
    std::vector<std::string> lines = Lines(good);
    std::string shortFile;
    for (size_t i = 0; i < 20; ++i) shortFile += lines[i] + "\r\n";
    const std::string noHeader = "Language=English,English\r\n\"OK\"\r\n";

    for (const std::string &damaged : {shortFile, noHeader}) {
        TempDir dir;
        fs::copy_file(module, dir.Native(module.filename().string()));
        dir.Write("bsopanel_eng.lng", damaged);
        standin::TestRegistry registry(dir.Win());
        standin::GtestFrontEnd front;
        standin::HostOptions options = registry.Options();
        options.expectedMessages = MessageCount;
        standin::Host host(front, options);
        EXPECT_FALSE(host.LoadPlugin(dir.Win(module.filename().string())));
        const std::string &error = host.LastError();
        size_t at = error.find("bsopanel_eng.lng:");
        ASSERT_NE(at, std::string::npos) << error;
        EXPECT_TRUE(isdigit(static_cast<unsigned char>(error[at + 17]))) << error;
    }
}

} // namespace
