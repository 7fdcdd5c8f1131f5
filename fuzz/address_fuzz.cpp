// ParseAddress and FormatAddress on arbitrary texts and records.
//
// Input: byte 0 chooses whether a base is given (odd: yes), bytes 1 to 16 are the base's four
// fields (little-endian, missing bytes 0) when it is, the rest is the text (up to a NUL, as a C
// string). Checked:
// - the result agrees with a model written from the address grammar: "Z:N/D", "N/D", "D",
//   each with an optional ".P"; a field above 65535 is refused, never wrapped; a missing net,
//   a missing node (with a point) and all of zone and net come from the base; no base gives
//   zone 2;
// - the text is neither changed nor read past its end; a base that is the record being filled
//   gives the same result;
// - FormatAddress writes "%u:%u/%u.%u" within 44 bytes, and its text parses back without a base
//   to the same record, failing exactly when a field is above 65535 (also for records that no
//   parse could give, such as points from file names).
#include "fuzz_support.h"

#include "bso/address.h"

#include <stdio.h>
#include <string.h>

#include <string>

namespace {

struct Field {
    bool present = false; // the grammar has the field's place in the text
    bool digits = true;   // only decimal digits making a number up to 65535
    bool empty = false;
    uint32_t value = 0;
    bool Empty() const { return empty; }
};

Field ReadField(const std::string &text) {
    Field field;
    field.present = true;
    if (text.empty()) {
        field.empty = true;
        return field;
    }
    unsigned long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            field.digits = false;
            return field;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 65535) {
            field.digits = false;
            return field;
        }
    }
    field.value = static_cast<uint32_t>(value);
    return field;
}

// The expected result of ParseAddress, from the grammar rather than the parse steps.
bool ModelParse(const std::string &text, const FtnAddress *base, FtnAddress *out) {
    *out = FtnAddress{0, 0, 0, 0};
    if (text.size() > static_cast<size_t>(AddressTextMaxLength)) return false;
    for (char c : text)
        if (!(c >= '0' && c <= '9') && c != ':' && c != '/' && c != '.') return false;
    std::string head = text;
    size_t dot = text.find('.');
    if (dot != std::string::npos) {
        Field point = ReadField(text.substr(dot + 1)); // a second dot, a slash or colon: refused
        if (!point.digits || point.Empty()) return false;
        out->point = point.value;
        head = text.substr(0, dot);
    }
    size_t slash = head.find('/');
    if (slash != std::string::npos) {
        Field node = ReadField(head.substr(slash + 1));
        if (!node.digits || node.Empty()) return false;
        std::string left = head.substr(0, slash);
        size_t colon = left.find(':');
        if (colon != std::string::npos) { // "Z:N/D": complete, needs no base
            Field zone = ReadField(left.substr(0, colon));
            Field net = ReadField(left.substr(colon + 1));
            if (!zone.digits || zone.Empty() || !net.digits || net.Empty()) return false;
            *out = FtnAddress{zone.value, net.value, node.value, out->point};
            return true;
        }
        Field net = ReadField(left); // "N/D": an empty net comes from the base
        if (!net.digits || (net.Empty() && base == nullptr)) return false;
        out->zone = base != nullptr ? base->zone : 2;
        out->net = net.Empty() ? base->net : net.value;
        out->node = node.value;
        return true;
    }
    // "D" or ".P": everything else from the base.
    if (base == nullptr) return false;
    Field node = ReadField(head);
    if (!node.digits) return false;
    if (node.Empty() && dot == std::string::npos) return false;
    out->zone = base->zone;
    out->net = base->net;
    out->node = node.Empty() ? base->node : node.value;
    return true;
}

std::string Describe(const FtnAddress &a) {
    char text[96];
    snprintf(text, sizeof text, "%u:%u/%u.%u", a.zone, a.net, a.node, a.point);
    return text;
}

bool Same(const FtnAddress &a, const FtnAddress &b) {
    return a.zone == b.zone && a.net == b.net && a.node == b.node && a.point == b.point;
}

uint32_t ReadWord(const uint8_t *bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// FormatAddress within its 44 bytes, then the text parsed back without a base.
void CheckFormatRoundTrip(const FtnAddress &address) {
    char buffer[AddressTextSize];
    memset(buffer, 0x5A, sizeof buffer);
    char *result = FormatAddress(&address, buffer);
    FUZZ_CHECK(result == buffer, Describe(address));
    for (size_t i = 44; i < sizeof buffer; ++i)
        FUZZ_CHECK(buffer[i] == 0x5A, "written past 44 bytes: " + Describe(address));
    FUZZ_CHECK(std::string(buffer) == Describe(address), "formatted " + Printable(buffer));

    FtnAddress parsed;
    int ok = ParseAddress(&parsed, buffer, nullptr);
    bool anyTooLarge = address.zone > 65535 || address.net > 65535 || address.node > 65535 ||
                       address.point > 65535;
    FUZZ_CHECK(ok == !anyTooLarge, "round trip of " + Describe(address));
    if (ok)
        FUZZ_CHECK(Same(parsed, address), Describe(address) + " came back as " + Describe(parsed));
}

void CheckParse(const std::string &text, const FtnAddress *base) {
    // An exactly sized heap copy: a read past the terminator is an ASan report.
    char *copy = new char[text.size() + 1];
    memcpy(copy, text.c_str(), text.size() + 1);
    FtnAddress address;
    memset(&address, 0xA5, sizeof address);
    int ok = ParseAddress(&address, copy, base);
    FUZZ_CHECK(memcmp(copy, text.c_str(), text.size() + 1) == 0,
               "text changed: " + Printable(text));
    delete[] copy;

    std::string note = "text \"" + Printable(text) + "\" base " + (base ? Describe(*base) : "none");
    FtnAddress expected;
    bool expectedOk = ModelParse(text, base, &expected);
    FUZZ_CHECK(ok == 0 || ok == 1, note);
    FUZZ_CHECK(ok == static_cast<int>(expectedOk), note + ": result " + std::to_string(ok));
    if (ok) {
        FUZZ_CHECK(Same(address, expected),
                   note + ": got " + Describe(address) + ", expected " + Describe(expected));
        CheckFormatRoundTrip(address);
    } else {
        // Failure: the zone is stored last of all, so it is never set; what was stored is a
        // parsed field and so at most 65535.
        FUZZ_CHECK(address.zone == 0, note + ": zone set on failure");
        FUZZ_CHECK(address.net <= 65535 && address.node <= 65535 && address.point <= 65535,
                   note + ": left " + Describe(address));
    }

    if (base != nullptr) {
        // The base may be the record being filled.
        FtnAddress same = *base;
        int sameOk = ParseAddress(&same, text.c_str(), &same);
        FUZZ_CHECK(sameOk == ok, note + ": base aliased the result");
        if (ok) FUZZ_CHECK(Same(same, address), note + ": aliased base gave " + Describe(same));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    bool withBase = (data[0] & 1) != 0;
    const uint8_t *rest = data + 1;
    size_t restSize = size - 1;
    FtnAddress base{0, 0, 0, 0};
    if (withBase) {
        uint8_t baseBytes[16] = {};
        size_t taken = restSize < sizeof baseBytes ? restSize : sizeof baseBytes;
        memcpy(baseBytes, rest, taken);
        base = FtnAddress{ReadWord(baseBytes), ReadWord(baseBytes + 4), ReadWord(baseBytes + 8),
                          ReadWord(baseBytes + 12)};
        rest += taken;
        restSize -= taken;
        CheckFormatRoundTrip(base);
    }
    std::string text(reinterpret_cast<const char *>(rest), restSize);
    text = text.c_str(); // what a C caller passes: up to the first NUL
    CheckParse(text, withBase ? &base : nullptr);
    if (withBase) CheckParse(text, nullptr);
    return 0;
}
