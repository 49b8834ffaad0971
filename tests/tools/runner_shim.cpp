// SPDX-License-Identifier: Apache-2.0
// Stands in for the program on the simulated camera when the program is a cross build:
// runs it under the emulator named in the file beside this one, keeping argv[0] as the
// caller gave it (a script interpreter would lose it, and the program prints it).
//
//   <dir>/debug          this shim
//   <dir>/debug.real     the program
//   <dir>/debug.runner   the emulator's command line, words separated by blanks
#include <stdio.h>
#include <string.h>
#include <unistd.h>

int main(int argc, char** argv) {
    char self[512];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 16);
    if (n <= 0) {
        perror("runner_shim: /proc/self/exe");
        return 127;
    }
    self[n] = '\0';
    char runner_path[528], real_path[528];
    snprintf(runner_path, sizeof runner_path, "%s.runner", self);
    snprintf(real_path, sizeof real_path, "%s.real", self);

    static char line[1024];
    FILE* f = fopen(runner_path, "re");
    if (f == nullptr || fgets(line, sizeof line, f) == nullptr) {
        perror(runner_path);
        return 127;
    }
    fclose(f);

    static char* args[4096];
    int k = 0;
    for (char* word = strtok(line, " \t\n"); word != nullptr && k < 64; word = strtok(nullptr, " \t\n")) {
        args[k++] = word;
    }
    static char flag[] = "-0";
    args[k++] = flag;
    args[k++] = argv[0];
    args[k++] = real_path;
    for (int i = 1; i < argc && k < 4095; i++) {
        args[k++] = argv[i];
    }
    args[k] = nullptr;
    execvp(args[0], args);
    perror(args[0]);
    return 127;
}
