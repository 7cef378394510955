// The glyph cache's hash map (see Glyph_Map in font.h).
#include <cstdlib>

#include "assertions.h"
#include "font.h"

static void insert_slot(Glyph_Map::Slot *slots, s64 capacity, u64 key, Glyph_Data *value) {
    u64 mask = (u64)capacity - 1;
    u64 i = glyph_map_hash(key) & mask;
    while (slots[i].value && slots[i].key != key) i = (i + 1) & mask;
    slots[i].key = key;
    slots[i].value = value;
}

void glyph_map_add(Glyph_Map *map, u64 key, Glyph_Data *value) {
    assert_fatal(value != nullptr, "glyph_map_add: null glyph for key %.", key);
    // Kept at most half full so that probes stay short.
    if ((map->count + 1) * 2 > map->capacity) {
        s64 capacity = map->capacity ? map->capacity * 2 : 64;
        auto *slots = (Glyph_Map::Slot *)calloc((size_t)capacity, sizeof(Glyph_Map::Slot));
        assert_fatal(slots != nullptr, "Out of memory: glyph map of % slots.", capacity);
        for (s64 i = 0; i < map->capacity; i++) {
            if (map->slots[i].value) insert_slot(slots, capacity, map->slots[i].key, map->slots[i].value);
        }
        free(map->slots);
        map->slots = slots;
        map->capacity = capacity;
    }
    if (!glyph_map_find(map, key)) map->count++;
    insert_slot(map->slots, map->capacity, key, value);
}
