// SPDX-License-Identifier: Apache-2.0
// Runs a command many times as a whole process and prints, tab-separated: the median
// wall time in microseconds, the peak resident set in KiB, the largest processor time
// (user + system) in microseconds, and with -i the median time from SIGINT to exit in
// microseconds. Being small itself matters: a child inherits its parent's high-water
// mark up to exec, so a probe forked from a large interpreter would report the
// interpreter's memory, not the command's.
//
//   proc_probe [-i MS] RUNS COMMAND [ARG...]
//   proc_probe -b BASELINE RUNS COMMAND [ARG...]
//   -i: send SIGINT to the command's process group MS milliseconds after its start
//   -b: run COMMAND and the program BASELINE (without arguments) in turns, RUNS pairs,
//       and print instead: the median of the pairwise ratios of COMMAND's wall time to
//       BASELINE's, the count of pairs, and the median wall times of both in
//       microseconds. A pair is taken within a few milliseconds, so a load that comes
//       and goes on the machine weighs on both of its runs alike, which it does not on
//       two medians taken one after the other.
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

template <typename T>
static T median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? T(-1) : v[v.size() / 2];
}

struct Run {
    long wall_us;
    long latency_us;
    struct rusage ru;
};

static Run run_once(char** command, long interrupt_ms) {
    Run r{0, -1, {}};
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
    if (interrupt_ms >= 0) {
        usleep(static_cast<useconds_t>(interrupt_ms * 1000));
        long sent = now_us();
        kill(-pid, SIGINT);
        wait4(pid, &status, 0, &r.ru);
        r.latency_us = now_us() - sent;
    } else {
        wait4(pid, &status, 0, &r.ru);
    }
    r.wall_us = now_us() - start;
    return r;
}

int main(int argc, char** argv) {
    int first = 1;
    long interrupt_ms = -1;
    char* baseline = nullptr;
    if (argc > 2 && strcmp(argv[1], "-i") == 0) {
        interrupt_ms = atol(argv[2]);
        first = 3;
    } else if (argc > 2 && strcmp(argv[1], "-b") == 0) {
        baseline = argv[2];
        first = 3;
    }
    if (argc < first + 2) {
        fprintf(stderr, "usage: proc_probe [-i MS | -b BASELINE] RUNS COMMAND [ARG...]\n");
        return 2;
    }
    int runs = atoi(argv[first]);
    char** command = argv + first + 1;
    if (baseline != nullptr) {
        char* base_command[] = {baseline, nullptr};
        std::vector<double> ratios;
        std::vector<long> times, base_times;
        for (int i = 0; i < runs; i++) {
            // Which of the two goes first alternates, so that neither always finds the
            // other's pages freshly in the cache.
            long base = 0, own = 0;
            if (i % 2 == 0) {
                base = run_once(base_command, -1).wall_us;
                own = run_once(command, -1).wall_us;
            } else {
                own = run_once(command, -1).wall_us;
                base = run_once(base_command, -1).wall_us;
            }
            ratios.push_back(static_cast<double>(own) / static_cast<double>(base));
            times.push_back(own);
            base_times.push_back(base);
        }
        printf("%.3f\t%d\t%ld\t%ld\n", median(ratios), runs, median(times), median(base_times));
        return 0;
    }
    std::vector<long> times, latencies;
    long peak = 0, cpu = 0;
    for (int i = 0; i < runs; i++) {
        Run r = run_once(command, interrupt_ms);
        times.push_back(r.wall_us);
        if (r.latency_us >= 0) {
            latencies.push_back(r.latency_us);
        }
        peak = std::max(peak, r.ru.ru_maxrss);
        long used = (r.ru.ru_utime.tv_sec + r.ru.ru_stime.tv_sec) * 1000000L + r.ru.ru_utime.tv_usec +
                    r.ru.ru_stime.tv_usec;
        cpu = std::max(cpu, used);
    }
    printf("%ld\t%ld\t%ld\t%ld\n", median(times), peak, cpu, median(latencies));
    return 0;
}
