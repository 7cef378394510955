// libFuzzer target: arbitrary bytes as a font's GSUB table. The reader must never read
// outside them, must not hang or blow up memory, and a table it rejects leaves no
// features behind.
#include <cstdlib>

#include "font.h"

// The font record's destructor gives its glyph pool back; the GSUB reader never takes
// from it, so the fuzzer needs none of the runtime's pools.
void pool_release(Pool *) {}

extern "C" int LLVMFuzzerTestOneInput(const u8 *data, size_t size) {
    Sized_Font font;
    bool ok = read_gsub_table(&font, data, (s64)size);
    if (!ok && (!font.features.empty() || font.small_caps_feature || font.lining_figures_feature)) abort();

    // Look every small glyph index and every index the table mentions up in both features.
    const Gsub_Feature *features[] = {font.small_caps_feature, font.lining_figures_feature};
    for (const Gsub_Feature *feature : features) {
        if (!feature) continue;
        for (u32 g = 0; g < 300; g++) {
            s64 s = substitute_glyph_index(feature, g);
            if (s < -1 || s > 0xFFFF) abort();
        }
        for (size_t i = 0; i + 1 < size && i < 4096; i += 2) {
            substitute_glyph_index(feature, (u32)((data[i] << 8) | data[i + 1]));
        }
    }
    return 0;
}
