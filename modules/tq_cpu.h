// SPDX-License-Identifier: Apache-2.0
// cpu: the processor load from the kernel's counters, measured at a fixed interval.
// Declared here: reading the counters from open files and turning two readings
// into shares, apart from where the files come from.
#pragma once

#include <stdint.h>
#include <stdio.h>

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

// The all-processor line of /proc/stat into the system counters; -1 when there is none
// or it lacks any of the eight counters.
int cpu_read_stat(FILE* fp, cpu_counters* cur);
// The process times of /proc/self/stat; -1 when they cannot be read.
int cpu_read_self_stat(FILE* fp, cpu_counters* cur);
// Takes a new reading: the first one only becomes the previous reading; later ones
// fill the load with the shares of the interval since the previous one.
void cpu_update(cpu_counters* prev, const cpu_counters& cur, cpu_load* load);
