// hold_file NAME SECONDS: opens NAME without letting others delete or replace it (as a
// running program's file is held), prints "holding NAME", keeps it open for SECONDS or
// until a file NAME.release appears, then ends.
#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>

static bool hold(const char *name) {
    // Sharing read only: a rename over it or a delete fails while this handle lives.
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file != INVALID_HANDLE_VALUE;
}
static bool exists(const std::string &name) { return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES; }
static void sleep_100ms() { Sleep(100); }
#else
#include <fcntl.h>
#include <unistd.h>

static bool hold(const char *name) { return open(name, O_RDONLY) >= 0; }  // nothing stops a rename here
static bool exists(const std::string &name) { return access(name.c_str(), F_OK) == 0; }
static void sleep_100ms() { usleep(100'000); }
#endif

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: hold_file NAME SECONDS\n");
        return 2;
    }
    if (!hold(argv[1])) {
        fprintf(stderr, "hold_file: cannot open %s\n", argv[1]);
        return 1;
    }
    printf("holding %s\n", argv[1]);
    fflush(stdout);
    std::string release = std::string(argv[1]) + ".release";
    for (int tenths = atoi(argv[2]) * 10; tenths > 0 && !exists(release); tenths--) sleep_100ms();
    return 0;
}
