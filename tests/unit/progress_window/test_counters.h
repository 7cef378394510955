// The counters the progress window tests hand the window, in place of the update run's.
#pragma once

#include <atomic>

#include "updater_window.h"

inline std::atomic<s64> download_bytes_total{0};
inline std::atomic<s64> download_bytes_received{0};
inline std::atomic<bool> updater_done{false};

inline Progress_Counters test_counters() { return {&download_bytes_total, &download_bytes_received, &updater_done}; }
