// Basic types shared by every module: sized integers, small float vectors and
// explicit-length UTF-8 strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

using s8 = int8_t;
using s16 = int16_t;
using s32 = int32_t;
using s64 = int64_t;
using u8 = uint8_t;
using u16 = uint16_t;
using u32 = uint32_t;
using u64 = uint64_t;
using f32 = float;
using f64 = double;

struct Vector2 {
    f32 x = 0, y = 0;
};

struct Vector4 {
    f32 x = 0, y = 0, z = 0, w = 0;
};

// UTF-8 bytes with an explicit length; not terminated, not owned.
struct String {
    const char *data = nullptr;
    s64 count = 0;

    constexpr String() = default;
    constexpr String(const char *data, s64 count) : data(data), count(count) {}
    constexpr String(const char *c_string)
        : data(c_string), count(c_string ? (s64)std::char_traits<char>::length(c_string) : 0) {}
    constexpr String(std::string_view view) : data(view.data()), count((s64)view.size()) {}

    constexpr std::string_view view() const { return {data, (size_t)count}; }
    constexpr bool empty() const { return count == 0; }
    constexpr char operator[](s64 i) const { return data[i]; }
};

inline bool operator==(String a, String b) { return a.view() == b.view(); }

// A string that also keeps the source location of the call that made it; used by the
// assertion procedures so that they can name their caller without a macro.
#include <source_location>
struct Located_Format {
    const char *text;
    std::source_location location;

    template <typename T>
        requires std::is_convertible_v<const T &, const char *>
    Located_Format(const T &text, std::source_location location = std::source_location::current())
        : text(text), location(location) {}
};
