// Per-thread temporary storage and the UTF-8 / UTF-16 conversions that live in it.
#include "temporary_storage.h"

#include <cstdlib>

#include "assertions.h"

struct Temporary_Overflow_Page {
    Temporary_Overflow_Page *next;
    s64 size;
    s64 occupied;
    // bytes follow, 16-byte aligned
};

static void release_overflow_pages(Temporary_Storage *ts);

// The storage goes back to the heap when its thread ends.
struct Thread_Temporary_Storage {
    Temporary_Storage storage;

    ~Thread_Temporary_Storage() {
        release_overflow_pages(&storage);
        free(storage.data);
        storage = {};
    }
};

static thread_local Thread_Temporary_Storage thread_temporary_storage_owner;

static constexpr s64 ALIGNMENT = 16;
static constexpr s64 PAGE_HEADER_SIZE = (sizeof(Temporary_Overflow_Page) + ALIGNMENT - 1) & ~(ALIGNMENT - 1);

static s64 align_up(s64 value) { return (value + ALIGNMENT - 1) & ~(ALIGNMENT - 1); }

static void *allocate_or_die(s64 size) {
    // malloc gives 16-byte alignment on both 64-bit platforms.
    void *memory = malloc((size_t)align_up(size));
    assert_fatal(memory != nullptr, "Out of memory allocating % bytes of temporary storage.", size);
    return memory;
}

void init_temporary_storage(s64 size) {
    Temporary_Storage *ts = &thread_temporary_storage_owner.storage;
    assert_fatal(ts->data == nullptr, "Temporary storage of this thread is already set up.");
    ts->size = align_up(size > 0 ? size : DEFAULT_TEMPORARY_STORAGE_SIZE);
    ts->data = (u8 *)allocate_or_die(ts->size);
    ts->occupied = 0;
}

Temporary_Storage *get_temporary_storage() {
    Temporary_Storage *ts = &thread_temporary_storage_owner.storage;
    if (!ts->data) init_temporary_storage(DEFAULT_TEMPORARY_STORAGE_SIZE);
    return ts;
}

void *talloc(s64 size) {
    Temporary_Storage *ts = get_temporary_storage();
    size = align_up(size > 0 ? size : 1);

    if (ts->occupied + size <= ts->size) {
        void *result = ts->data + ts->occupied;
        ts->occupied += size;
        return result;
    }

    Temporary_Overflow_Page *page = ts->overflow_pages;
    if (!page || page->occupied + size > page->size) {
        s64 page_size = size > ts->size ? size : ts->size;
        page = (Temporary_Overflow_Page *)allocate_or_die(PAGE_HEADER_SIZE + page_size);
        page->next = ts->overflow_pages;
        page->size = page_size;
        page->occupied = 0;
        ts->overflow_pages = page;
    }
    void *result = (u8 *)page + PAGE_HEADER_SIZE + page->occupied;
    page->occupied += size;
    ts->overflow_bytes += size;
    return result;
}

static void release_overflow_pages(Temporary_Storage *ts) {
    for (Temporary_Overflow_Page *page = ts->overflow_pages; page;) {
        Temporary_Overflow_Page *next = page->next;
        free(page);
        page = next;
    }
    ts->overflow_pages = nullptr;
    ts->overflow_bytes = 0;
}

void reset_temporary_storage() {
    Temporary_Storage *ts = get_temporary_storage();
    if (ts->overflow_pages) {
        s64 wanted = ts->size + ts->overflow_bytes;
        release_overflow_pages(ts);

        free(ts->data);
        ts->size = align_up(wanted);
        ts->data = (u8 *)allocate_or_die(ts->size);
    }
    ts->occupied = 0;
}

// --- conversions ---

const char *temp_c_string(String s) {
    char *result = (char *)talloc(s.count + 1);
    if (s.count) memcpy(result, s.data, (size_t)s.count);
    result[s.count] = 0;
    return result;
}

String temp_copy(String s) {
    char *result = (char *)talloc(s.count);
    if (s.count) memcpy(result, s.data, (size_t)s.count);
    return {result, s.count};
}

// Decodes one UTF-8 sequence at text[*i]; malformed bytes become U+FFFD, one byte each.
// NOTE: stricter than the text module's decoder on purpose. These strings go to the
// system's wide-character calls (file names, window titles): a stray byte must cost only
// itself, never the bytes after it, and nothing beyond U+10FFFF may reach UTF-16. The
// text decoder keeps the drawing rules of the window's text (5- and 6-byte leads, no
// continuation checks), where a glyph per announced sequence is what is wanted.
static u32 next_code_point(String text, s64 *i) {
    u8 c = (u8)text.data[*i];
    s64 length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || *i + length > text.count) {
        *i += 1;
        return 0xFFFD;
    }
    u32 code_point = length == 1 ? c : (u32)(c & (0x7F >> length));
    for (s64 k = 1; k < length; k++) {
        u8 continuation = (u8)text.data[*i + k];
        if ((continuation & 0xC0) != 0x80) {
            *i += 1;
            return 0xFFFD;
        }
        code_point = (code_point << 6) | (continuation & 0x3F);
    }
    // Beyond the last code point there is no UTF-16 form (a lead of 0xF4 and more can
    // announce one); the surrogate arithmetic would make units that are no surrogates.
    if (code_point > 0x10FFFF) {
        *i += 1;
        return 0xFFFD;
    }
    *i += length;
    return code_point;
}

const u16 *temp_utf16(String s) {
    // Each byte yields at most one UTF-16 unit (4-byte sequences yield two units).
    u16 *result = (u16 *)talloc((s.count + 1) * 2);
    s64 out = 0;
    for (s64 i = 0; i < s.count;) {
        u32 cp = next_code_point(s, &i);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            result[out++] = (u16)(0xD800 + (cp >> 10));
            result[out++] = (u16)(0xDC00 + (cp & 0x3FF));
        } else {
            result[out++] = (u16)cp;
        }
    }
    result[out] = 0;
    return result;
}

String temp_utf8_from_utf16(const u16 *text, s64 count) {
    if (count < 0) {
        count = 0;
        while (text[count]) count++;
    }
    char *result = (char *)talloc(count * 3 + 1);
    s64 out = 0;
    for (s64 i = 0; i < count; i++) {
        u32 cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < count && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            i++;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            result[out++] = (char)cp;
        } else if (cp < 0x800) {
            result[out++] = (char)(0xC0 | (cp >> 6));
            result[out++] = (char)(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            result[out++] = (char)(0xE0 | (cp >> 12));
            result[out++] = (char)(0x80 | ((cp >> 6) & 0x3F));
            result[out++] = (char)(0x80 | (cp & 0x3F));
        } else {
            result[out++] = (char)(0xF0 | (cp >> 18));
            result[out++] = (char)(0x80 | ((cp >> 12) & 0x3F));
            result[out++] = (char)(0x80 | ((cp >> 6) & 0x3F));
            result[out++] = (char)(0x80 | (cp & 0x3F));
        }
    }
    result[out] = 0;
    return {result, out};
}
