// Helpers of the text tests: fixture font bytes that live until the test program ends.
#pragma once

#include <string>

#include "types.h"

// The bytes of tests/fixtures/fonts/<name> (or, for a name with a slash, of that path under
// the source tree), read once and kept: fonts reference their bytes for life.
String fixture_font_bytes(const std::string &name);
String window_font_bytes();  // assets/QuanPixelSmall.ttf
