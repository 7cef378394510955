// Stand-in game client for the end-to-end tests and the demo: appends one line with its
// working directory and arguments to client_started.txt in its working directory, says
// so, and exits 0. No library of ours, so it runs anywhere it is copied.
#include <cstdio>

#ifdef _WIN32
#include <direct.h>
#else
#include <unistd.h>
#endif

static bool get_working_directory(char *buffer, int size) {
#ifdef _WIN32
    return _getcwd(buffer, size) != nullptr;
#else
    return getcwd(buffer, (size_t)size) != nullptr;
#endif
}

int main(int argc, char **argv) {
    char directory[4096];
    if (!get_working_directory(directory, (int)sizeof(directory))) {
        snprintf(directory, sizeof(directory), "?");
    }

    FILE *record = fopen("client_started.txt", "a");
    if (!record) {
        fprintf(stderr, "stand-in client: could not open client_started.txt in %s\n", directory);
        return 1;
    }
    fprintf(record, "started in %s with %d argument(s):", directory, argc - 1);
    for (int i = 1; i < argc; i++) fprintf(record, " [%s]", argv[i]);
    fprintf(record, "\n");
    fclose(record);

    printf("stand-in client started\n");
    fflush(stdout);
    return 0;
}
