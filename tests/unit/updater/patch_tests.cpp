// Applying zstd patches made by the zstd tool (fixtures in tests/fixtures/patch, and on
// Linux larger ones made here by the tool): byte-exact results however the patch
// arrives, decoded in place or into a sink, and every patch we must not use refused with
// its reason and without a byte past the expected size reaching the sink or the memory
// past the result. Also the patch's name.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "os.h"
#include "patch.h"

namespace {

std::string fixture(const char *name) {
    std::string path = std::string(KORVANE_FIXTURES_DIR "/patch/") + name;
    File_Contents contents = read_entire_file(String(path.c_str()));
    EXPECT_TRUE(contents.success) << path;
    std::string bytes(contents.data.view());
    free((void *)contents.data.data);
    return bytes;
}

struct Collected {
    std::string bytes;
    s64 pieces = 0;
    s64 largest_piece = 0;
    s64 refuse_after = -1;  // the sink says no once it holds at least this much
};

bool collect(void *context, String piece) {
    Collected *collected = (Collected *)context;
    if (collected->refuse_after >= 0 && (s64)collected->bytes.size() >= collected->refuse_after) return false;
    collected->bytes.append(piece.data, (size_t)piece.count);
    collected->pieces++;
    if (piece.count > collected->largest_piece) collected->largest_piece = piece.count;
    return true;
}

struct Applied {
    bool fed = false;       // every patch_feed returned true
    bool finished = false;  // patch_finish returned true
    std::string reason;
    Collected result;       // in place: the bytes decoded, as one piece
};

enum Output { INTO_SINK, IN_PLACE };
constexpr Output OUTPUTS[] = {INTO_SINK, IN_PLACE};
const char *output_name(Output output) { return output == IN_PLACE ? "in place" : "into a sink"; }

// In place: the result's room, then a fence of bytes that must stay as they are.
struct Room {
    static constexpr size_t FENCE = 64;
    std::string bytes;
    explicit Room(s64 expected) : bytes((size_t)std::max<s64>(expected, 0) + FENCE, '\xA5') {}
    bool fence_intact() const {
        return bytes.compare(bytes.size() - FENCE, FENCE, std::string(FENCE, '\xA5')) == 0;
    }
};

// Feeds the patch in pieces of feed_size bytes (0: all at once), then finishes it.
Applied apply(const std::string &reference, const std::string &patch, s64 expected, Output output,
              s64 feed_size = 0, s64 refuse_after = -1) {
    Applied applied;
    applied.result.refuse_after = refuse_after;
    Patch_Apply state;
    Room room(expected);
    bool ok = output == IN_PLACE
                  ? patch_begin_in_place(&state, String(reference), (u8 *)room.bytes.data(), expected)
                  : patch_begin(&state, String(reference), expected, {collect, &applied.result});
    s64 step = feed_size > 0 ? feed_size : (s64)patch.size();
    for (s64 at = 0; ok && at < (s64)patch.size(); at += step) {
        s64 count = (s64)patch.size() - at < step ? (s64)patch.size() - at : step;
        ok = patch_feed(&state, String(patch.data() + at, count));
    }
    applied.fed = ok;
    if (output == IN_PLACE) {
        EXPECT_TRUE(room.fence_intact()) << "written past the result's end";
        applied.result.bytes = room.bytes.substr(0, (size_t)state.result_bytes);
        applied.result.pieces = 1;
    }
    applied.finished = patch_finish(&state);
    applied.reason = std::string(patch_failure(&state).view());
    return applied;
}

std::string with_byte(std::string bytes, size_t at, u8 value) {
    bytes[at] = (char)value;
    return bytes;
}

TEST(Patch, ToolMadePatchesGiveTheNewFileExactly) {
    const std::string old_file = fixture("old.bin"), new_file = fixture("new.bin");
    const std::string no_size = fixture("no_size.zst");
    ASSERT_EQ(no_size[4] & 0x20, 0) << "no_size.zst must have a window descriptor";
    struct Case {
        const char *what;
        std::string reference, patch;
        s64 feed_size;
    };
    const Case cases[] = {
        {"whole patch in one piece", old_file, fixture("good.zst"), 0},
        {"one byte at a time", old_file, fixture("good.zst"), 1},
        {"pieces of 7 bytes", old_file, fixture("good.zst"), 7},
        {"no content size in the header", old_file, no_size, 5},
        {"from an empty old file", "", fixture("from_empty.zst"), 1000},
        // The window descriptor set to exactly 2 GiB (exponent 21, mantissa 0): the
        // largest window accepted; the frame's data does not depend on it.
        {"a window of exactly 2 GiB", old_file, with_byte(no_size, 5, 0xA8), 0},
    };
    for (const Case &c : cases) {
        for (Output output : OUTPUTS) {
            Applied applied = apply(c.reference, c.patch, (s64)new_file.size(), output, c.feed_size);
            EXPECT_TRUE(applied.fed) << c.what << ", " << output_name(output) << ": " << applied.reason;
            EXPECT_TRUE(applied.finished) << c.what << ", " << output_name(output) << ": " << applied.reason;
            EXPECT_EQ(applied.reason, "") << c.what;
            EXPECT_TRUE(applied.result.bytes == new_file) << c.what << ", " << output_name(output);
        }
    }
}

TEST(Patch, PatchesThatMustNotBeUsedAreRefusedWithTheirReason) {
    const std::string old_file = fixture("old.bin"), new_file = fixture("new.bin");
    const std::string good = fixture("good.zst"), no_size = fixture("no_size.zst");
    const s64 size = (s64)new_file.size();
    const std::string magic = "\x28\xb5\x2f\xfd";
    enum Stage { WHILE_FED, AT_FINISH };
    struct Case {
        const char *what;
        std::string reference, patch;
        s64 expected;
        Stage refused;
        const char *reason;  // a part of the reason
    };
    const Case cases[] = {
        // Made for another old client.
        {"another old file of the same size", fixture("other_old.bin"), good, size, WHILE_FED,
         "made from another old client"},
        {"another old file, shorter", old_file.substr(0, 3000), good, size, WHILE_FED, "made from another old client"},
        {"no old file at all", "", good, size, WHILE_FED, "made from another old client"},
        // Damaged.
        {"a byte changed in the middle", old_file, with_byte(good, good.size() / 2, (u8)~good[good.size() / 2]),
         size, WHILE_FED, "damaged"},
        {"the checksum changed", old_file, with_byte(good, good.size() - 1, (u8)~good.back()), size, WHILE_FED,
         "does not match the patch's checksum"},
        {"not a zstd frame", old_file, "this is not a patch at all", size, WHILE_FED, "not a zstd frame"},
        {"a skippable frame", old_file, std::string("\x50\x2a\x4d\x18\x04\0\0\0abcd", 12), size, WHILE_FED,
         "skippable frame"},
        {"made with a dictionary", old_file, magic + std::string("\x05\x18\x07", 3), size, WHILE_FED,
         "dictionary 7"},
        {"bytes after the frame", old_file, good + "x", size, WHILE_FED, "goes on after the end of its zstd frame"},
        {"two frames", old_file, good + good, size, WHILE_FED, "goes on after the end of its zstd frame"},
        // Truncated.
        {"empty", old_file, "", size, AT_FINISH, "the patch is empty"},
        {"cut inside the magic number", old_file, good.substr(0, 3), size, AT_FINISH, "inside its zstd frame header"},
        {"cut after the header", old_file, good.substr(0, 20), size, AT_FINISH, "ends before its zstd frame does"},
        {"cut inside the checksum", old_file, good.substr(0, good.size() - 2), size, AT_FINISH,
         "ends before its zstd frame does"},
        // The wrong result size.
        {"header says another size", old_file, good, size + 1, WHILE_FED,
         "makes a file of 6700 bytes, the expected size is 6701"},
        {"result longer than expected", old_file, no_size, size - 1, WHILE_FED, "more than the expected 6699 bytes"},
        {"result shorter than expected", old_file, no_size, size + 1, AT_FINISH,
         "makes 6700 bytes, the expected size is 6701"},
        // Windows past 2 GiB: 2 GiB + 256 MiB (exponent 21, mantissa 1), and 4 GiB.
        {"window of 2 GiB + 256 MiB", old_file, with_byte(no_size, 5, 0xA9), size, WHILE_FED,
         "needs a window of 2415919104 bytes, more than the 2147483648 accepted"},
        {"window of 4 GiB", old_file, with_byte(no_size, 5, 0xB0), size, WHILE_FED,
         "needs a window larger than the 2147483648 bytes accepted"},
        // Without a checksum a wrong old client would go unnoticed.
        {"no checksum", old_file, fixture("no_check.zst"), size, WHILE_FED, "no checksum of its result"},
    };
    for (const Case &c : cases) {
        for (Output output : OUTPUTS) {
            for (s64 feed_size : {(s64)0, (s64)1}) {
                Applied applied = apply(c.reference, c.patch, c.expected, output, feed_size);
                EXPECT_EQ(applied.fed, c.refused == AT_FINISH)
                    << c.what << ", " << output_name(output) << ", pieces of " << feed_size;
                EXPECT_FALSE(applied.finished) << c.what;
                EXPECT_NE(applied.reason.find(c.reason), std::string::npos)
                    << c.what << ", " << output_name(output) << ", pieces of " << feed_size << ": " << applied.reason;
                EXPECT_LE((s64)applied.result.bytes.size(), c.expected) << c.what;
            }
        }
    }
}

TEST(Patch, TheFirstFailureSticks) {
    const std::string old_file = fixture("old.bin"), good = fixture("good.zst");
    Collected result;
    Patch_Apply state;
    ASSERT_TRUE(patch_begin(&state, String(old_file), 6700, {collect, &result}));
    EXPECT_FALSE(patch_feed(&state, "not a patch"));
    std::string first(patch_failure(&state).view());
    EXPECT_FALSE(patch_feed(&state, String(good)));
    EXPECT_FALSE(patch_finish(&state));
    EXPECT_EQ(std::string(patch_failure(&state).view()), first);
    EXPECT_EQ(result.pieces, 0);

    // Fed after its end.
    ASSERT_TRUE(patch_begin(&state, String(old_file), 6700, {collect, &result}));
    EXPECT_TRUE(patch_feed(&state, String(good)));
    EXPECT_TRUE(patch_finish(&state));
    EXPECT_FALSE(patch_feed(&state, "x"));
    EXPECT_NE(std::string(patch_failure(&state).view()).find("after its end"), std::string::npos);

    // A negative expected size is refused at once.
    EXPECT_FALSE(patch_begin(&state, String(old_file), -1, {collect, &result}));
    EXPECT_NE(std::string(patch_failure(&state).view()).find("negative"), std::string::npos);
    patch_abandon(&state);
}

TEST(Patch, ASmallerWindowLimit) {
    const std::string old_file = fixture("old.bin"), no_size = fixture("no_size.zst");  // an 8 KiB window
    struct Case {
        s64 window_max;
        bool applies;
        const char *reason;
    };
    const Case cases[] = {
        {8192, true, ""},
        {4096, false, "the patch needs a window of 8192 bytes, more than the 4096 accepted"},
        {1024, false, "the patch needs a window of 8192 bytes, more than the 1024 accepted"},
        {3000, false, "the window limit 3000 is not valid"},
        {(s64)1 << 32, false, "the window limit 4294967296 is not valid"},
    };
    for (const Case &c : cases) {
        Collected result;
        Patch_Apply state;
        bool ok = patch_begin(&state, String(old_file), 6700, {collect, &result}, c.window_max);
        ok = ok && patch_feed(&state, String(no_size));
        ok = patch_finish(&state) && ok;
        EXPECT_EQ(ok, c.applies) << c.window_max;
        EXPECT_EQ(std::string(patch_failure(&state).view()), c.reason) << c.window_max;
    }
}

TEST(Patch, AWriterThatFailsStopsThePatch) {
    const std::string old_file = fixture("old.bin");
    Applied applied = apply(old_file, fixture("good.zst"), 6700, INTO_SINK, 1, 0);
    EXPECT_FALSE(applied.fed);
    EXPECT_FALSE(applied.finished);
    EXPECT_NE(applied.reason.find("writing the result failed after 0 bytes"), std::string::npos) << applied.reason;
    EXPECT_EQ(applied.result.pieces, 0);
}

TEST(Patch, AbandonedHalfWay) {
    const std::string old_file = fixture("old.bin"), good = fixture("good.zst");
    Collected result;
    Patch_Apply state;
    ASSERT_TRUE(patch_begin(&state, String(old_file), 6700, {collect, &result}));
    EXPECT_TRUE(patch_feed(&state, String(good.data(), 100)));
    patch_abandon(&state);
    EXPECT_EQ(state.decoder, nullptr);
    EXPECT_EQ(patch_failure(&state).count, 0);
}

#ifndef _WIN32
// Larger files through the zstd tool itself, with a long window: several blocks and
// several sink pieces, none larger than PATCH_PIECE_SIZE.
TEST(Patch, LargerPatchesFromTheZstdTool) {
    std::string old_file(3 << 20, '\0');
    u64 state = 0x9E3779B97F4A7C15;
    for (char &byte : old_file) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        byte = (char)(state >> 56);
    }
    std::string new_file = old_file;
    for (size_t at = 1000; at < new_file.size(); at += 40'000) new_file[at] ^= 0x11;  // scattered changes
    new_file.insert(new_file.size() / 3, std::string(1000, 'k'));                     // an insertion
    new_file += old_file.substr(0, 1 << 20);  // appended, a long way from its source
    ASSERT_TRUE(write_entire_file("patch_large_old.bin", String(old_file)));
    ASSERT_TRUE(write_entire_file("patch_large_new.bin", String(new_file)));

    const char *commands[] = {
        "zstd -q -f --patch-from=patch_large_old.bin patch_large_new.bin -o patch_large.zst",
        "zstd -q -f -19 --long=27 --patch-from=patch_large_old.bin patch_large_new.bin -o patch_large.zst 2>/dev/null",
    };
    for (const char *command : commands) {
        ASSERT_EQ(std::system(command), 0) << command;
        File_Contents patch = read_entire_file("patch_large.zst");
        ASSERT_TRUE(patch.success);
        // Smaller than the appended megabyte plus the changes: the old file was used.
        EXPECT_LT(patch.data.count, (s64)new_file.size() / 4) << command;
        File_Mapping reference = map_file_read_only("patch_large_old.bin");
        ASSERT_TRUE(reference.success);

        for (Output output : OUTPUTS) {
            for (s64 feed_size : {(s64)0, (s64)16384, (s64)1000}) {
                Applied applied = apply(std::string(reference.data.view()), std::string(patch.data.view()),
                                        (s64)new_file.size(), output, feed_size);
                EXPECT_TRUE(applied.finished) << command << ", " << output_name(output) << ": " << applied.reason;
                EXPECT_TRUE(applied.result.bytes == new_file) << command << ", " << output_name(output);
                if (output == INTO_SINK) {
                    EXPECT_GT(applied.result.pieces, 4);
                    EXPECT_LE(applied.result.largest_piece, PATCH_PIECE_SIZE);
                }
            }
        }
        unmap_file(&reference);
        free((void *)patch.data.data);
    }
    remove("patch_large_old.bin");
    remove("patch_large_new.bin");
    remove("patch_large.zst");
}
#endif

TEST(Patch, NameIsTheOldRecordEntryInHex) {
    struct Case {
        UpdaterClientVersions::File old_client;
        const char *name;
    };
    const Case cases[] = {
        {{0, 0, 0}, "client.exe.patch-000000000000000000000000000000000000000000000000"},
        // Each field little-endian, in the record's order: time low, time high, size.
        {{0x0123456789abcdefull, 0x0fedcba987654321ll, 0x1122334455667788ll},
         "client.exe.patch-efcdab896745230121436587a9cbed0f8877665544332211"},
        {{UINT64_MAX, -1, 256}, "client.exe.patch-ffffffffffffffffffffffffffffffff0001000000000000"},
    };
    for (const Case &c : cases) EXPECT_EQ(std::string(patch_name(c.old_client).view()), c.name);
}

}  // namespace
