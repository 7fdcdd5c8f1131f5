#include "bso/address.h"

#include <stdio.h>
#include <string.h>

int ParseAddressField(const char *text, uint32_t *value) {
    *value = 0;
    if (*text == '\0') {
        *value = EmptyAddressField;
        return 1;
    }
    const char *position = text;
    while (*position >= '0' && *position <= '9') {
        // A number that wrapped would name another link (2:5020/65636 is not 2:5020/100).
        *value = *value * 10 + static_cast<uint32_t>(*position - '0');
        if (*value > AddressFieldMax) return 0;
        ++position;
    }
    return *position == '\0';
}

// A field that must be present: digits only and not empty.
static int ParseRequiredField(const char *text, uint32_t *field) {
    uint32_t value;
    if (!ParseAddressField(text, &value) || value == EmptyAddressField) return 0;
    *field = value;
    return 1;
}

int ParseAddress(FtnAddress *address, const char *text, const FtnAddress *base) {
    // The base may be the very record being filled.
    FtnAddress baseCopy;
    if (base != nullptr) {
        baseCopy = *base;
        base = &baseCopy;
    }
    address->zone = address->net = address->node = address->point = 0;
    if (text == nullptr) return 0;
    // A longer text cut to fit could read as another, valid address.
    size_t length = strlen(text);
    if (length > static_cast<size_t>(AddressTextMaxLength)) return 0;
    char copy[AddressTextSize];
    memcpy(copy, text, length + 1);

    bool hasPoint = false;
    if (char *dot = strchr(copy, '.')) {
        *dot = '\0';
        if (!ParseRequiredField(dot + 1, &address->point)) return 0;
        hasPoint = true;
    }

    if (char *slash = strchr(copy, '/')) {
        *slash = '\0';
        if (!ParseRequiredField(slash + 1, &address->node)) return 0;
        if (char *colon = strchr(copy, ':')) {
            *colon = '\0';
            if (!ParseRequiredField(colon + 1, &address->net)) return 0;
            return ParseRequiredField(copy, &address->zone);
        }
        uint32_t net;
        if (!ParseAddressField(copy, &net)) return 0;
        if (net == EmptyAddressField) {
            if (base == nullptr) return 0;
            address->net = base->net;
        } else {
            address->net = net;
        }
        address->zone = base != nullptr ? base->zone : 2;
        return 1;
    }

    if (base == nullptr) return 0;
    uint32_t node;
    if (!ParseAddressField(copy, &node)) return 0;
    if (node != EmptyAddressField) {
        address->node = node;
        address->zone = base->zone;
        address->net = base->net;
        return 1;
    }
    if (!hasPoint) return 0;
    address->zone = base->zone;
    address->net = base->net;
    address->node = base->node;
    return 1;
}

char *FormatAddress(const FtnAddress *address, char *buffer) {
    snprintf(buffer, 44, "%u:%u/%u.%u", static_cast<unsigned>(address->zone),
             static_cast<unsigned>(address->net), static_cast<unsigned>(address->node),
             static_cast<unsigned>(address->point));
    return buffer;
}
