// FTN addresses (zone:net/node.point): the one place where address text is read and written.
// Pure functions on the caller's data.
#ifndef BSOPANEL_BSO_ADDRESS_H
#define BSOPANEL_BSO_ADDRESS_H

#include <stdint.h>

struct FtnAddress {
    uint32_t zone;
    uint32_t net;
    uint32_t node;
    uint32_t point; // 0: the node itself
};

// Size of the address text buffers that callers use. FormatAddress needs 44 bytes of it.
const int AddressTextSize = 64;
// Longest text that ParseAddress accepts; a longer one fails.
const int AddressTextMaxLength = AddressTextSize - 1;

// The largest number an address part may have: a number never wraps into another address.
const uint32_t AddressFieldMax = 65535;
// The value ParseAddressField gives an empty field: above every number it accepts.
const uint32_t EmptyAddressField = 0xFFFFFFFFu;

// Parses one numeric field. Returns 1 when the text is empty (value EmptyAddressField) or holds
// decimal digits only making a number up to AddressFieldMax (value: that number), else 0 (a
// larger number leaves a value above AddressFieldMax).
int ParseAddressField(const char *Text, uint32_t *Value);

// Fills address from text such as "2:5020/1000.3", "5020/1000", "/1000", "1000.3", "1000" or
// ".3". Missing zone, net and node are taken from base; base may be null (then a missing zone
// is 2, and forms that need more from the base fail). The point is never taken from base.
// Returns 1 on success, 0 on failure: malformed text, an empty field, a field above 65535, or
// a text longer than AddressTextMaxLength characters. On failure the fields stored before
// the failing step keep their values, the others are 0. text is not modified.
int ParseAddress(FtnAddress *Address, const char *Text, const FtnAddress *Base);

// Writes "zone:net/node.point" (always four numbers, point 0 included) into buffer, which must
// hold 44 bytes (callers use AddressTextSize), and returns buffer.
char *FormatAddress(const FtnAddress *Address, char *Buffer);

#endif
