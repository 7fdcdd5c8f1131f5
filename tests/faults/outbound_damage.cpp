#include "outbound_damage.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

TreeSnapshot TakeSnapshot(const fs::path &root, const std::vector<std::string> &prefixes) {
    TreeSnapshot snapshot;
    std::error_code error;
    for (const fs::directory_entry &top : fs::directory_iterator(root, error)) {
        std::string name = top.path().filename().string();
        if (std::none_of(prefixes.begin(), prefixes.end(),
                         [&](const std::string &prefix) { return name.rfind(prefix, 0) == 0; }))
            continue;
        auto add = [&](const fs::directory_entry &entry) {
            std::string relative = fs::relative(entry.path(), root).generic_string();
            if (entry.is_directory()) {
                snapshot[relative] = std::nullopt;
            } else {
                std::ifstream in(entry.path(), std::ios::binary);
                snapshot[relative] = std::string(std::istreambuf_iterator<char>(in), {});
            }
        };
        add(top);
        if (top.is_directory())
            for (const fs::directory_entry &entry : fs::recursive_directory_iterator(top.path()))
                add(entry);
    }
    return snapshot;
}

namespace {

std::string Lower(std::string text) {
    for (char &c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Extension(const std::string &path) {
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return Lower(path.substr(dot));
}

bool IsFlowFile(const std::string &path) {
    std::string extension = Extension(path);
    return extension.size() == 4 && extension.substr(2) == "lo" &&
           std::string("icdfhn").find(extension[1]) != std::string::npos;
}

// Outbound text files, whose lines the plugin writes and rewrites.
bool IsOutboundText(const std::string &path) {
    return path.rfind("out", 0) == 0 && (IsFlowFile(path) || Extension(path) == ".req");
}

// A line as a flow file reader takes it: trailing CR, LF, tabs and blanks stripped, never the
// first character.
std::string Trimmed(std::string line) {
    while (line.size() > 1 && std::string("\r\n\t ").find(line.back()) != std::string::npos)
        line.pop_back();
    return line;
}

std::vector<std::string> Lines(const std::string &bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        lines.push_back(Trimmed(bytes.substr(start, end - start)));
        start = end + 1;
    }
    return lines;
}

// Whole CR LF lines, each of them one of the known lines.
bool MadeOfKnownLines(const std::string &bytes, const std::set<std::string> &known) {
    if (bytes.empty()) return true;
    if (bytes.size() < 2 || bytes.compare(bytes.size() - 2, 2, "\r\n") != 0) return false;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find("\r\n", start);
        std::string line = bytes.substr(start, end - start);
        if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos)
            return false;
        if (!known.count(Trimmed(line))) return false;
        start = end + 2;
    }
    return true;
}

// Entries queued in all flow files of the tree: each line that names a file, counted.
std::map<std::string, int> QueuedEntries(const TreeSnapshot &tree) {
    std::map<std::string, int> entries;
    for (const auto &[path, bytes] : tree) {
        if (!bytes || !IsFlowFile(path) || path.rfind("out", 0) != 0) continue;
        for (const std::string &line : Lines(*bytes))
            if (line.empty() || line[0] != '~') ++entries[line];
    }
    return entries;
}

std::string Show(const std::optional<std::string> &entry, bool present) {
    if (!present) return "(missing)";
    if (!entry) return "(directory)";
    std::string shown;
    for (char c : *entry) {
        if (c == '\r')
            shown += "\\r";
        else if (c == '\n')
            shown += "\\n";
        else
            shown += c;
    }
    return "\"" + shown + "\"";
}

} // namespace

std::vector<std::string> FindDamage(const TreeSnapshot &before, const TreeSnapshot &success,
                                    const TreeSnapshot &after,
                                    const std::set<std::string> &ignored) {
    std::vector<std::string> damage;
    std::set<std::string> paths;
    for (const TreeSnapshot *tree : {&before, &success, &after})
        for (const auto &[path, entry] : *tree) paths.insert(path);
    for (const std::string &path : paths) {
        if (ignored.count(path)) continue;
        auto b = before.find(path), s = success.find(path), a = after.find(path);
        bool inBefore = b != before.end(), inSuccess = s != success.end(),
             inAfter = a != after.end();
        if (inAfter &&
            ((inBefore && a->second == b->second) || (inSuccess && a->second == s->second)))
            continue;
        if (!inAfter) {
            if (inBefore && inSuccess) damage.push_back(path + ": gone");
            continue;
        }
        if (!inBefore && !inSuccess) {
            bool emptyDirectory =
                !a->second && std::none_of(after.begin(), after.end(), [&](const auto &other) {
                    return other.first.rfind(path + "/", 0) == 0;
                });
            if (!emptyDirectory) damage.push_back(path + ": left behind " + Show(a->second, true));
            continue;
        }
        bool textFiles = a->second && (!inBefore || b->second) && (!inSuccess || s->second);
        if (textFiles && IsOutboundText(path)) {
            std::set<std::string> known;
            if (inBefore)
                for (const std::string &line : Lines(*b->second)) known.insert(line);
            if (inSuccess)
                for (const std::string &line : Lines(*s->second)) known.insert(line);
            if (MadeOfKnownLines(*a->second, known)) continue;
        }
        damage.push_back(path + ": " + Show(a->second, true) + ", before " +
                         Show(inBefore ? b->second : std::nullopt, inBefore) + ", on success " +
                         Show(inSuccess ? s->second : std::nullopt, inSuccess));
    }

    std::map<std::string, int> queuedBefore = QueuedEntries(before),
                               queuedOnSuccess = QueuedEntries(success),
                               queuedAfter = QueuedEntries(after);
    std::set<std::string> entries;
    for (const auto *queued : {&queuedBefore, &queuedOnSuccess, &queuedAfter})
        for (const auto &[entry, count] : *queued) entries.insert(entry);
    for (const std::string &entry : entries) {
        int b = queuedBefore[entry], s = queuedOnSuccess[entry], a = queuedAfter[entry];
        if (a < std::min(b, s) || a > std::max(b, s))
            damage.push_back("entry " + entry + " queued " + std::to_string(a) + " times, " +
                             std::to_string(b) + " before, " + std::to_string(s) + " on success");
    }
    return damage;
}

std::vector<std::string> FindAppendDamage(const TreeSnapshot &before, const TreeSnapshot &success,
                                          const TreeSnapshot &after) {
    std::vector<std::string> damage;
    for (const auto &[path, successBytes] : success) {
        if (!successBytes || !IsFlowFile(path) || path.rfind("out", 0) != 0) continue;
        auto b = before.find(path), a = after.find(path);
        bool existed = b != before.end() && b->second;
        std::string old = existed ? *b->second : "";
        if (successBytes->compare(0, old.size(), old) != 0) continue; // not an append
        std::string added = successBytes->substr(old.size());
        if (a == after.end()) {
            if (existed) damage.push_back(path + ": gone");
            continue;
        }
        if (!a->second) {
            damage.push_back(path + ": a directory");
            continue;
        }
        const std::string &now = *a->second;
        // The allowed cuts of the added bytes: none (only if the file was there), or after a
        // CR LF that ends an appended line (not the line end an open last line was given).
        std::set<size_t> cuts;
        if (existed) cuts.insert(0);
        size_t lead =
            added.compare(0, 2, "\r\n") == 0 && !old.empty() && old.back() != '\n' ? 2 : 0;
        for (size_t at = added.find("\r\n", lead); at != std::string::npos;
             at = added.find("\r\n", at + 2))
            if (at > lead || lead == 0) cuts.insert(at + 2);
        bool whole = false;
        for (size_t cut : cuts)
            if (now == old + added.substr(0, cut)) whole = true;
        if (!whole)
            damage.push_back(path + ": " + Show(now, true) + " is not " + Show(old, true) +
                             " and whole appended lines of " + Show(added, true));
    }
    return damage;
}

std::string DescribeDifference(const TreeSnapshot &expected, const TreeSnapshot &actual) {
    std::ostringstream text;
    std::set<std::string> paths;
    for (const auto &[path, entry] : expected) paths.insert(path);
    for (const auto &[path, entry] : actual) paths.insert(path);
    for (const std::string &path : paths) {
        auto e = expected.find(path), a = actual.find(path);
        bool inExpected = e != expected.end(), inActual = a != actual.end();
        if (inExpected && inActual && e->second == a->second) continue;
        text << "  " << path << ": " << Show(inActual ? a->second : std::nullopt, inActual)
             << ", expected " << Show(inExpected ? e->second : std::nullopt, inExpected) << "\n";
    }
    return text.str();
}
