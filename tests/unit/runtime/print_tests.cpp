// The "%" formatter: one table of formats and arguments against the expected text.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "print.h"
#include "temporary_storage.h"

enum class Fruit { APPLE, PEAR, PLUM };
static const char *enum_member_name(Fruit fruit) {
    switch (fruit) {
        case Fruit::APPLE: return "APPLE";
        case Fruit::PEAR: return "PEAR";
        case Fruit::PLUM: return "PLUM";
    }
    return "?";
}

enum Unnamed_Flag { UNNAMED_A = 7 };

struct Point_Record {
    s32 x;
    s32 y;
    String label;
};
static void print_fields(String_Builder *builder, const Point_Record &p) {
    Field_Printer(builder).field("x", p.x).field("y", p.y).field("label", p.label);
}

struct Format_Case {
    const char *name;
    std::function<String()> format;
    const char *expected;
};

TEST(Print, FormatsEveryKindOfArgument) {
    const Format_Case cases[] = {
        {"plain text", [] { return tprint("no arguments"); }, "no arguments"},
        {"next argument", [] { return tprint("a % b %", 1, "two"); }, "a 1 b two"},
        {"positional", [] { return tprint("%2 then %1", "first", "second"); }, "second then first"},
        {"positional repeats", [] { return tprint("%1-%1", 5); }, "5-5"},
        {"positional past the end", [] { return tprint("%3!", 1); }, "%3!"},
        {"negative and large", [] { return tprint("% %", (s64)-42, (u64)18446744073709551615ull); }, "-42 18446744073709551615"},
        {"float trims one zero", [] { return tprint("%", 1.5f); }, "1.5"},
        {"float trims the point", [] { return tprint("%", 2.0); }, "2"},
        {"float zero", [] { return tprint("%", 0.0f); }, "0"},
        {"float rounds to two digits", [] { return tprint("%", 1.256); }, "1.26"},
        {"float keeps inner zero", [] { return tprint("%", 10.05); }, "10.05"},
        {"mebibytes suffix", [] { return tprint("%mb", 1572864.0f / 1048576.0f); }, "1.5mb"},
        {"enum by name", [] { return tprint("% and %", Fruit::PEAR, Fruit::PLUM); }, "PEAR and PLUM"},
        {"enum without names", [] { return tprint("%", UNNAMED_A); }, "7"},
        {"record by fields", [] { return tprint("%", Point_Record{3, -4, "here"}); }, "{x = 3, y = -4, label = here}"},
        {"surplus arguments", [] { return tprint("only %", 1, 2, 3); }, "only 1"},
        {"percent at the end", [] { return tprint("100%", 7); }, "1007"},
        {"percent at the end, no argument", [] { return tprint("100%"); }, "100%"},
        {"more percents than arguments", [] { return tprint("% %", "x"); }, "x %"},
        {"string with explicit length", [] { return tprint("[%]", String("abcdef", 3)); }, "[abc]"},
        {"bool", [] { return tprint("% %", true, false); }, "true false"},
        {"null pointer", [] { return tprint("%", (void *)nullptr); }, "null"},
    };
    for (const Format_Case &c : cases) {
        String result = c.format();
        EXPECT_EQ(std::string(result.data, (size_t)result.count), c.expected) << c.name;
    }
    reset_temporary_storage();
}

TEST(Print, LongOutputSpillsPastTheInlineBuffer) {
    std::string long_text(5000, 'q');
    String result = tprint("<%>", long_text.c_str());
    ASSERT_EQ(result.count, 5002);
    EXPECT_EQ(result.data[0], '<');
    EXPECT_EQ(result.data[5001], '>');
    reset_temporary_storage();
}
