#include "bso/address.h"

#include <stdio.h>
#include <string.h>

int ParseAddressField(const char *Text, uint32_t *Value) {
    *Value = 0;
    if (*Text == '\0') {
        *Value = EmptyAddressField;
        return 1;
    }
    const char *position = Text;
    while (*position >= '0' && *position <= '9') {
        // A number that wrapped would name another link (2:5020/65636 is not 2:5020/100).
        *Value = *Value * 10 + static_cast<uint32_t>(*position - '0');
        if (*Value > AddressFieldMax) return 0;
        ++position;
    }
    return *position == '\0';
}

// A field that must be present: digits only and not empty.
static int ParseRequiredField(const char *Text, uint32_t *Field) {
    uint32_t value;
    if (!ParseAddressField(Text, &value) || value == EmptyAddressField) return 0;
    *Field = value;
    return 1;
}

int ParseAddress(FtnAddress *Address, const char *Text, const FtnAddress *Base) {
    // The base may be the very record being filled.
    FtnAddress baseCopy;
    if (Base != nullptr) {
        baseCopy = *Base;
        Base = &baseCopy;
    }
    Address->zone = Address->net = Address->node = Address->point = 0;
    if (Text == nullptr) return 0;
    // A longer text cut to fit could read as another, valid address.
    size_t length = strlen(Text);
    if (length > static_cast<size_t>(AddressTextMaxLength)) return 0;
    char copy[AddressTextSize];
    memcpy(copy, Text, length + 1);

    bool hasPoint = false;
    if (char *dot = strchr(copy, '.')) {
        *dot = '\0';
        if (!ParseRequiredField(dot + 1, &Address->point)) return 0;
        hasPoint = true;
    }

    if (char *slash = strchr(copy, '/')) {
        *slash = '\0';
        if (!ParseRequiredField(slash + 1, &Address->node)) return 0;
        if (char *colon = strchr(copy, ':')) {
            *colon = '\0';
            if (!ParseRequiredField(colon + 1, &Address->net)) return 0;
            return ParseRequiredField(copy, &Address->zone);
        }
        uint32_t net;
        if (!ParseAddressField(copy, &net)) return 0;
        if (net == EmptyAddressField) {
            if (Base == nullptr) return 0;
            Address->net = Base->net;
        } else {
            Address->net = net;
        }
        Address->zone = Base != nullptr ? Base->zone : 2;
        return 1;
    }

    if (Base == nullptr) return 0;
    uint32_t node;
    if (!ParseAddressField(copy, &node)) return 0;
    if (node != EmptyAddressField) {
        Address->node = node;
        Address->zone = Base->zone;
        Address->net = Base->net;
        return 1;
    }
    if (!hasPoint) return 0;
    Address->zone = Base->zone;
    Address->net = Base->net;
    Address->node = Base->node;
    return 1;
}

char *FormatAddress(const FtnAddress *Address, char *Buffer) {
    snprintf(Buffer, 44, "%u:%u/%u.%u", static_cast<unsigned>(Address->zone),
             static_cast<unsigned>(Address->net), static_cast<unsigned>(Address->node),
             static_cast<unsigned>(Address->point));
    return Buffer;
}
