// The release key this program was built with. Its text comes from a tiny object of its
// own (made by korvane_release_key_object in cmake/KorvaneReleaseKey.cmake), so programs
// that differ only in their key share every other object.
#include "assertions.h"
#include "minisign.h"

// The minisign.pub text, or null in a build without a release key.
extern const char *const korvane_release_key_file;

Compiled_Release_Key compiled_release_key() {
    Compiled_Release_Key result;
    if (!korvane_release_key_file) return result;
    Public_Key_Parse parsed = parse_public_key(korvane_release_key_file);
    // The build checked the file's shape; a key that still does not parse is a broken build.
    assert_fatal(parsed.success, "The release key built into this program is not a minisign public key");
    result.key = parsed.key;
    result.present = true;
    return result;
}
