// Storage of the values shared by the update run and the progress window.
#include "update_counters.h"

std::atomic<s64> download_bytes_total{0};
std::atomic<s64> download_bytes_received{0};
std::atomic<bool> updater_done{false};
