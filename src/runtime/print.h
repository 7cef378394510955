// Formatted printing: "%" takes the next argument, "%N" the N-th (from 1). Integers print
// in decimal, strings as they are, enum values as member names, records as their fields,
// floats with two decimals and trailing zeros removed. Surplus arguments are not printed.
#pragma once

#include <concepts>
#include <string>
#include <type_traits>

#include "types.h"

// Output buffer of the formatter: a stack buffer that spills to the heap when needed.
struct String_Builder {
    char *data;
    s64 count = 0;
    s64 capacity;
    char inline_buffer[512];

    String_Builder() : data(inline_buffer), capacity(sizeof(inline_buffer)) {}
    ~String_Builder();
    String_Builder(const String_Builder &) = delete;
    String_Builder &operator=(const String_Builder &) = delete;

    String string() const { return {data, count}; }
};

void append(String_Builder *builder, String s);
void append(String_Builder *builder, char c);
void append_integer(String_Builder *builder, s64 value);
void append_unsigned(String_Builder *builder, u64 value);
void append_float(String_Builder *builder, f64 value);  // two decimals, trimmed
void append_hex(String_Builder *builder, u64 value);

// One argument, erased to what the formatter needs.
struct Print_Arg {
    enum Kind { INTEGER, UNSIGNED, FLOAT, STRING, POINTER, CUSTOM };
    Kind kind = INTEGER;
    union {
        s64 integer;
        u64 unsigned_integer;
        f64 real;
        String string;
        const void *pointer;
        struct {
            const void *value;
            void (*print)(String_Builder *, const void *);
        } custom;
    };

    Print_Arg() : integer(0) {}
};

// Enum values print as their member names when an `enum_member_name(E)` returning a
// String (or const char *) is found for the type; otherwise as their number.
// Records print as their fields through a `print_fields(String_Builder *, const T &)`.
template <typename T>
concept Has_Member_Names = requires(T value) { String(enum_member_name(value)); };
template <typename T>
concept Has_Print_Fields = requires(String_Builder *builder, const T &value) { print_fields(builder, value); };

template <typename T>
Print_Arg make_print_arg(const T &value) {
    Print_Arg arg;
    using U = std::remove_cvref_t<T>;
    if constexpr (std::is_same_v<U, bool>) {
        arg.kind = Print_Arg::STRING;
        arg.string = value ? String("true") : String("false");
    } else if constexpr (std::is_same_v<U, char>) {
        arg.kind = Print_Arg::STRING;
        arg.string = String(&value, 1);
    } else if constexpr (std::is_integral_v<U> && std::is_signed_v<U>) {
        arg.kind = Print_Arg::INTEGER;
        arg.integer = (s64)value;
    } else if constexpr (std::is_integral_v<U>) {
        arg.kind = Print_Arg::UNSIGNED;
        arg.unsigned_integer = (u64)value;
    } else if constexpr (std::is_floating_point_v<U>) {
        arg.kind = Print_Arg::FLOAT;
        arg.real = (f64)value;
    } else if constexpr (std::is_convertible_v<const U &, String> && !std::is_pointer_v<U>) {
        arg.kind = Print_Arg::STRING;
        arg.string = String(value);
    } else if constexpr (std::is_same_v<U, std::string>) {
        arg.kind = Print_Arg::STRING;
        arg.string = String(value.data(), (s64)value.size());
    } else if constexpr (std::is_same_v<std::decay_t<U>, const char *> || std::is_same_v<std::decay_t<U>, char *>) {
        arg.kind = Print_Arg::STRING;
        arg.string = value ? String(value) : String("(null)");
    } else if constexpr (std::is_enum_v<U>) {
        if constexpr (Has_Member_Names<U>) {
            arg.kind = Print_Arg::STRING;
            arg.string = String(enum_member_name(value));
        } else {
            arg.kind = Print_Arg::INTEGER;
            arg.integer = (s64)value;
        }
    } else if constexpr (std::is_pointer_v<U> || std::is_null_pointer_v<U>) {
        arg.kind = Print_Arg::POINTER;
        arg.pointer = (const void *)value;
    } else {
        static_assert(Has_Print_Fields<U>, "No way to print this type: give it print_fields()");
        arg.kind = Print_Arg::CUSTOM;
        arg.custom.value = &value;
        arg.custom.print = [](String_Builder *builder, const void *v) { print_fields(builder, *(const U *)v); };
    }
    return arg;
}

void format_into(String_Builder *builder, String format, const Print_Arg *args, s64 arg_count);

template <typename... Args>
void print_to_builder(String_Builder *builder, String format, const Args &...args) {
    Print_Arg list[sizeof...(Args) + 1] = {make_print_arg(args)...};
    format_into(builder, format, list, (s64)sizeof...(Args));
}

// Helper for print_fields: appends "{name = value, name = value}".
struct Field_Printer {
    String_Builder *builder;
    bool first = true;

    explicit Field_Printer(String_Builder *builder);
    ~Field_Printer();
    template <typename T>
    Field_Printer &field(String name, const T &value) {
        Print_Arg arg = make_print_arg(value);
        begin_field(name);
        format_into(builder, "%", &arg, 1);
        return *this;
    }
    void begin_field(String name);
};

// --- formatting into memory ---

String copy_to_temporary(const String_Builder &builder);
String copy_to_heap(const String_Builder &builder);

// Into the calling thread's temporary storage.
template <typename... Args>
String tprint(String format, const Args &...args) {
    String_Builder builder;
    print_to_builder(&builder, format, args...);
    return copy_to_temporary(builder);
}

// Into the heap; the caller owns the bytes (free()).
template <typename... Args>
String sprint(String format, const Args &...args) {
    String_Builder builder;
    print_to_builder(&builder, format, args...);
    return copy_to_heap(builder);
}
