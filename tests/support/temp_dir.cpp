#include "temp_dir.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device random;
    fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::ostringstream name;
        name << "bsopanel-test-" << std::hex << random() << random();
        fs::path candidate = base / name.str();
        if (fs::create_directory(candidate)) {
            // Spell the root out in full: on Windows the temp path may hold 8.3 short names.
            root_ = fs::canonical(candidate);
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
}

fs::path TempDir::Native(const std::string &relative) const {
    std::string cleaned = relative;
    for (char &c : cleaned)
        if (c == '\\') c = '/';
    return cleaned.empty() ? root_ : root_ / fs::path(cleaned).make_preferred();
}

std::string WinPath(const fs::path &native) {
    std::string text = native.string();
    for (char &c : text)
        if (c == '/') c = '\\';
#ifdef _WIN32
    return text;
#else
    return "Z:" + text;
#endif
}

std::string TempDir::Win(const std::string &relative) const { return WinPath(Native(relative)); }

void TempDir::Write(const std::string &relative, const std::string &bytes) const {
    fs::path path = Native(relative);
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string TempDir::Read(const std::string &relative) const {
    std::ifstream in(Native(relative), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + Native(relative).string());
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool TempDir::Exists(const std::string &relative) const { return fs::exists(Native(relative)); }

void TempDir::MakeDir(const std::string &relative) const { fs::create_directories(Native(relative)); }
