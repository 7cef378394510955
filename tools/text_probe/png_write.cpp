// PNG writing for the probes' screenshots (see png_write.h).
#include "png_write.h"

#include <vector>

#include "os.h"

static u32 crc32_of(const u8 *data, size_t count, u32 crc = 0) {
    static u32 table[256];
    static bool table_made = false;
    if (!table_made) {
        for (u32 n = 0; n < 256; n++) {
            u32 c = n;
            for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[n] = c;
        }
        table_made = true;
    }
    crc = ~crc;
    for (size_t i = 0; i < count; i++) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

static void put_be32(std::vector<u8> *out, u32 v) {
    out->push_back((u8)(v >> 24));
    out->push_back((u8)(v >> 16));
    out->push_back((u8)(v >> 8));
    out->push_back((u8)v);
}

static void put_chunk(std::vector<u8> *out, const char *type, const std::vector<u8> &data) {
    put_be32(out, (u32)data.size());
    size_t start = out->size();
    out->insert(out->end(), type, type + 4);
    out->insert(out->end(), data.begin(), data.end());
    put_be32(out, crc32_of(out->data() + start, out->size() - start));
}

bool write_png_rgb(String file_name, const u8 *rgb, s32 width, s32 height) {
    // Scanlines, each with filter byte 0.
    std::vector<u8> raw;
    raw.reserve((size_t)height * ((size_t)width * 3 + 1));
    for (s32 y = 0; y < height; y++) {
        raw.push_back(0);
        raw.insert(raw.end(), rgb + (size_t)y * width * 3, rgb + (size_t)(y + 1) * width * 3);
    }

    // zlib stream of stored blocks (at most 65535 bytes each) with its Adler-32.
    std::vector<u8> z = {0x78, 0x01};
    for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
        size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
        bool last = at + n >= raw.size();
        z.push_back(last ? 1 : 0);
        z.push_back((u8)n);
        z.push_back((u8)(n >> 8));
        z.push_back((u8)~n);
        z.push_back((u8)(~n >> 8));
        z.insert(z.end(), raw.begin() + (std::ptrdiff_t)at, raw.begin() + (std::ptrdiff_t)(at + n));
        if (last) break;
    }
    u32 a = 1, b = 0;
    for (u8 byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    put_be32(&z, (b << 16) | a);

    std::vector<u8> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    std::vector<u8> header;
    put_be32(&header, (u32)width);
    put_be32(&header, (u32)height);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB, no interlace
    put_chunk(&png, "IHDR", header);
    put_chunk(&png, "IDAT", z);
    put_chunk(&png, "IEND", {});
    return write_entire_file(file_name, String((const char *)png.data(), (s64)png.size()));
}
