// cpu: the processor load from the kernel's counters, measured at a fixed interval.
#pragma once

#include <stdint.h>
#include <stdio.h>

#define CPU_LOG_SIZE 64

struct cpu_param {
    int32_t count;  // measurements to print
    int32_t delay;  // seconds between measurements
    char log[CPU_LOG_SIZE];
};

// One reading of the counters, in clock ticks. The previous reading is kept in the
// same form; a reading of all zeros means there is none yet.
struct cpu_counters {
    uint64_t user;  // user + nice
    uint64_t nice;
    uint64_t sys;  // system + irq + softirq
    uint64_t idle;
    uint64_t iowait;
    uint64_t irq;
    uint64_t softirq;
    uint64_t steal;
    uint64_t total;  // the eight system counters
    uint64_t proc;   // this process: utime + stime + cutime + cstime
};

// Shares of the interval in percent.
struct cpu_load {
    double user;
    double nice;
    double sys;
    double idle;
    double iowait;
    double irq;
    double softirq;
    double steal;
    double cpu;  // busy: everything but idle
    double proc;
};

// Parses the whole vector into the settings; -1 after an error, which is reported and
// followed by the usage.
int cpu_init_param(cpu_param* param, int argc, char** argv);
// The all-processor line of /proc/stat into the system counters; -1 when there is none.
int cpu_read_stat(FILE* fp, cpu_counters* cur);
// The process times of /proc/self/stat; -1 when they cannot be read.
int cpu_read_self_stat(FILE* fp, cpu_counters* cur);
// Takes a new reading: the first one only becomes the previous reading; later ones
// fill the load with the shares of the interval since the previous one.
void cpu_update(cpu_counters* prev, const cpu_counters& cur, cpu_load* load);
int cpu_sample(cpu_load* load);
