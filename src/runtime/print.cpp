// The "%" formatter and the string builder behind it.
#include "print.h"

#include <cstdio>
#include <cstdlib>

#include "temporary_storage.h"

String_Builder::~String_Builder() {
    if (data != inline_buffer) free(data);
}

static void reserve(String_Builder *builder, s64 extra) {
    if (builder->count + extra <= builder->capacity) return;
    s64 capacity = builder->capacity * 2;
    while (capacity < builder->count + extra) capacity *= 2;
    char *data = (char *)malloc((size_t)capacity);
    if (!data) abort();
    memcpy(data, builder->data, (size_t)builder->count);
    if (builder->data != builder->inline_buffer) free(builder->data);
    builder->data = data;
    builder->capacity = capacity;
}

void append(String_Builder *builder, String s) {
    if (s.count <= 0) return;
    reserve(builder, s.count);
    memcpy(builder->data + builder->count, s.data, (size_t)s.count);
    builder->count += s.count;
}

void append(String_Builder *builder, char c) { append(builder, String(&c, 1)); }

void append_unsigned(String_Builder *builder, u64 value) {
    char digits[24];
    s64 n = 0;
    do {
        digits[sizeof(digits) - 1 - n++] = (char)('0' + value % 10);
        value /= 10;
    } while (value);
    append(builder, String(digits + sizeof(digits) - n, n));
}

void append_integer(String_Builder *builder, s64 value) {
    if (value < 0) {
        append(builder, '-');
        append_unsigned(builder, 0 - (u64)value);
    } else {
        append_unsigned(builder, (u64)value);
    }
}

void append_hex(String_Builder *builder, u64 value) {
    char digits[16];
    s64 n = 0;
    do {
        digits[sizeof(digits) - 1 - n++] = "0123456789abcdef"[value & 15];
        value >>= 4;
    } while (value);
    append(builder, "0x");
    append(builder, String(digits + sizeof(digits) - n, n));
}

void append_float(String_Builder *builder, f64 value) {
    char text[64];
    int n = snprintf(text, sizeof(text), "%.2f", value);
    if (n <= 0 || n >= (int)sizeof(text)) {
        append(builder, "?");
        return;
    }
    // Two decimals, then the zeros after the point go, and the point if nothing is left.
    if (memchr(text, '.', (size_t)n)) {
        while (n > 0 && text[n - 1] == '0') n--;
        if (n > 0 && text[n - 1] == '.') n--;
    }
    append(builder, String(text, n));
}

static void append_arg(String_Builder *builder, const Print_Arg &arg) {
    switch (arg.kind) {
        case Print_Arg::INTEGER: append_integer(builder, arg.integer); break;
        case Print_Arg::UNSIGNED: append_unsigned(builder, arg.unsigned_integer); break;
        case Print_Arg::FLOAT: append_float(builder, arg.real); break;
        case Print_Arg::STRING: append(builder, arg.string); break;
        case Print_Arg::POINTER:
            if (arg.pointer) append_hex(builder, (u64)(uintptr_t)arg.pointer);
            else append(builder, "null");
            break;
        case Print_Arg::CUSTOM: arg.custom.print(builder, arg.custom.value); break;
    }
}

void format_into(String_Builder *builder, String format, const Print_Arg *args, s64 arg_count) {
    s64 next_arg = 0;
    s64 literal_start = 0;
    for (s64 i = 0; i < format.count; i++) {
        if (format[i] != '%') continue;
        append(builder, String(format.data + literal_start, i - literal_start));

        s64 digits_end = i + 1;
        s64 position = 0;
        while (digits_end < format.count && format[digits_end] >= '0' && format[digits_end] <= '9' && position < 1000) {
            position = position * 10 + (format[digits_end] - '0');
            digits_end++;
        }

        if (digits_end > i + 1) {
            // "%N": the N-th argument; one that does not exist prints as written.
            if (position >= 1 && position <= arg_count) append_arg(builder, args[position - 1]);
            else append(builder, String(format.data + i, digits_end - i));
            i = digits_end - 1;
        } else if (next_arg < arg_count) {
            append_arg(builder, args[next_arg++]);
        } else {
            // More "%" than arguments: keep the sign so the message still reads.
            append(builder, '%');
        }
        literal_start = i + 1;
    }
    append(builder, String(format.data + literal_start, format.count - literal_start));
}

Field_Printer::Field_Printer(String_Builder *builder) : builder(builder) { append(builder, '{'); }
Field_Printer::~Field_Printer() { append(builder, '}'); }

void Field_Printer::begin_field(String name) {
    if (!first) append(builder, ", ");
    first = false;
    append(builder, name);
    append(builder, " = ");
}

String copy_to_temporary(const String_Builder &builder) {
    char *bytes = (char *)talloc(builder.count + 1);
    memcpy(bytes, builder.data, (size_t)builder.count);
    bytes[builder.count] = 0;  // harmless, and handy when a C call wants it
    return {bytes, builder.count};
}

String copy_to_heap(const String_Builder &builder) {
    char *bytes = (char *)malloc((size_t)builder.count + 1);
    if (!bytes) abort();
    memcpy(bytes, builder.data, (size_t)builder.count);
    bytes[builder.count] = 0;
    return {bytes, builder.count};
}
