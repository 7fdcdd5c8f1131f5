// The one growable array: a caller's Items pointer with its Count and Capacity, the room doubling
// as items come, so that no count caps what an outbound holds.
#ifndef BSOPANEL_COMMON_GROW_ARRAY_H
#define BSOPANEL_COMMON_GROW_ARRAY_H

#include <stddef.h>

// True when *Items (ItemSize bytes each, room for *Capacity) has room for Needed items: grown by
// doubling, from First, when it had not. False when memory ran out or the size would overflow;
// the items and *Capacity are then as they were.
bool GrowArrayTo(void **Items, size_t ItemSize, int *Capacity, int Needed, int First);

// True when *Block (room for *Room bytes) has room for Needed bytes: grown by doubling, from
// First, when it had not. False when memory ran out or the size would overflow; the block and
// *Room are then as they were.
bool GrowBytes(char **Block, size_t *Room, size_t Needed, size_t First);

// True when there is room for one more item behind the Count there are.
template <typename Item>
inline bool RoomForOneMore(Item **Items, int Count, int *Capacity, int First = 16) {
    if (Count < *Capacity) return true;
    void *items = *Items;
    if (!GrowArrayTo(&items, sizeof(Item), Capacity, Count + 1, First)) return false;
    *Items = static_cast<Item *>(items);
    return true;
}

#endif
