// Applying zstd patches: libzstd's streaming decoder with the old client as its prefix,
// the frame header checked first so that a patch we cannot or must not use is refused
// with a reason before any of its result is written.
#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getFrameHeader, ZSTD_d_stableOutBuffer
#include <zstd.h>
#include <zstd_errors.h>

#include <cstdlib>

#include "patch.h"
#include "print.h"
#include "temporary_storage.h"

static_assert(sizeof(Patch_Apply::header) == ZSTD_FRAMEHEADERSIZE_MAX);
static_assert(PATCH_WINDOW_MAX == (s64)1 << ZSTD_WINDOWLOG_MAX_64);

String patch_name(const UpdaterClientVersions::File &old_client) {
    static_assert(sizeof(old_client) == 24);
    const char *digits = "0123456789abcdef";
    const u8 *bytes = (const u8 *)&old_client;
    s64 prefix = (s64)sizeof(PATCH_NAME_PREFIX) - 1;
    char *name = (char *)talloc(prefix + 48);
    memcpy(name, PATCH_NAME_PREFIX, (size_t)prefix);
    for (s64 i = 0; i < 24; i++) {
        name[prefix + 2 * i] = digits[bytes[i] >> 4];
        name[prefix + 2 * i + 1] = digits[bytes[i] & 15];
    }
    return String(name, prefix + 48);
}

static ZSTD_DCtx *decoder_of(Patch_Apply *patch) { return (ZSTD_DCtx *)patch->decoder; }

static void release(Patch_Apply *patch) {
    if (patch->decoder) ZSTD_freeDCtx(decoder_of(patch));
    free(patch->piece);
    patch->decoder = nullptr;
    patch->piece = nullptr;
}

// Records the first failure's reason; always returns false.
template <typename... Args>
static bool fail(Patch_Apply *patch, String format, const Args &...args) {
    if (patch->failed) return false;
    patch->failed = true;
    String_Builder builder;
    print_to_builder(&builder, format, args...);
    s64 count = builder.count < (s64)sizeof(patch->reason) ? builder.count : (s64)sizeof(patch->reason);
    memcpy(patch->reason, builder.data, (size_t)count);
    patch->reason_count = count;
    return false;
}

String patch_failure(const Patch_Apply *patch) { return String(patch->reason, patch->reason_count); }

static bool begin(Patch_Apply *patch, String reference, s64 expected_size, s64 window_max) {
    patch->reference = reference;
    patch->expected_size = expected_size;
    patch->window_max = window_max;
    if (expected_size < 0) return fail(patch, "the expected result size % is negative", expected_size);
    int window_log = ZSTD_WINDOWLOG_MIN;
    while (window_log < ZSTD_WINDOWLOG_MAX_64 && ((s64)1 << window_log) < window_max) window_log++;
    if (window_max != (s64)1 << window_log) return fail(patch, "the window limit % is not valid", window_max);

    patch->decoder = (ZSTD_DCtx_s *)ZSTD_createDCtx();
    if (!patch->result) patch->piece = (u8 *)malloc((size_t)PATCH_PIECE_SIZE);
    if (!patch->decoder || (!patch->result && !patch->piece)) {
        release(patch);
        return fail(patch, "not enough memory for the zstd decoder");
    }
    size_t status = ZSTD_DCtx_setParameter(decoder_of(patch), ZSTD_d_windowLogMax, window_log);
    // In place the result itself is the decoder's window: it allocates none and copies
    // nothing out of one.
    if (!ZSTD_isError(status) && patch->result)
        status = ZSTD_DCtx_setParameter(decoder_of(patch), ZSTD_d_stableOutBuffer, 1);
    // By reference: libzstd reads the old client where it lies and copies nothing of it.
    if (!ZSTD_isError(status)) status = ZSTD_DCtx_refPrefix(decoder_of(patch), reference.data, (size_t)reference.count);
    if (ZSTD_isError(status)) {
        release(patch);
        return fail(patch, "the zstd decoder cannot be set up: %", ZSTD_getErrorName(status));
    }
    return true;
}

bool patch_begin(Patch_Apply *patch, String reference, s64 expected_size, Patch_Sink sink, s64 window_max) {
    release(patch);  // one begun and never ended
    *patch = Patch_Apply{};
    patch->sink = sink;
    return begin(patch, reference, expected_size, window_max);
}

bool patch_begin_in_place(Patch_Apply *patch, String reference, u8 *result, s64 expected_size, s64 window_max) {
    release(patch);  // one begun and never ended
    *patch = Patch_Apply{};
    patch->result = result;
    return begin(patch, reference, expected_size, window_max);
}

// The header decides whether the patch is one we can and may apply: one zstd frame, no
// dictionary but the old client, a window we accept, the result size we expect, and a
// checksum of the result. Without the checksum a patch made from another old client of
// the same size would give wrong bytes that nothing here could tell apart.
static bool check_header(Patch_Apply *patch, const ZSTD_frameHeader &header) {
    if (header.frameType == ZSTD_skippableFrame)
        return fail(patch, "the patch starts with a skippable frame, not a zstd frame of data");
    if (header.windowSize > (u64)patch->window_max)
        return fail(patch, "the patch needs a window of % bytes, more than the % accepted", header.windowSize,
                    patch->window_max);
    if (header.dictID != 0)
        return fail(patch, "the patch was made with zstd dictionary % instead of the old client", header.dictID);
    if (header.frameContentSize != ZSTD_CONTENTSIZE_UNKNOWN && header.frameContentSize != (u64)patch->expected_size)
        return fail(patch, "the patch makes a file of % bytes, the expected size is %", header.frameContentSize,
                    patch->expected_size);
    if (!header.checksumFlag)
        return fail(patch, "the patch has no checksum of its result (it was made with --no-check)");
    return true;
}

static bool decoding_failed(Patch_Apply *patch, size_t status) {
    String name = ZSTD_getErrorName(status);
    switch (ZSTD_getErrorCode(status)) {
    case ZSTD_error_checksum_wrong:
        return fail(patch, "the result does not match the patch's checksum: the patch is damaged or was made "
                           "from another old client");
    case ZSTD_error_corruption_detected:
        return fail(patch, "the patch is damaged or was made from another old client (zstd: %, after % patch "
                           "bytes)", name, patch->patch_bytes);
    case ZSTD_error_frameParameter_windowTooLarge:
        return fail(patch, "the patch needs a window larger than the % bytes accepted (zstd: %)", patch->window_max,
                    name);
    case ZSTD_error_memory_allocation:
        return fail(patch, "not enough memory for the patch's window (zstd: %)", name);
    default:
        return fail(patch, "the patch cannot be applied (zstd: %, after % patch bytes)", name, patch->patch_bytes);
    }
}

static bool more_than_expected(Patch_Apply *patch) {
    return fail(patch, "the patch makes more than the expected % bytes", patch->expected_size);
}

// Runs the decoder over input until it has taken all of it and has nothing more to give.
static bool decode(Patch_Apply *patch, const u8 *bytes, s64 count) {
    ZSTD_inBuffer input = {bytes, (size_t)count, 0};
    while (true) {
        if (patch->frame_done) {
            if (input.pos < input.size)
                return fail(patch, "the patch goes on after the end of its zstd frame (% more bytes)",
                            (s64)(input.size - input.pos));
            return true;
        }
        ZSTD_outBuffer output;
        if (patch->result) {
            // The same buffer every time, as the decoder requires; it goes on at pos.
            output = {patch->result, (size_t)patch->expected_size, (size_t)patch->result_bytes};
        } else {
            // Room for one byte past the expected size, so a longer result shows itself
            // without any of it reaching the sink.
            s64 room = patch->expected_size - patch->result_bytes + 1;
            if (room > PATCH_PIECE_SIZE) room = PATCH_PIECE_SIZE;
            output = {patch->piece, (size_t)room, 0};
        }
        size_t input_before = input.pos;
        size_t output_before = output.pos;
        size_t status = ZSTD_decompressStream(decoder_of(patch), &output, &input);
        patch->patch_bytes += (s64)(input.pos - input_before);
        if (ZSTD_isError(status)) {
            // In place the decoder itself refuses to write past the result's end.
            if (ZSTD_getErrorCode(status) == ZSTD_error_dstSize_tooSmall) return more_than_expected(patch);
            return decoding_failed(patch, status);
        }

        s64 produced = (s64)(output.pos - output_before);
        if (patch->result_bytes + produced > patch->expected_size) return more_than_expected(patch);
        if (produced > 0 && !patch->result &&
            !patch->sink.write(patch->sink.context, String((const char *)patch->piece, produced)))
            return fail(patch, "writing the result failed after % bytes", patch->result_bytes);
        patch->result_bytes += produced;
        if (status == 0) {
            patch->frame_done = true;  // the checksum has been checked too
            continue;
        }
        if (input.pos == input.size) {
            // All input taken: the decoder needs more of the patch, unless its output
            // was full and it has more to give (into the sink's next piece).
            if (patch->result || output.pos < output.size) return true;
        } else if (patch->result && input.pos == input_before && produced == 0) {
            return more_than_expected(patch);  // the result is full and the frame goes on
        }
    }
}

bool patch_feed(Patch_Apply *patch, String bytes) {
    if (patch->failed) return false;
    if (!patch->decoder) return fail(patch, "the patch was fed after its end");
    const u8 *data = (const u8 *)bytes.data;
    s64 count = bytes.count;

    if (!patch->header_checked) {
        s64 take = (s64)sizeof(patch->header) - patch->header_count;
        if (take > count) take = count;
        memcpy(patch->header + patch->header_count, data, (size_t)take);
        patch->header_count += take;
        data += take;
        count -= take;

        ZSTD_frameHeader header;
        size_t status = ZSTD_getFrameHeader(&header, patch->header, (size_t)patch->header_count);
        if (ZSTD_isError(status)) {
            if (ZSTD_getErrorCode(status) == ZSTD_error_frameParameter_windowTooLarge)
                return fail(patch, "the patch needs a window larger than the % bytes accepted", patch->window_max);
            if (ZSTD_getErrorCode(status) == ZSTD_error_prefix_unknown)
                return fail(patch, "the patch is not a zstd frame");
            return fail(patch, "the patch's zstd frame header is not valid (zstd: %)", ZSTD_getErrorName(status));
        }
        if (status > 0) return true;  // the header is not complete yet
        if (!check_header(patch, header)) return false;
        patch->header_checked = true;
        if (!decode(patch, patch->header, patch->header_count)) return false;
    }
    return decode(patch, data, count);
}

bool patch_finish(Patch_Apply *patch) {
    bool ok = !patch->failed;
    if (ok && !patch->decoder) ok = fail(patch, "the patch was finished twice");
    if (ok && patch->header_count == 0) ok = fail(patch, "the patch is empty");
    if (ok && !patch->header_checked)
        ok = fail(patch, "the patch ends inside its zstd frame header (% bytes)", patch->header_count);
    if (ok && !patch->frame_done)
        ok = fail(patch, "the patch ends before its zstd frame does (% patch bytes, % bytes of the result)",
                  patch->patch_bytes, patch->result_bytes);
    if (ok && patch->result_bytes != patch->expected_size)
        ok = fail(patch, "the patch makes % bytes, the expected size is %", patch->result_bytes,
                  patch->expected_size);
    release(patch);
    return ok;
}

void patch_abandon(Patch_Apply *patch) { release(patch); }
