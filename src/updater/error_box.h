// The warning box: what the player must see. Blocks the calling thread until dismissed;
// other threads go on. The text is also written as an error line so a run's output shows
// what the player was told.
#pragma once

#include "print.h"

constexpr const char *MESSAGE_BOX_CAPTION = "Ostrelle";

void show_warning(String text);

template <typename... Args>
void display_error_with_os(String format, const Args &...args) {
    String_Builder builder;
    print_to_builder(&builder, format, args...);
    show_warning(builder.string());
}
