// The release key of a build made without KORVANE_RELEASE_KEY: none, so signatures on the
// update site are not looked at.
extern const char *const korvane_release_key_file;
const char *const korvane_release_key_file = nullptr;
