// korvane.exe: the launcher and updater of the game.
#include "update_run.h"

int main() {
    run_update();
    return 0;
}
