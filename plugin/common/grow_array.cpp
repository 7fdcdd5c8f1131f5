#include "common/grow_array.h"

#include <limits.h>
#include <stdint.h>
#include <stdlib.h>

bool GrowArrayTo(void **Items, size_t ItemSize, int *Capacity, int Needed, int First) {
    if (Needed <= *Capacity) return true;
    if (Needed < 0 || First < 1) return false;
    int capacity = *Capacity > 0 ? *Capacity : First;
    while (capacity < Needed) {
        if (capacity > INT_MAX / 2) {
            capacity = Needed;
            break;
        }
        capacity *= 2;
    }
    if (static_cast<size_t>(capacity) > SIZE_MAX / ItemSize) return false;
    void *grown = realloc(*Items, ItemSize * static_cast<size_t>(capacity));
    if (grown == nullptr) return false;
    *Items = grown;
    *Capacity = capacity;
    return true;
}

bool GrowBytes(char **Block, size_t *Room, size_t Needed, size_t First) {
    if (Needed <= *Room) return true;
    size_t room = *Room ? *Room : (First ? First : 1);
    while (room < Needed) {
        if (room > SIZE_MAX / 2) return false;
        room *= 2;
    }
    char *grown = static_cast<char *>(realloc(*Block, room));
    if (!grown) return false;
    *Block = grown;
    *Room = room;
    return true;
}
