// korvane.exe: the launcher and updater of the game.
#include "log.h"

int main() {
    log_line("Korvane updater");
    return 0;
}
