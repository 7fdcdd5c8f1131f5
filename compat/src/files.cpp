// File search with DOS wildcards, directory and file operations, and file handles.
#include "internal.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>
#include <vector>

namespace compat {
namespace {

// ---- Wildcards -------------------------------------------------------------------------------

// FindFirstFileA hands the file system a pattern rewritten into the DOS wildcards below, and
// the file system matches names against that; both steps are reproduced here.
enum Wildcard { kStar = -1, kDosStar = -2, kDosQuestion = -3, kDosDot = -4 };

void TranslatePattern(const std::string &pattern, std::vector<int> &tokens) {
    tokens.clear();
    if (pattern == "*" || pattern == "*.*") {
        tokens.push_back(kStar);
        return;
    }
    for (size_t i = 0; i < pattern.size(); ++i) {
        char c = pattern[i];
        char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        if (c == '.' && i >= 1 && i + 1 == pattern.size() && pattern[i - 1] == '*')
            tokens.back() = kDosStar; // "*." : names without an extension
        else if (c == '.' && (next == '?' || next == '*'))
            tokens.push_back(kDosDot);
        else if (c == '?')
            tokens.push_back(kDosQuestion);
        else if (c == '*')
            tokens.push_back(kStar);
        else
            tokens.push_back(static_cast<unsigned char>(c));
    }
}

int UpperAscii(int c) {
    return c >= 'a' && c <= 'z' ? c - 32 : c;
}

// A name of a directory listing: its bytes and length, no copy of its own.
struct NameView {
    const char *text;
    size_t length;
    size_t size() const { return length; }
    char operator[](size_t i) const { return text[i]; }
    bool HasDotAfter(size_t n) const {
        return n < length && std::memchr(text + n, '.', length - n) != nullptr;
    }
};

class Matcher {
public:
    // The memo is the caller's, so that one buffer serves every name of a directory.
    Matcher(const std::vector<int> &tokens, NameView name, std::vector<signed char> &memo)
        : tokens_(tokens), name_(name), memo_(memo) {
        memo_.assign((tokens.size() + 1) * (name.size() + 1), -1);
    }
    bool Run() { return Match(0, 0); }

private:
    bool Match(size_t t, size_t n) {
        signed char &memo = memo_[t * (name_.size() + 1) + n];
        if (memo < 0) memo = Compute(t, n);
        return memo != 0;
    }
    bool Compute(size_t t, size_t n) {
        bool at_end = n == name_.size();
        if (t == tokens_.size()) return at_end;
        char c = at_end ? '\0' : name_[n];
        switch (tokens_[t]) {
        case kStar:
            return Match(t + 1, n) || (!at_end && Match(t, n + 1));
        case kDosStar: // any run that does not swallow the last dot of the name
            return Match(t + 1, n) ||
                   (!at_end && (c != '.' || name_.HasDotAfter(n + 1)) && Match(t, n + 1));
        case kDosQuestion: // one character; nothing at a dot or at the end
            return at_end || c == '.' ? Match(t + 1, n) : Match(t + 1, n + 1);
        case kDosDot: // a dot, or nothing at the end
            return at_end ? Match(t + 1, n) : c == '.' && Match(t + 1, n + 1);
        default:
            return !at_end && UpperAscii(static_cast<unsigned char>(c)) == UpperAscii(tokens_[t]) &&
                   Match(t + 1, n + 1);
        }
    }
    const std::vector<int> &tokens_;
    NameView name_;
    std::vector<signed char> &memo_;
};

bool HasStars(const std::vector<int> &tokens) {
    return std::any_of(tokens.begin(), tokens.end(),
                       [](int token) { return token == kStar || token == kDosStar; });
}

// Whether the tokens are one star and then only plain characters ("*.tic"): a name matches them
// when it ends in those characters, which the memoised match above would find the long way.
bool IsStarThenPlain(const std::vector<int> &tokens) {
    return tokens.size() > 1 && tokens[0] == kStar &&
           std::all_of(tokens.begin() + 1, tokens.end(), [](int token) { return token >= 0; });
}

bool EndsInPlain(const std::vector<int> &tokens, NameView name) {
    size_t tail = tokens.size() - 1;
    if (name.length < tail) return false;
    for (size_t i = 0; i < tail; ++i)
        if (UpperAscii(static_cast<unsigned char>(name[name.length - tail + i])) !=
            UpperAscii(tokens[i + 1]))
            return false;
    return true;
}

// For tokens without stars (HasStars false): every token takes a fixed step, so the name is
// walked once, as the memoised match above would walk it.
bool MatchesWithoutStars(const std::vector<int> &tokens, NameView name) {
    size_t n = 0;
    for (int token : tokens) {
        bool at_end = n == name.size();
        char c = at_end ? '\0' : name[n];
        switch (token) {
        case kDosQuestion:
            if (!at_end && c != '.') ++n;
            break;
        case kDosDot:
            if (at_end) break;
            if (c != '.') return false;
            ++n;
            break;
        default:
            if (at_end || UpperAscii(static_cast<unsigned char>(c)) != UpperAscii(token))
                return false;
            ++n;
        }
    }
    return n == name.size();
}

// Whether the tokens are question marks, a dot and question marks ("????????.???", the
// outbound's names): Before and After count the marks on each side.
bool IsQuestionsDotQuestions(const std::vector<int> &tokens, size_t &before, size_t &after) {
    auto dot = std::find(tokens.begin(), tokens.end(), kDosDot);
    if (dot == tokens.end()) return false;
    auto question = [](int token) { return token == kDosQuestion; };
    if (!std::all_of(tokens.begin(), dot, question) ||
        !std::all_of(dot + 1, tokens.end(), question))
        return false;
    before = static_cast<size_t>(dot - tokens.begin());
    after = static_cast<size_t>(tokens.end() - dot - 1);
    return true;
}

// What MatchesWithoutStars finds for such tokens, without the walk: a question mark takes one
// character but a dot, or nothing, so a name matches when it holds no dot and at most Before
// characters, or when its first dot comes after at most Before characters and at most After
// characters, none a dot, follow it.
bool MatchesQuestionsDotQuestions(size_t before, size_t after, NameView name) {
    if (name.length > before + 1 + after) return false; // too long either way
    const char *dot = static_cast<const char *>(std::memchr(name.text, '.', name.length));
    if (!dot) return name.length <= before;
    size_t at = static_cast<size_t>(dot - name.text), rest = name.length - at - 1;
    if (at > before || rest > after) return false;
    for (size_t i = 1; i <= rest; ++i) // a few bytes: no call
        if (dot[i] == '.') return false;
    return true;
}

bool HasWildcards(const std::string &pattern) {
    for (char c : pattern)
        if (c == '*' || c == '?') return true;
    return false;
}

// What a search tells of an entry besides its name.
struct FileFacts {
    DWORD attributes;
    FILETIME write_time, access_time, creation_time;
    uint64_t size; // 0 for a directory
};

// One entry of a search, kept small until it is handed out as find data.
struct Found : FileFacts {
    std::string name;
};

// An entry of a wildcard search: its name lies in the search's one block of names, so that a
// listing of thousands of entries does not allocate for each. It is described only when it is
// handed out: a caller that stops early (a look into a big folder) stats no more than it took.
struct Listed {
    uint32_t name; // offset of its NUL-terminated name in Search::names
    uint32_t length;
};

FILETIME StatxFileTime(const struct statx_timestamp &time) {
    struct timespec converted = {static_cast<time_t>(time.tv_sec), static_cast<long>(time.tv_nsec)};
    return ToFileTime(converted);
}

// The entry's birth time where the file system keeps one, else its last write, stands for the
// creation time Windows reports; so does a write time set back before the birth (a copy that
// kept its times, a restore): the content is that old. Flags AT_EMPTY_PATH with an empty path
// describe the open directory itself.
bool StatInto(int directory, const char *path, int flags, FileFacts &facts) {
    struct statx info;
    const unsigned mask = STATX_BASIC_STATS | STATX_BTIME;
    if (statx(directory, path, AT_STATX_SYNC_AS_STAT | flags, mask, &info) != 0 &&
        statx(directory, path, AT_STATX_SYNC_AS_STAT | AT_SYMLINK_NOFOLLOW | flags, mask, &info) !=
            0)
        return false;
    facts.attributes = AttributesOfMode(info.stx_mode);
    facts.write_time = StatxFileTime(info.stx_mtime);
    // The times are often one: a file written and not read since, its birth no earlier.
    bool read_since = info.stx_atime.tv_sec != info.stx_mtime.tv_sec ||
                      info.stx_atime.tv_nsec != info.stx_mtime.tv_nsec;
    facts.access_time = read_since ? StatxFileTime(info.stx_atime) : facts.write_time;
    bool born =
        (info.stx_mask & STATX_BTIME) && (info.stx_btime.tv_sec < info.stx_mtime.tv_sec ||
                                          (info.stx_btime.tv_sec == info.stx_mtime.tv_sec &&
                                           info.stx_btime.tv_nsec < info.stx_mtime.tv_nsec));
    facts.creation_time = born ? StatxFileTime(info.stx_btime) : facts.write_time;
    facts.size = S_ISDIR(info.stx_mode) ? 0 : static_cast<uint64_t>(info.stx_size);
    return true;
}

bool DescribeAt(int directory, const char *path, std::string name, Found &found) {
    if (name.size() >= MAX_PATH) return false; // no cFileName holds it
    if (!StatInto(directory, path, 0, found)) return false;
    found.name = std::move(name);
    return true;
}

bool DescribePath(const std::string &path, std::string name, Found &found) {
    return DescribeAt(AT_FDCWD, path.c_str(), std::move(name), found);
}

void HandOut(const FileFacts &facts, const char *name, size_t length, WIN32_FIND_DATAA &data) {
    data.dwFileAttributes = facts.attributes;
    data.ftCreationTime = facts.creation_time;
    data.ftLastAccessTime = facts.access_time;
    data.ftLastWriteTime = facts.write_time;
    data.nFileSizeHigh = static_cast<DWORD>(facts.size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(facts.size);
    data.dwReserved0 = data.dwReserved1 = 0;
    // Zero from the name's end to the structure's: a whole clear first wrote most bytes twice.
    std::memcpy(data.cFileName, name, length + 1);
    char *rest = data.cFileName + length + 1;
    std::memset(rest, 0, static_cast<size_t>(reinterpret_cast<char *>(&data + 1) - rest));
}

typedef unsigned __int128 ListingKey;

// How a pattern's tokens are matched.
struct PatternForm {
    bool stars, every, suffix, questions;
    size_t before, after; // question marks before and after the dot (questions)
};

// What a search works in. A listing opens hundreds of folders one after another, so the last
// closed search's buffers serve the next while they are small; a big folder's are let go.
struct SearchBuffers {
    std::vector<Listed> listed; // a wildcard search's, its names in `names`
    std::vector<char> names;
    // Listed in the order they are handed out; the order and the sort's keys only grow, their
    // first listed.size() entries the search's, so that a folder no bigger than the last is
    // sorted without a call to size them.
    std::vector<uint32_t> order;
    std::vector<ListingKey> keys;
    std::string pattern; // the pattern `tokens` and `form` were made from, kept with them
    std::vector<int> tokens;
    PatternForm form = {};
    std::vector<signed char> memo;
    std::string directory_name, directory;

    void Clear() {
        listed.clear(), names.clear();
        memo.clear(), directory_name.clear(), directory.clear();
    }
    bool Small() const {
        return listed.capacity() <= 64 && names.capacity() <= 1024 && keys.capacity() <= 64 &&
               order.capacity() <= 64 && memo.capacity() <= 1024 && tokens.capacity() <= 64 &&
               pattern.capacity() <= 1024 && directory_name.capacity() <= 1024 &&
               directory.capacity() <= 1024;
    }
};

struct Search : Object, SearchBuffers {
    static constexpr Kind kKind = Object::Search;
    Search() : Object(kKind) {}
    ~Search() override {
        if (directory_fd >= 0) close(directory_fd);
    }
    std::vector<Found> entries; // a look-up's
    int directory_fd = -1;      // a wildcard search's open directory, to describe entries in
    size_t next = 0;
    // The next entry; one that is gone by the time it is described is passed over.
    bool HandOutNext(WIN32_FIND_DATAA &data) {
        while (directory_fd >= 0 && next < listed.size()) {
            const Listed &entry = listed[order.empty() ? next : order[next]];
            ++next;
            const char *name = names.data() + entry.name;
            FileFacts facts;
            bool dot = entry.length == 1 && name[0] == '.';
            if (dot ? StatInto(directory_fd, "", AT_EMPTY_PATH, facts)
                    : StatInto(directory_fd, name, 0, facts)) {
                HandOut(facts, name, entry.length, data);
                return true;
            }
        }
        if (directory_fd >= 0 || next >= entries.size()) return false;
        const Found &entry = entries[next++];
        HandOut(entry, entry.name.c_str(), entry.name.size(), data);
        return true;
    }
};

// The last closed search, kept whole while its buffers are small: a listing opens hundreds of
// folders one after another, and the next search takes it as it was left, with no allocation,
// construction or exchange of buffers. Constant-initialised, so a search made while other
// modules start up finds it.
struct SpareSearch {
    std::atomic<Search *> search{nullptr};
    ~SpareSearch() { delete search.exchange(nullptr); }
};
SpareSearch Spare;

Search *NewSearch() {
    if (Search *search = Spare.search.exchange(nullptr, std::memory_order_acquire)) return search;
    return new Search;
}

// Ends a search no longer in the table of handles: its directory is closed and its buffers
// emptied for the next, or it is let go when they are big (the heap peak does not grow).
void EndSearch(Search *search) {
    if (search->directory_fd >= 0) close(search->directory_fd);
    search->directory_fd = -1;
    search->next = 0;
    search->entries.clear();
    search->Clear();
    Search *none = nullptr;
    if (!search->Small() || search->entries.capacity() > 4 ||
        !Spare.search.compare_exchange_strong(none, search, std::memory_order_release))
        delete search;
}

struct EndsSearch {
    void operator()(Search *search) const { EndSearch(search); }
};

// NTFS lists "." and ".." first, then names in upper-case order; names equal but for case keep
// the order the directory gave them. A name's rank ("." 0, ".." 1, else 2) and the first 12
// bytes of its upper-case form are packed, the first byte most significant, above its index
// into one number that orders as the texts do up to those bytes; names that agree that far are
// put in order by the rest of their bytes afterwards.
const int IndexBits = 24;
const uint32_t IndexMask = (1u << IndexBits) - 1;

// The name's first 12 bytes are read whole: the search's block of names ends in padding.
ListingKey MakeListingKey(const char *name, size_t length, uint32_t index) {
    unsigned rank = 2;
    if (length == 1 && name[0] == '.')
        rank = 0;
    else if (length == 2 && name[0] == '.' && name[1] == '.')
        rank = 1;
    unsigned char bytes[16] = {static_cast<unsigned char>(rank)};
    std::memcpy(bytes + 1, name, 12);
    uint64_t lead, tail;
    std::memcpy(&lead, bytes, 8);
    std::memcpy(&tail, bytes + 8, 8);
    // Upper case eight bytes at a time: 0x20 off each byte from 'a' to 'z'.
    auto upper = [](uint64_t word) {
        const uint64_t ones = 0x0101010101010101ull, high = 0x8080808080808080ull;
        uint64_t ascii = ~word & high;                         // bytes below 0x80
        uint64_t fromA = (word & ~high) + (0x80 - 'a') * ones; // high bit: byte >= 'a'
        uint64_t pastZ = (word & ~high) + (0x7F - 'z') * ones; // high bit: byte > 'z'
        uint64_t lower = fromA & ~pastZ & ascii & high;
        return word - (lower >> 2);
    };
    // Bytes past the name (its zero, the next name's) are cleared: a name's key holds only it.
    size_t end = 1 + (length < 12 ? length : 12); // bytes of the key the rank and name fill
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (end < 8) lead &= (1ull << 8 * end) - 1;
    tail &= end <= 8 ? 0 : (1ull << 8 * (end - 8)) - 1;
    lead = __builtin_bswap64(upper(lead));
    tail = __builtin_bswap64(upper(tail));
#else
    if (end < 8) lead &= ~(~0ull >> 8 * end);
    tail &= end <= 8 ? 0 : ~(~0ull >> 8 * (end - 8));
    lead = upper(lead);
    tail = upper(tail);
#endif
    return static_cast<ListingKey>(lead) << 64 | tail | index; // bytes 13 to 15 are the index's
}

// Where byte At of a key's name bytes (0 the last, the index's bytes below it) lies in memory.
constexpr int KeyByte(int At) {
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return IndexBits / 8 + At;
#else
    return 15 - IndexBits / 8 - At;
#endif
}

// Sorts Count listing keys into Order (their indexes) and tells through Same whether each has
// the rank and name bytes of the one before. Many are sorted by their rank and name bytes, the
// last first, each pass keeping the order of the pass before (a radix sort). Only the bytes in
// which keys differ take a pass: the outbound's names share most of theirs.
template <typename Same>
void SortKeys(ListingKey *Keys, size_t Count, uint32_t *Order, Same &&same) {
    auto finish = [&](ListingKey *sorted) {
        for (size_t i = 0; i < Count; ++i) {
            Order[i] = static_cast<uint32_t>(sorted[i]) & IndexMask;
            same(i, i > 0 && sorted[i] >> IndexBits == sorted[i - 1] >> IndexBits);
        }
    };
    if (Count < 256) { // the passes' tables would cost more than they save
        std::sort(Keys, Keys + Count);
        finish(Keys);
        return;
    }
    const int Digits = 16 - IndexBits / 8;
    ListingKey all = ~static_cast<ListingKey>(0), any = 0;
    for (size_t i = 0; i < Count; ++i) {
        all &= Keys[i];
        any |= Keys[i];
    }
    ListingKey differ = (all ^ any) >> IndexBits;
    int bytes[Digits], passes = 0;
    for (int at = 0; at < Digits; ++at)
        if (static_cast<uint8_t>(differ >> (8 * at))) bytes[passes++] = KeyByte(at);
    uint32_t counts[Digits][256]; // only the passes' tables cleared: few bytes take one
    std::memset(counts, 0, static_cast<size_t>(passes) * sizeof counts[0]);
    for (size_t i = 0; i < Count; ++i) {
        const unsigned char *key = reinterpret_cast<const unsigned char *>(&Keys[i]);
        for (int pass = 0; pass < passes; ++pass) ++counts[pass][key[bytes[pass]]];
    }
    std::unique_ptr<ListingKey[]> other(new ListingKey[Count]);
    ListingKey *from = Keys, *to = other.get();
    for (int pass = 0; pass < passes; ++pass) {
        uint32_t *bucket = counts[pass];
        uint32_t start = 0;
        for (int value = 0; value < 256; ++value) {
            uint32_t size = bucket[value];
            bucket[value] = start;
            start += size;
        }
        int at = bytes[pass];
        for (size_t i = 0; i < Count; ++i)
            to[bucket[reinterpret_cast<const unsigned char *>(&from[i])[at]]++] = from[i];
        std::swap(from, to);
    }
    finish(from);
}

// The order of two entries by all their upper-case bytes, ties by the order read.
bool NameBefore(const Search &search, uint32_t a, uint32_t b) {
    const Listed &x = search.listed[a], &y = search.listed[b];
    const char *p = search.names.data() + x.name, *q = search.names.data() + y.name;
    for (size_t i = 0;; ++i) { // each name ends in its terminating zero
        int c = UpperAscii(static_cast<unsigned char>(p[i]));
        int d = UpperAscii(static_cast<unsigned char>(q[i]));
        if (c != d) return c < d;
        if (!c) return a < b;
    }
}

void SortInListingOrder(Search &search) {
    size_t count = search.listed.size();
    if (search.order.size() < count) search.order.resize(count);
    if (count > IndexMask) { // more than the key's index holds: the names compared whole
        for (size_t i = 0; i < count; ++i) search.order[i] = static_cast<uint32_t>(i);
        std::sort(search.order.begin(), search.order.begin() + count, [&](uint32_t a, uint32_t b) {
            auto rank = [&](uint32_t i) {
                const Listed &e = search.listed[i];
                const char *n = search.names.data() + e.name;
                return e.length == 1 && n[0] == '.'                  ? 0
                       : e.length == 2 && n[0] == '.' && n[1] == '.' ? 1
                                                                     : 2;
            };
            int p = rank(a), q = rank(b);
            return p != q ? p < q : NameBefore(search, a, b);
        });
        return;
    }
    // "." and ".." go first, so that the names' sort takes only the bytes in which the names
    // differ (the dots' bytes differ from every name's).
    std::vector<ListingKey> &keys = search.keys;
    if (keys.size() < count) keys.resize(count);
    size_t dots = 0;
    for (size_t i = 0; i < count; ++i) {
        const Listed &entry = search.listed[i];
        ListingKey key = MakeListingKey(search.names.data() + entry.name, entry.length,
                                        static_cast<uint32_t>(i));
        keys[i] = key;
        if (key >> 120 < 2) {
            keys[i] = keys[dots];
            keys[dots++] = key;
        }
    }
    std::sort(keys.data(), keys.data() + dots);
    for (size_t i = 0; i < dots; ++i) search.order[i] = static_cast<uint32_t>(keys[i]) & IndexMask;
    // Names that agree in their rank and first 12 bytes: the rest decides.
    size_t run = dots;
    uint32_t *order = search.order.data();
    auto same = [&](size_t i, bool alike) {
        if (alike) return;
        size_t at = dots + i;
        if (at - run > 1)
            std::sort(order + run, order + at,
                      [&](uint32_t a, uint32_t b) { return NameBefore(search, a, b); });
        run = at;
    };
    SortKeys(keys.data() + dots, count - dots, order + dots, same);
    same(count - dots, false);
}

// Reads the names of the directory's entries that match the pattern into the search, in listing
// order, and keeps the directory open to describe each as it is handed out ("." through the open
// directory itself). False, with the error set, when the directory cannot be opened.
bool ListMatches(const std::string &pattern, Search &search) {
    // A directory that exists as spelled is the one the lookup would find: it is opened at
    // once, its path walked once.
    const std::string &directory_name = search.directory_name;
    std::string &directory = search.directory;
    int fd = -1;
    if (ToPosixLexical(directory_name.c_str(), directory))
        fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        if (!ToPosix(directory_name.c_str(), directory)) return false;
        fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    if (fd < 0) {
        Fail(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
        return false;
    }
    // A listing asks every folder for the same pattern: the last search's reading of it stands.
    std::vector<int> &tokens = search.tokens;
    PatternForm &form = search.form;
    if (search.pattern != pattern || tokens.empty()) {
        search.pattern = pattern;
        TranslatePattern(pattern, tokens);
        form.stars = HasStars(tokens);
        form.every = tokens.size() == 1 && tokens[0] == kStar; // "*" and "*.*" take every name
        form.suffix = IsStarThenPlain(tokens);
        form.before = form.after = 0;
        form.questions = !form.stars && IsQuestionsDotQuestions(tokens, form.before, form.after);
    }
    std::vector<signed char> &memo = search.memo;
    const bool stars = form.stars, every = form.every, suffix = form.suffix;
    const bool questions = form.questions;
    const size_t before = form.before, after = form.after;
    // A drive's root has neither "." nor "..". Compared by hand: the library call costs more.
    bool root = directory.size() == 1 && directory[0] == '/';
    alignas(struct dirent64) char buffer[16384];
    Listed entry;
    search.listed.reserve(32);
    search.names.reserve(512);
    for (;;) {
        ssize_t got = getdents64(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        for (ssize_t at = 0; at < got;) {
            const struct dirent64 *read = reinterpret_cast<const struct dirent64 *>(buffer + at);
            at += read->d_reclen;
            NameView name = {read->d_name, std::strlen(read->d_name)};
            if (name.length >= MAX_PATH) continue; // no cFileName holds it
            bool dot = name.length == 1 && name[0] == '.';
            bool dots = name[0] == '.' && (dot || (name.length == 2 && name[1] == '.'));
            if (dots && root) continue;
            if (!every && !(suffix      ? EndsInPlain(tokens, name)
                            : stars     ? Matcher(tokens, name, memo).Run()
                            : questions ? MatchesQuestionsDotQuestions(before, after, name)
                                        : MatchesWithoutStars(tokens, name)))
                continue;
            entry.name = static_cast<uint32_t>(search.names.size());
            entry.length = static_cast<uint32_t>(name.length);
            search.names.insert(search.names.end(), name.text, name.text + name.length + 1);
            search.listed.push_back(entry);
        }
    }
    search.directory_fd = fd;
    search.names.resize(search.names.size() + 12); // the sort reads 12 bytes of every name
    SortInListingOrder(search);
    return true;
}

bool IsDirectory(const std::string &path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// A name without wildcards, its components found without regard to case. False, with the
// error set, when its directory does not exist.
bool FindByLookup(const char *name, std::vector<Found> &entries) {
    std::string path;
    if (!ToPosix(name, path)) return false;
    std::string::size_type cut = path.find_last_of('/');
    std::string directory = cut == 0 ? "/" : path.substr(0, cut);
    if (!IsDirectory(directory)) {
        Fail(ERROR_PATH_NOT_FOUND);
        return false;
    }
    Found found;
    if (path != "/" && DescribePath(path, path.substr(cut + 1), found))
        entries.push_back(std::move(found));
    return true;
}

// ---- File handles ----------------------------------------------------------------------------

// What GetFileInformationByHandle tells of a file so described.
void DescribeFile(const struct stat &info, BY_HANDLE_FILE_INFORMATION *out) {
    std::memset(out, 0, sizeof *out);
    out->dwFileAttributes = AttributesOf(info);
    out->ftCreationTime = ToFileTime(info.st_mtim); // POSIX keeps none
    out->ftLastAccessTime = ToFileTime(info.st_atim);
    out->ftLastWriteTime = ToFileTime(info.st_mtim);
    // A 64-bit device number folded into the 32 bits Windows gives a volume serial.
    uint64_t device = static_cast<uint64_t>(info.st_dev);
    out->dwVolumeSerialNumber = static_cast<DWORD>(device ^ (device >> 32));
    uint64_t size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    out->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    out->nFileSizeLow = static_cast<DWORD>(size);
    out->nNumberOfLinks = static_cast<DWORD>(info.st_nlink);
    uint64_t inode = static_cast<uint64_t>(info.st_ino);
    out->nFileIndexHigh = static_cast<DWORD>(inode >> 32);
    out->nFileIndexLow = static_cast<DWORD>(inode);
}

struct File : Object {
    static constexpr Kind kKind = Object::File;
    // Info is what the open saw (null when it could not tell).
    File(int fd, const struct stat *info)
        : Object(kKind), fd(fd), type(info ? info->st_mode & S_IFMT : 0), waits(true) {
        if (info) DescribeFile(*info, &opened);
    }
    ~File() override { close(fd); }
    int fd;
    mode_t type; // S_IFREG, S_IFIFO... as the open saw it (0: unknown); an open file keeps it
    bool waits;  // still without waiting (O_NONBLOCK), as it was opened
    BY_HANDLE_FILE_INFORMATION opened = {}; // as the open saw it, when type is known
};

// A regular file keeps the non-blocking flag it was opened with: Linux reads and writes a
// local file alike either way, and clearing it cost a call on every open. Where a file system
// does answer EAGAIN, the flag goes, once, and the read or write is tried again.
bool WaitsAgain(File &file) {
    if (errno != EAGAIN || !file.waits || !S_ISREG(file.type)) return false;
    file.waits = false;
    int flags = fcntl(file.fd, F_GETFL);
    return flags >= 0 && fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

// Opens with the flags, telling whether the file was there before (for CREATE_ALWAYS and
// OPEN_ALWAYS, which report an existing file through the last error).
int OpenReporting(const std::string &path, int flags, mode_t mode, bool &existed) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        int fd = open(path.c_str(), flags & ~(O_CREAT | O_EXCL), mode);
        if (fd >= 0 || errno != ENOENT) {
            existed = fd >= 0;
            return fd;
        }
        fd = open(path.c_str(), flags | O_CREAT | O_EXCL, mode);
        if (fd >= 0 || errno != EEXIST) {
            existed = false;
            return fd;
        }
    }
    return -1;
}

bool CopyContents(int from, int to) {
    char buffer[65536];
    for (;;) {
        ssize_t got = read(from, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return got == 0;
        for (ssize_t done = 0; done < got;) {
            ssize_t put = write(to, buffer + done, static_cast<size_t>(got - done));
            if (put < 0 && errno == EINTR) continue;
            if (put <= 0) {
                if (put == 0) errno = ENOSPC;
                return false;
            }
            done += put;
        }
    }
}

// The target of a rename: when it names the source itself under another case, the new spelling
// is what the caller asked for.
std::string RenameTarget(const std::string &source, const std::string &target, const char *given) {
    if (source != target) return target;
    std::string::size_type slash = target.find_last_of('/');
    std::string lexical;
    if (!ToPosixLexical(given, lexical)) return target;
    return target.substr(0, slash + 1) + lexical.substr(lexical.find_last_of('/') + 1);
}

// The search made last, while it is open (whichever thread closes it forgets it here), so that
// a stale handle never passes for it.
std::atomic<void *> LatestSearch{nullptr};

} // namespace
} // namespace compat

using namespace compat;

extern "C" {

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
    if (!lpFileName || !lpFindFileData) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    // The name is what follows the last separator, or the drive ("Z:*.flo").
    const char *name = lpFileName;
    const char *backslash = std::strrchr(lpFileName, '\\'), *slash = std::strrchr(lpFileName, '/');
    const char *last = backslash && (!slash || backslash > slash) ? backslash : slash;
    if (last) name = last + 1;
    if (name == lpFileName && lpFileName[0] && lpFileName[1] == ':') name = lpFileName + 2;
    std::string pattern = name;
    if (pattern.empty()) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    std::unique_ptr<Search, EndsSearch> search(NewSearch());
    if (HasWildcards(pattern)) {
        if (name == lpFileName)
            search->directory_name.assign(1, '.');
        else
            search->directory_name.assign(lpFileName, name).push_back('.');
        if (!ListMatches(pattern, *search)) return INVALID_HANDLE_VALUE;
    } else {
        // A name that exists as spelled is the file the lookup below would find first.
        std::string exact;
        Found found;
        if (ToPosixLexical(lpFileName, exact) && exact != "/" &&
            DescribePath(exact, exact.substr(exact.find_last_of('/') + 1), found)) {
            search->entries.push_back(std::move(found));
        } else if (!FindByLookup(lpFileName, search->entries)) {
            return INVALID_HANDLE_VALUE;
        }
    }
    if (!search->HandOutNext(*lpFindFileData)) {
        Fail(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    RegisterObject(search.get());
    LatestSearch = search.get();
    return search.release();
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
    // The latest search is live (FindClose forgets it): a listing asks for its next entry
    // thousands of times without a look into the table of handles.
    auto *search = hFindFile && hFindFile == LatestSearch.load() ? static_cast<Search *>(hFindFile)
                                                                 : Find<Search>(hFindFile);
    if (!search) return FALSE;
    if (!search->HandOutNext(*lpFindFileData)) {
        Fail(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
    // The latest search is live, a search, and forgotten here: no look into the table first.
    void *latest = hFindFile;
    Search *search = hFindFile && LatestSearch.compare_exchange_strong(latest, nullptr)
                         ? static_cast<Search *>(hFindFile)
                         : Find<Search>(hFindFile);
    if (!search || !ForgetObject(search)) return FALSE;
    EndSearch(search);
    return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
    std::string path;
    if (!ToPosix(lpPathName, path)) return FALSE;
    if (mkdir(path.c_str(), 0777) != 0) {
        Fail(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
    std::string path;
    if (!ToPosix(lpPathName, path)) return FALSE;
    if (rmdir(path.c_str()) != 0) {
        Fail(errno == ENOTDIR ? ERROR_DIRECTORY : ErrorFromErrnoAt(errno, path));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
    std::string path;
    if (!ToPosix(lpFileName, path)) return FALSE;
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 &&
        (S_ISDIR(info.st_mode) || AttributesOf(info) & FILE_ATTRIBUTE_READONLY)) {
        Fail(ERROR_ACCESS_DENIED); // Windows deletes neither directories nor read-only files
        return FALSE;
    }
    if (unlink(path.c_str()) != 0) {
        FailErrno(errno, path);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    std::string source, target;
    if (!ToPosix(lpExistingFileName, source) || !ToPosix(lpNewFileName, target)) return FALSE;
    struct stat info;
    if (lstat(source.c_str(), &info) != 0) {
        FailErrno(errno, source);
        return FALSE;
    }
    target = RenameTarget(source, target, lpNewFileName);
    if (source == target) return TRUE;
    int result;
    if (dwFlags & MOVEFILE_REPLACE_EXISTING) {
        struct stat existing;
        if (lstat(target.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
            Fail(ERROR_ACCESS_DENIED); // Windows never replaces a directory
            return FALSE;
        }
        result = rename(source.c_str(), target.c_str());
    } else {
        result = renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE);
        if (result != 0 && (errno == EINVAL || errno == ENOSYS) && !S_ISDIR(info.st_mode)) {
            // The file system cannot rename without replacing; link(2) never replaces.
            result = link(source.c_str(), target.c_str());
            if (result == 0) unlink(source.c_str());
        }
    }
    if (result != 0 && errno == EXDEV && (dwFlags & MOVEFILE_COPY_ALLOWED) &&
        S_ISREG(info.st_mode)) {
        if (!CopyFileA(lpExistingFileName, lpNewFileName,
                       (dwFlags & MOVEFILE_REPLACE_EXISTING) ? FALSE : TRUE))
            return FALSE;
        unlink(source.c_str());
        return TRUE;
    }
    if (result != 0) {
        Fail(errno == EEXIST   ? ERROR_ALREADY_EXISTS
             : errno == ENOENT ? ERROR_PATH_NOT_FOUND
                               : ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI MoveFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName) {
    return MoveFileExA(lpExistingFileName, lpNewFileName, MOVEFILE_COPY_ALLOWED);
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
    std::string source, target;
    if (!ToPosix(lpExistingFileName, source) || !ToPosix(lpNewFileName, target)) return FALSE;
    int from = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (from < 0 || fstat(from, &info) != 0 || S_ISDIR(info.st_mode)) {
        Fail(from < 0 ? ErrorFromErrnoAt(errno, source) : ERROR_ACCESS_DENIED);
        if (from >= 0) close(from);
        return FALSE;
    }
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (bFailIfExists ? O_EXCL : O_TRUNC);
    int to = open(target.c_str(), flags, info.st_mode & 0777);
    if (to < 0) {
        Fail(errno == EEXIST   ? ERROR_FILE_EXISTS
             : errno == ENOENT ? ERROR_PATH_NOT_FOUND
                               : ErrorFromErrno(errno));
        close(from);
        return FALSE;
    }
    bool copied = CopyContents(from, to);
    int error = errno;
    if (copied) { // Windows keeps the last write time of the copy
        struct timespec times[2] = {info.st_atim, info.st_mtim};
        futimens(to, times);
    }
    close(from);
    if (close(to) != 0 && copied) {
        copied = false;
        error = errno;
    }
    if (!copied) {
        Fail(ErrorFromErrno(error));
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
    std::string path;
    if (!ToPosix(lpFileName, path)) return INVALID_FILE_ATTRIBUTES;
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        FailErrno(errno, path);
        return INVALID_FILE_ATTRIBUTES;
    }
    return AttributesOf(info);
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
    std::string path;
    if (!ToPosix(lpFileName, path)) return FALSE;
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        FailErrno(errno, path);
        return FALSE;
    }
    if (S_ISDIR(info.st_mode)) return TRUE; // read-only means nothing for a directory
    // Only the read-only bit has a POSIX meaning: it takes away, or gives back, write access.
    mode_t mode = info.st_mode & 07777;
    if (dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        mode &= ~static_cast<mode_t>(0222);
    else if (!(mode & 0222))
        mode |= S_IWUSR;
    if (chmod(path.c_str(), mode) != 0) {
        FailErrno(errno, path);
        return FALSE;
    }
    return TRUE;
}

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD, LPSECURITY_ATTRIBUTES,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE) {
    bool reads = dwDesiredAccess & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA);
    bool writes = dwDesiredAccess & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA);
    // Append-only access writes at the end whatever the file pointer says.
    bool appends = !writes && (dwDesiredAccess & FILE_APPEND_DATA);
    int flags = O_CLOEXEC | ((reads && (writes || appends)) ? O_RDWR
                             : (writes || appends)          ? O_WRONLY
                                                            : O_RDONLY);
    if (appends) flags |= O_APPEND;
    switch (dwCreationDisposition) {
    case CREATE_NEW:
        flags |= O_CREAT | O_EXCL;
        break;
    case CREATE_ALWAYS:
        flags |= O_CREAT | O_TRUNC;
        break;
    case OPEN_EXISTING:
        break;
    case OPEN_ALWAYS:
        flags |= O_CREAT;
        break;
    case TRUNCATE_EXISTING:
        if (!writes) {
            Fail(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
        }
        flags |= O_TRUNC;
        break;
    default:
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    mode_t mode = (dwFlagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    std::string path;
    struct stat info;
    bool existed = false;
    int fd = -1;
    // A file opened as it is, to read or only to be named, is first opened under the name as
    // given: a name that exists as spelled is what the case-blind look-up would keep, so the
    // usual case is one open. Any failure takes the whole way below, errors and all.
    if (dwCreationDisposition == OPEN_EXISTING && !writes && !appends) {
        if (!ToPosixLexical(lpFileName, path)) return INVALID_HANDLE_VALUE;
        fd = open(path.c_str(), flags | O_NONBLOCK, mode);
    }
    if (fd < 0) {
        if (!ToPosix(lpFileName, path)) return INVALID_HANDLE_VALUE;
        if (dwCreationDisposition != CREATE_NEW && (writes || appends || (flags & O_TRUNC)) &&
            stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            (AttributesOf(info) & FILE_ATTRIBUTE_READONLY)) {
            Fail(ERROR_ACCESS_DENIED); // held whoever asks, root too, as on Windows
            return INVALID_HANDLE_VALUE;
        }
        fd = (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS)
                 ? OpenReporting(path, flags | O_NONBLOCK, mode, existed)
                 : open(path.c_str(), flags | O_NONBLOCK, mode);
    }
    // Opened without waiting, so that a FIFO planted under a file's name never hangs the
    // caller (GetFileType tells it from a file, from the type seen here).
    bool described = fd >= 0 && fstat(fd, &info) == 0;
    if (described && S_ISDIR(info.st_mode)) {
        close(fd);
        fd = -1;
        errno = EISDIR; // a directory opens only with backup semantics
    }
    if (fd < 0) {
        Fail(errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrnoAt(errno, path));
        return INVALID_HANDLE_VALUE;
    }
    auto *file = new File(fd, described ? &info : nullptr);
    RegisterObject(file);
    Fail(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return file;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED) {
    auto *file = Find<File>(hFile);
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
    if (!file) return FALSE;
    DWORD done = 0;
    while (done < nNumberOfBytesToRead) {
        ssize_t got =
            read(file->fd, static_cast<char *>(lpBuffer) + done, nNumberOfBytesToRead - done);
        if (got < 0 && (errno == EINTR || WaitsAgain(*file))) continue;
        if (got < 0) {
            Fail(errno == EISDIR  ? ERROR_ACCESS_DENIED
                 : errno == EBADF ? ERROR_ACCESS_DENIED // not opened for reading
                                  : ErrorFromErrno(errno));
            if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
            return FALSE;
        }
        if (got == 0) break;
        done += static_cast<DWORD>(got);
    }
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, const void *lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED) {
    auto *file = Find<File>(hFile);
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
    if (!file) return FALSE;
    DWORD done = 0;
    while (done < nNumberOfBytesToWrite) {
        ssize_t put = write(file->fd, static_cast<const char *>(lpBuffer) + done,
                            nNumberOfBytesToWrite - done);
        if (put < 0 && (errno == EINTR || WaitsAgain(*file))) continue;
        if (put <= 0) { // a short write is a full disk, not a partial success
            Fail(put == 0         ? ERROR_DISK_FULL
                 : errno == EBADF ? ERROR_ACCESS_DENIED // not opened for writing
                                  : ErrorFromErrno(errno));
            if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
            return FALSE;
        }
        done += static_cast<DWORD>(put);
    }
    if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
    return TRUE;
}

BOOL WINAPI FlushFileBuffers(HANDLE hFile) {
    auto *file = Find<File>(hFile);
    if (!file) return FALSE;
    if (fsync(file->fd) != 0) {
        FailErrno(errno);
        return FALSE;
    }
    return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, LONG *lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
    auto *file = Find<File>(hFile);
    if (!file) return INVALID_SET_FILE_POINTER;
    int64_t distance =
        lpDistanceToMoveHigh
            ? static_cast<int64_t>(
                  (static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                  static_cast<uint32_t>(lDistanceToMove))
            : lDistanceToMove;
    int whence = dwMoveMethod == FILE_BEGIN     ? SEEK_SET
                 : dwMoveMethod == FILE_CURRENT ? SEEK_CUR
                 : dwMoveMethod == FILE_END     ? SEEK_END
                                                : -1;
    if (whence < 0) {
        Fail(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    off_t base = whence == SEEK_SET ? 0 : lseek(file->fd, 0, whence);
    if (base < 0 || base + distance < 0) {
        Fail(base < 0 ? ErrorFromErrno(errno) : ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (!lpDistanceToMoveHigh && base + distance > 0xFFFFFFFELL) {
        Fail(ERROR_INVALID_PARAMETER); // the position would not fit the return value
        return INVALID_SET_FILE_POINTER;
    }
    off_t position = lseek(file->fd, base + distance, SEEK_SET);
    if (position < 0) {
        FailErrno(errno);
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh)
        *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<uint64_t>(position) >> 32);
    Fail(ERROR_SUCCESS); // tells a position of 0xFFFFFFFF from a failure
    return static_cast<DWORD>(position);
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    auto *file = Find<File>(hFile);
    struct stat info;
    if (!file) return INVALID_FILE_SIZE;
    if (fstat(file->fd, &info) != 0) {
        FailErrno(errno);
        return INVALID_FILE_SIZE;
    }
    if (lpFileSizeHigh)
        *lpFileSizeHigh = static_cast<DWORD>(static_cast<uint64_t>(info.st_size) >> 32);
    Fail(ERROR_SUCCESS);
    return static_cast<DWORD>(info.st_size);
}

BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpInformation) {
    auto *file = Find<File>(hFile);
    struct stat info;
    if (!file) return FALSE;
    if (!lpInformation) {
        Fail(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (fstat(file->fd, &info) != 0) {
        FailErrno(errno);
        return FALSE;
    }
    DescribeFile(info, lpInformation);
    return TRUE;
}

int CompatRegularFileAsSpelled(const char *windows_path, BY_HANDLE_FILE_INFORMATION *info,
                               int readable) {
    std::string path;
    if (!windows_path || !info || !ToPosixLexical(windows_path, path)) return 0;
    // Spelled as given: the path read changed nothing but its separators (no drive but Z:, no
    // "." or "..", no trailing dots or blanks dropped).
    const char *given = windows_path;
    if ((given[0] == 'Z' || given[0] == 'z') && given[1] == ':') given += 2;
    if (std::strlen(given) != path.size()) return 0;
    // Compared a run between backslashes at a time, each backslash a slash in the path.
    for (size_t at = 0; at < path.size(); ++at) {
        size_t run = std::strcspn(given + at, "\\");
        if (std::memcmp(given + at, path.data() + at, run) != 0) return 0;
        at += run;
        if (at < path.size() && path[at] != '/') return 0;
    }
    struct stat described;
    if (stat(path.c_str(), &described) != 0 || !S_ISREG(described.st_mode)) return 0;
    // As CreateFileA would open it: a file this process may read. For its owner the owner's
    // read bit settles that (no access list entry or group reaches the owner); others ask.
    if (readable && !((described.st_mode & S_IRUSR) && described.st_uid == geteuid()) &&
        faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) != 0)
        return 0;
    DescribeFile(described, info);
    return 1;
}

int CompatFileAsOpened(void *handle, BY_HANDLE_FILE_INFORMATION *info) {
    auto *file = Find<File>(handle);
    if (!file || !info || file->type == 0) return 0;
    *info = file->opened;
    return 1;
}

DWORD WINAPI GetFileType(HANDLE hFile) {
    auto *file = Find<File>(hFile);
    struct stat info;
    if (!file) return FILE_TYPE_UNKNOWN;
    info.st_mode = file->type;
    if (file->type == 0 && fstat(file->fd, &info) != 0) {
        FailErrno(errno);
        return FILE_TYPE_UNKNOWN;
    }
    Fail(ERROR_SUCCESS);
    if (S_ISREG(info.st_mode) || S_ISDIR(info.st_mode)) return FILE_TYPE_DISK;
    if (S_ISCHR(info.st_mode)) return FILE_TYPE_CHAR;
    if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) return FILE_TYPE_PIPE;
    return FILE_TYPE_UNKNOWN;
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
    auto *file = Find<File>(hFile);
    if (!file) return FALSE;
    off_t position = lseek(file->fd, 0, SEEK_CUR);
    if (position < 0 || ftruncate(file->fd, position) != 0) {
        Fail(errno == EBADF || errno == EINVAL ? ERROR_ACCESS_DENIED : ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (auto *file = Find<File>(hObject)) return DestroyObject(file);
    // A change notification is a kernel handle on Windows, so CloseHandle closes it as well.
    if (FindObject(hObject, Object::Change)) return FindCloseChangeNotification(hObject);
    Fail(ERROR_INVALID_HANDLE);
    return FALSE;
}

} // extern "C"
