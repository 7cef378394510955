// Fetching a face's GSUB table through FreeType for the GSUB reader (gsub.cpp).
#include <cstdlib>

#include <freetype/tttables.h>

#include "font.h"

void load_gsub_features(Sized_Font *font) {
    const FT_ULong GSUB_TAG = make_tag("GSUB");
    FT_ULong length = 0;
    if (FT_Load_Sfnt_Table(font->face, GSUB_TAG, 0, nullptr, &length) != 0 || length == 0) return;

    u8 *table = (u8 *)malloc(length);
    if (!table) return;
    if (FT_Load_Sfnt_Table(font->face, GSUB_TAG, 0, table, &length) == 0) {
        read_gsub_table(font, table, (s64)length);
    }
    // Only the expanded features carry data from here on.
    free(table);
}
