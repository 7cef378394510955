// Forced into every source of the fuzz build (-include). clang 14 has no
// __builtin_source_location, so libstdc++'s <source_location> declares nothing there; the
// runtime's headers only need the type to exist, and the fuzzed code never reports
// through it. Only this build sees this file.
#pragma once

#if defined(__clang__) && !__has_builtin(__builtin_source_location)
#include <source_location>
namespace std {
struct source_location {
    static constexpr source_location current() noexcept { return {}; }
    constexpr unsigned line() const noexcept { return 0; }
    constexpr unsigned column() const noexcept { return 0; }
    constexpr const char *file_name() const noexcept { return ""; }
    constexpr const char *function_name() const noexcept { return ""; }
};
}  // namespace std
#endif
