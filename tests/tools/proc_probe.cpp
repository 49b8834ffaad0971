// Runs a command many times as a whole process and prints, tab-separated: the median
// wall time in microseconds, the peak resident set in KiB, the largest processor time
// (user + system) in microseconds, and with -i the median time from SIGINT to exit in
// microseconds. Being small itself matters: a child inherits its parent's high-water
// mark up to exec, so a probe forked from a large interpreter would report the
// interpreter's memory, not the command's.
//
//   proc_probe [-i MS] RUNS COMMAND [ARG...]
//   -i: send SIGINT to the command's process group MS milliseconds after its start
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

static long now_us() {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000L + t.tv_nsec / 1000;
}

static long median(std::vector<long> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

int main(int argc, char** argv) {
    int first = 1;
    long interrupt_ms = -1;
    if (argc > 2 && strcmp(argv[1], "-i") == 0) {
        interrupt_ms = atol(argv[2]);
        first = 3;
    }
    if (argc < first + 2) {
        fprintf(stderr, "usage: proc_probe [-i MS] RUNS COMMAND [ARG...]\n");
        return 2;
    }
    int runs = atoi(argv[first]);
    char** command = argv + first + 1;
    std::vector<long> times, latencies;
    long peak = 0, cpu = 0;
    for (int i = 0; i < runs; i++) {
        long start = now_us();
        pid_t pid = fork();
        if (pid == 0) {
            // A group of its own, so that SIGINT reaches the shell commands it runs too,
            // as a technician's Ctrl-C at a terminal does.
            setpgid(0, 0);
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execvp(command[0], command);
            _exit(127);
        }
        int status;
        struct rusage ru;
        if (interrupt_ms >= 0) {
            usleep(static_cast<useconds_t>(interrupt_ms * 1000));
            long sent = now_us();
            kill(-pid, SIGINT);
            wait4(pid, &status, 0, &ru);
            latencies.push_back(now_us() - sent);
        } else {
            wait4(pid, &status, 0, &ru);
        }
        times.push_back(now_us() - start);
        peak = std::max(peak, ru.ru_maxrss);
        long used =
            (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1000000L + ru.ru_utime.tv_usec + ru.ru_stime.tv_usec;
        cpu = std::max(cpu, used);
    }
    printf("%ld\t%ld\t%ld\t%ld\n", median(times), peak, cpu, median(latencies));
    return 0;
}
