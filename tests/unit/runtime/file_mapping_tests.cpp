// Read-only file mappings: the file's bytes as they are, empty files, files past 4 GiB,
// and the error lines of files that cannot be mapped.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "os.h"

namespace {

// Writes count bytes of value at offset, leaving a hole before them (a sparse file
// where the file system supports it).
bool write_at(const char *name, s64 offset, char value, s64 count) {
    FILE *file = fopen(name, "wb");
    if (!file) return false;
#ifdef _WIN32
    bool ok = _fseeki64(file, offset, SEEK_SET) == 0;
#else
    bool ok = fseeko(file, offset, SEEK_SET) == 0;
#endif
    for (s64 i = 0; ok && i < count; i++) ok = fputc(value, file) != EOF;
    return fclose(file) == 0 && ok;
}

TEST(FileMapping, MapsTheBytesOfFilesOfSeveralSizes) {
    const s64 sizes[] = {1, 4095, 4096, 4097, 1 << 20};
    for (s64 size : sizes) {
        std::string bytes((size_t)size, '\0');
        for (s64 i = 0; i < size; i++) bytes[(size_t)i] = (char)(i * 7 + i / 251);
        ASSERT_TRUE(write_entire_file("mapping_bytes.bin", String(bytes)));

        File_Mapping mapping = map_file_read_only("mapping_bytes.bin");
        ASSERT_TRUE(mapping.success) << size;
        ASSERT_EQ(mapping.data.count, size);
        EXPECT_TRUE(mapping.data.view() == bytes) << size;
        unmap_file(&mapping);
        EXPECT_FALSE(mapping.success);
        EXPECT_EQ(mapping.data.count, 0);
        EXPECT_EQ(mapping.data.data, nullptr);
    }
    remove("mapping_bytes.bin");
}

TEST(FileMapping, AnEmptyFileMapsToNothing) {
    ASSERT_TRUE(write_entire_file("mapping_empty.bin", String()));
    File_Mapping mapping = map_file_read_only("mapping_empty.bin");
    EXPECT_TRUE(mapping.success);
    EXPECT_EQ(mapping.data.count, 0);
    unmap_file(&mapping);
    unmap_file(&mapping);  // twice is harmless
    remove("mapping_empty.bin");
}

TEST(FileMapping, CoversAFilePastFourGibibytes) {
    // 4 GiB + 4 bytes: a size that does not fit 32 bits, the last bytes beyond 2^32.
    const s64 offset = ((s64)1 << 32) - 2;
    ASSERT_TRUE(write_at("mapping_large.bin", offset, 'K', 6));
    File_Mapping mapping = map_file_read_only("mapping_large.bin");
    ASSERT_TRUE(mapping.success);
    ASSERT_EQ(mapping.data.count, offset + 6);
    EXPECT_EQ(mapping.data.data[0], 0);
    EXPECT_EQ(mapping.data.data[offset - 1], 0);
    for (s64 i = offset; i < offset + 6; i++) EXPECT_EQ(mapping.data.data[i], 'K') << i;
    unmap_file(&mapping);
    remove("mapping_large.bin");
}

TEST(FileMapping, FilesThatCannotBeMappedFailWithAnErrorLine) {
    struct Case {
        const char *name;
        const char *line_start;
    };
    const Case cases[] = {
        {"mapping_missing.bin", "Could not open file \"mapping_missing.bin\": code "},
        // A folder: Linux opens it and refuses to map it, Windows refuses to open it.
        {".", "Could not "},
    };
    for (const Case &c : cases) {
        testing::internal::CaptureStderr();
        File_Mapping mapping = map_file_read_only(c.name);
        std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(mapping.success) << c.name;
        EXPECT_EQ(mapping.data.count, 0) << c.name;
        EXPECT_EQ(errors.rfind(c.line_start, 0), 0u) << errors;
        unmap_file(&mapping);
    }
}

}  // namespace
