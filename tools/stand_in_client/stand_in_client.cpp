// Stand-in game client: appends one line with its working directory and arguments to
// client_started.txt in its working directory, says so, and exits 0.
#include <cstdio>

#ifdef _WIN32
#include <direct.h>
#define get_working_directory _getcwd
#else
#include <unistd.h>
#define get_working_directory getcwd
#endif

int main(int argc, char **argv) {
    char directory[4096] = "?";
    if (!get_working_directory(directory, sizeof(directory))) directory[0] = '?';

    FILE *record = fopen("client_started.txt", "a");
    if (!record) return 1;
    fprintf(record, "started in %s with %d argument(s):", directory, argc - 1);
    for (int i = 1; i < argc; i++) fprintf(record, " [%s]", argv[i]);
    fprintf(record, "\n");
    fclose(record);

    printf("stand-in client started\n");
    fflush(stdout);
    return 0;
}
