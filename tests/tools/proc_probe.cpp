// Runs a command many times as a whole process and prints the median wall time in
// microseconds and the peak resident set in KiB. Being small itself matters: a child
// inherits its parent's high-water mark up to exec, so a probe forked from a large
// interpreter would report the interpreter's memory, not the command's.
//
//   proc_probe RUNS COMMAND [ARG...]
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: proc_probe RUNS COMMAND [ARG...]\n");
        return 2;
    }
    int runs = atoi(argv[1]);
    std::vector<long> times;
    long peak = 0;
    for (int i = 0; i < runs; i++) {
        struct timespec a, b;
        clock_gettime(CLOCK_MONOTONIC, &a);
        pid_t pid = fork();
        if (pid == 0) {
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execvp(argv[2], argv + 2);
            _exit(127);
        }
        int status;
        struct rusage ru;
        wait4(pid, &status, 0, &ru);
        clock_gettime(CLOCK_MONOTONIC, &b);
        times.push_back((b.tv_sec - a.tv_sec) * 1000000L + (b.tv_nsec - a.tv_nsec) / 1000);
        peak = std::max(peak, ru.ru_maxrss);
    }
    std::sort(times.begin(), times.end());
    printf("%ld\t%ld\n", times[times.size() / 2], peak);
    return 0;
}
