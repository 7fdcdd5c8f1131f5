// The registry under HKEY_CURRENT_USER. Natively it lives in a REGEDIT4 file in a temporary
// directory; under Wine each test works in a key of its own and deletes nothing else.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <sstream>
#include <thread>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "temp_dir.h"

namespace {

const char kFile[] = "config/bsopanel/registry.reg"; // beneath the temporary directory

class Registry : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device random;
        std::ostringstream name;
        name << "Software\\bsopanel-tests\\" << std::hex << random() << random();
        key_ = name.str();
#ifndef _WIN32
        setenv("BSOPANEL_REGISTRY", dir_.Native(kFile).c_str(), 1);
#endif
    }
    void TearDown() override {
#ifdef _WIN32
        RegDeleteTreeA(HKEY_CURRENT_USER, key_.c_str());
#else
        unsetenv("BSOPANEL_REGISTRY");
#endif
    }

    HKEY Create(const std::string &path, REGSAM access = KEY_ALL_ACCESS) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, access, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        return key;
    }
    LSTATUS OpenKey(const std::string &path, HKEY &key, REGSAM access = KEY_READ) {
        return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, access, &key);
    }
    static LSTATUS SetText(HKEY key, const char *name, const std::string &text) {
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text.c_str()),
                              static_cast<DWORD>(text.size() + 1));
    }
    static LSTATUS SetNumber(HKEY key, const char *name, DWORD number) {
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&number),
                              sizeof number);
    }
    static std::string Text(HKEY key, const char *name) {
        char buffer[512] = {};
        DWORD size = sizeof buffer, type = 0;
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(buffer), &size) !=
                ERROR_SUCCESS ||
            type != REG_SZ)
            return "<none>";
        return std::string(buffer, size ? size - 1 : 0);
    }
    static DWORD Number(HKEY key, const char *name) {
        DWORD number = 0xDEADBEEF, size = sizeof number, type = 0;
        if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&number), &size) !=
                ERROR_SUCCESS ||
            type != REG_DWORD || size != 4)
            return 0xDEADBEEF;
        return number;
    }

    TempDir dir_;
    std::string key_;
};

TEST_F(Registry, RoundTripOfNumbersAndTexts) {
    HKEY key = nullptr;
    DWORD disposition = 0;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    const std::string tricky = "Z:\\var\\spool \"outb\"\\ \xE0\xE1 \\\\";
    EXPECT_EQ(SetNumber(key, "AttachFlavor", 10), ERROR_SUCCESS);
    EXPECT_EQ(SetNumber(key, "Big", 0xFFFFFFFEu), ERROR_SUCCESS);
    EXPECT_EQ(SetText(key, "PathToOutbound", tricky), ERROR_SUCCESS);
    EXPECT_EQ(SetText(key, "Empty", ""), ERROR_SUCCESS);
    EXPECT_EQ(SetText(key, "Empty", "then filled"), ERROR_SUCCESS); // replaces, not adds
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, &disposition),
              ERROR_SUCCESS);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);

    ASSERT_EQ(OpenKey(key_, key), ERROR_SUCCESS);
    EXPECT_EQ(Number(key, "AttachFlavor"), 10u);
    EXPECT_EQ(Number(key, "Big"), 0xFFFFFFFEu);
    EXPECT_EQ(Text(key, "PathToOutbound"), tricky);
    EXPECT_EQ(Text(key, "Empty"), "then filled");
    RegCloseKey(key);
}

TEST_F(Registry, SizesAndShortBuffers) {
    HKEY key = Create(key_);
    ASSERT_EQ(SetText(key, "Text", "12345"), ERROR_SUCCESS);
    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(size, 6u); // the terminating zero included
    char buffer[8] = "xxxxxxx";
    size = 3;
    EXPECT_EQ(
        RegQueryValueExA(key, "Text", nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &size),
        ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    size = 6;
    EXPECT_EQ(
        RegQueryValueExA(key, "Text", nullptr, nullptr, reinterpret_cast<BYTE *>(buffer), &size),
        ERROR_SUCCESS);
    EXPECT_STREQ(buffer, "12345");
    const BYTE bytes[] = {0, 1, 0xFE, 0x22, 0x5C};
    ASSERT_EQ(RegSetValueExA(key, "Bytes", 0, REG_BINARY, bytes, sizeof bytes), ERROR_SUCCESS);
    BYTE read[8] = {};
    size = sizeof read;
    EXPECT_EQ(RegQueryValueExA(key, "Bytes", nullptr, &type, read, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    ASSERT_EQ(size, sizeof bytes);
    EXPECT_EQ(std::memcmp(read, bytes, sizeof bytes), 0);
    RegCloseKey(key);
}

TEST_F(Registry, NamesIgnoreCase) {
    HKEY key = Create(key_ + "\\Plugins\\KESTREL");
    ASSERT_EQ(SetNumber(key, "AddToDisksMenu", 1), ERROR_SUCCESS);
    RegCloseKey(key);
    std::string shouted = key_ + "\\PLUGINS\\kestrel";
    for (char &c : shouted) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    ASSERT_EQ(OpenKey(shouted, key, KEY_ALL_ACCESS), ERROR_SUCCESS);
    EXPECT_EQ(Number(key, "ADDTODISKSMENU"), 1u);
    EXPECT_EQ(SetNumber(key, "addtodisksmenu", 0), ERROR_SUCCESS);
    RegCloseKey(key);
    ASSERT_EQ(OpenKey(key_ + "\\Plugins", key), ERROR_SUCCESS); // parents were created too
    RegCloseKey(key);
    ASSERT_EQ(OpenKey(key_ + "\\Plugins\\KESTREL", key), ERROR_SUCCESS);
    EXPECT_EQ(Number(key, "AddToDisksMenu"), 0u);
    RegCloseKey(key);
}

TEST_F(Registry, MissingKeysValuesAndRights) {
    HKEY key = nullptr;
    EXPECT_EQ(OpenKey(key_ + "\\None", key), ERROR_FILE_NOT_FOUND);
    key = Create(key_);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "None", nullptr, nullptr, nullptr, &size),
              ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(SetText(key, "Gone", "soon"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "GONE"), ERROR_SUCCESS);
    EXPECT_EQ(Text(key, "Gone"), "<none>");
    EXPECT_EQ(RegDeleteValueA(key, "Gone"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    ASSERT_EQ(OpenKey(key_, key, KEY_READ), ERROR_SUCCESS);
    EXPECT_EQ(SetNumber(key, "Denied", 1), ERROR_ACCESS_DENIED);
    RegCloseKey(key);
}

// Another writer's value, written between two of ours, survives our next write.
TEST_F(Registry, AValueWrittenMeanwhileSurvives) {
    HKEY key = Create(key_);
    ASSERT_EQ(SetText(key, "Mine", "first"), ERROR_SUCCESS);
#ifdef _WIN32
    HKEY other = Create(key_);
    ASSERT_EQ(SetText(other, "Theirs", "meanwhile"), ERROR_SUCCESS);
    RegCloseKey(other);
#else
    // The other writer is another process that rewrote the file (as this layer does).
    std::string text = dir_.Read(kFile);
    std::string section = "[HKEY_CURRENT_USER\\" + key_ + "]\r\n";
    ASSERT_NE(text.find(section), std::string::npos) << text;
    text.insert(text.find(section) + section.size(), "\"Theirs\"=\"meanwhile\"\r\n");
    dir_.Write(kFile, text);
#endif
    ASSERT_EQ(SetText(key, "Mine", "second"), ERROR_SUCCESS);
    EXPECT_EQ(Text(key, "Theirs"), "meanwhile");
    EXPECT_EQ(Text(key, "Mine"), "second");
    RegCloseKey(key);
}

std::string Name(int writer, int value) {
    return "W" + std::to_string(writer) + "V" + std::to_string(value);
}

TEST_F(Registry, WritersInParallelLoseNothing) {
    const int kWriters = 2, kValues = 10;
    RegCloseKey(Create(key_));
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w)
        writers.emplace_back([&, w] {
            HKEY key = nullptr;
            ASSERT_EQ(OpenKey(key_, key, KEY_ALL_ACCESS), ERROR_SUCCESS);
            for (int v = 0; v < kValues; ++v)
                EXPECT_EQ(SetNumber(key, Name(w, v).c_str(), static_cast<DWORD>(v)), ERROR_SUCCESS);
            RegCloseKey(key);
        });
    for (std::thread &writer : writers) writer.join();
    HKEY key = nullptr;
    ASSERT_EQ(OpenKey(key_, key), ERROR_SUCCESS);
    for (int w = 0; w < kWriters; ++w)
        for (int v = 0; v < kValues; ++v)
            EXPECT_EQ(Number(key, Name(w, v).c_str()), static_cast<DWORD>(v));
    RegCloseKey(key);
}

#ifndef _WIN32
// Native only from here on: Windows keeps its registry in no file of ours.

TEST_F(Registry, ProcessesInParallelLoseNothing) {
    const int kWriters = 2, kValues = 10;
    RegCloseKey(Create(key_));
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            HKEY key = nullptr;
            bool ok = OpenKey(key_, key, KEY_ALL_ACCESS) == ERROR_SUCCESS;
            for (int v = 0; ok && v < kValues; ++v)
                ok = SetNumber(key, Name(w, v).c_str(), static_cast<DWORD>(v)) == ERROR_SUCCESS;
            _exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    HKEY key = nullptr;
    ASSERT_EQ(OpenKey(key_, key), ERROR_SUCCESS);
    for (int w = 0; w < kWriters; ++w)
        for (int v = 0; v < kValues; ++v)
            EXPECT_EQ(Number(key, Name(w, v).c_str()), static_cast<DWORD>(v));
    RegCloseKey(key);
}

TEST_F(Registry, TheFileIsARegeditExport) {
    HKEY key = Create("Software\\Far\\Plugins\\KESTREL");
    ASSERT_EQ(SetNumber(key, "AttachFlavor", 10), ERROR_SUCCESS);
    ASSERT_EQ(SetText(key, "PathToOutbound", "Z:\\var\\spool\\ftn \"outb\""), ERROR_SUCCESS);
    ASSERT_EQ(SetText(key, "Lines", "one\r\ntwo"), ERROR_SUCCESS); // no quoted form for these
    RegCloseKey(key);
    EXPECT_EQ(dir_.Read(kFile), "REGEDIT4\r\n"
                                "\r\n[HKEY_CURRENT_USER\\Software]\r\n"
                                "\r\n[HKEY_CURRENT_USER\\Software\\Far]\r\n"
                                "\r\n[HKEY_CURRENT_USER\\Software\\Far\\Plugins]\r\n"
                                "\r\n[HKEY_CURRENT_USER\\Software\\Far\\Plugins\\KESTREL]\r\n"
                                "\"AttachFlavor\"=dword:0000000a\r\n"
                                "\"PathToOutbound\"=\"Z:\\\\var\\\\spool\\\\ftn \\\"outb\\\"\"\r\n"
                                "\"Lines\"=hex(1):6f,6e,65,0d,0a,74,77,6f,00\r\n"
                                "\r\n");
    // Only the file itself is left: the temporary copies were renamed over it.
    int entries = 0;
    for (const auto &entry : std::filesystem::directory_iterator(dir_.Native("config/bsopanel"))) {
        ++entries;
        EXPECT_EQ(entry.path().filename(), "registry.reg");
    }
    EXPECT_EQ(entries, 1);
}

TEST_F(Registry, AHandWrittenFileIsRead) {
    dir_.Write(kFile, "REGEDIT4\n"
                      "; written by hand, with LF line ends\n"
                      "\n"
                      "[HKEY_LOCAL_MACHINE\\Software\\Kept]\n"
                      "\"Other\"=\"hive\"\n"
                      "[HKEY_CURRENT_USER\\Software\\Hand\\Made]\n"
                      "@=\"default\"\n"
                      "\"Text\"=\"a \\\"quoted\\\" \\\\ text\"\n"
                      "\"Number\"=dword:FFFFFFFF\n"
                      "\"Wrapped\"=hex:01,02,\\\n"
                      "  03,04\n");
    HKEY key = nullptr;
    ASSERT_EQ(OpenKey("Software\\Hand", key), ERROR_SUCCESS); // exists through its subkey
    RegCloseKey(key);
    ASSERT_EQ(OpenKey("Software\\Hand\\Made", key, KEY_ALL_ACCESS), ERROR_SUCCESS);
    EXPECT_EQ(Text(key, nullptr), "default");
    EXPECT_EQ(Text(key, "Text"), "a \"quoted\" \\ text");
    EXPECT_EQ(Number(key, "Number"), 0xFFFFFFFFu);
    BYTE bytes[8];
    DWORD size = sizeof bytes;
    ASSERT_EQ(RegQueryValueExA(key, "Wrapped", nullptr, nullptr, bytes, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(bytes[3], 4);
    ASSERT_EQ(SetNumber(key, "Number", 1), ERROR_SUCCESS);
    RegCloseKey(key);
    std::string text = dir_.Read(kFile);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\Software\\Kept]\r\n\"Other\"=\"hive\""),
              std::string::npos); // another hive's keys are kept as they were
    EXPECT_NE(text.find("\"Number\"=dword:00000001"), std::string::npos);
}

TEST_F(Registry, AMalformedFileIsReportedAndLeftAlone) {
    const char *malformed[] = {
        "not a registry\r\n",
        "REGEDIT4\r\n\"Orphan\"=\"value before any key\"\r\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n\"N\"=dword:123\r\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n\"N\"=\"unterminated\r\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n\"N\"=\"bad \\q escape\"\r\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n\"N\"=hex:zz\r\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\X\r\n",
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\X]\r\ngarbage\r\n",
    };
    for (const char *text : malformed) {
        SCOPED_TRACE(text);
        dir_.Write(kFile, text);
        HKEY key = nullptr;
        EXPECT_EQ(OpenKey("Software\\X", key), ERROR_BADDB);
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Y", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  ERROR_BADDB);
        EXPECT_EQ(SetNumber(HKEY_CURRENT_USER, "Value", 1), ERROR_BADDB);
        DWORD size = 0;
        EXPECT_EQ(RegQueryValueExA(HKEY_CURRENT_USER, "Value", nullptr, nullptr, nullptr, &size),
                  ERROR_BADDB);
        EXPECT_EQ(dir_.Read(kFile), text);
    }
}

#endif

} // namespace
