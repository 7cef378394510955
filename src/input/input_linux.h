// The X11 side of the event system, as far as tests and window creation need to see it.
#pragma once

#include "types.h"

// The virtual key a keysym stands for (the key's unshifted keysym; the numeric keypad's
// with Num Lock applied); 0 when the keysym has none.
u32 virtual_key_from_keysym(u64 keysym);
