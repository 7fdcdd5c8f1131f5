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

// Parses one numeric field. Returns 1 when the text is empty (value 65535, the mark of an
// empty field) or holds decimal digits only (value: the number modulo 65536), else 0.
int ParseAddressField(const char *text, uint16_t *value);

// Fills address from text such as "2:5020/1000.3", "5020/1000", "/1000", "1000.3", "1000" or
// ".3". Missing zone, net and node are taken from base; base may be null (then a missing zone
// is 2, and forms that need more from the base fail). The point is never taken from base.
// Returns 1 on success, 0 on failure: malformed text, an empty field, a field reading 65535,
// or a text longer than AddressTextMaxLength characters. On failure the fields stored before
// the failing step keep their values, the others are 0. text is not modified.
int ParseAddress(FtnAddress *address, const char *text, const FtnAddress *base);

// Writes "zone:net/node.point" (always four numbers, point 0 included) into buffer, which must
// hold 44 bytes (callers use AddressTextSize), and returns buffer.
char *FormatAddress(const FtnAddress *address, char *buffer);

#endif
