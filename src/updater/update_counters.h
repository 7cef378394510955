// The three values the update run shares with the progress window's thread, owned here and
// handed to that thread when it starts (Progress_Counters). Nothing else crosses between
// the two threads, and none of it needs a lock.
#pragma once

#include <atomic>

#include "types.h"

// Bytes the whole update should bring: the two sizes of the server's identity record.
// Written once by the main thread before the GUI thread starts.
extern std::atomic<s64> download_bytes_total;
// Bytes delivered by the HTTP transfers so far (every chunk, every transfer); only grows
// once the GUI thread runs.
extern std::atomic<s64> download_bytes_received;
// Set once, false to true: the game was started or the window was closed.
extern std::atomic<bool> updater_done;
