// SPDX-License-Identifier: Apache-2.0
#include "modules/tq_cpu.h"

#include <getopt.h>
#include <stdlib.h>
#include <string.h>

#include "framework/module.h"
#include "framework/test.h"
#include "framework/usage.h"
#include "osa/osa.h"
#include "platform/common/unique_fd.h"

#define CPU_MODULE_ID 8
#define CPU_VERSION "1.0.2"
#define CPU_STAT_PATH "/proc/stat"
#define CPU_SELF_STAT_PATH "/proc/self/stat"

#define CPU_GREEN "\033[1;32m"
#define CPU_RED "\033[0;31m"
#define CPU_DEFAULT "\033[0;39m"

#define CPU_LOG_SIZE 64

struct cpu_param {
    int32_t count;  // measurements to print
    int32_t delay;  // seconds between measurements
    char log[CPU_LOG_SIZE];
};

// clang-format off
constexpr auto kCpuOptions = option_table("module name: cpu", {
    {"delay", required_argument, 'd', "digit", "cpu check interval seconds, defalut [1]s"},
    {"count", required_argument, 'c', "digit", "cpu repeat count times, defalut [60]"},
    {"log", required_argument, 'l', "file", "cpu log file, default[/tmp/cpulog.txt]"},
    {"version", no_argument, 'v', "", "cpu version information"},
});
// clang-format on
static_assert(kCpuOptions.help_count == 5, "every option has its help row");

static cpu_param s_cpu_param = {60, 1, "/tmp/cpulog.txt"};
static cpu_counters s_cpu_prev;

static int cpu_usage(void) {
    return print_module_usage(CPU_MODULE_ID, kCpuOptions);
}

static void cpu_show_version(void) {
    OSA_printf("CPU version: %s\n", CPU_VERSION);
}

// -d and -c are read by option_number and taken as signed.
static const char* cpu_option(int opt, const char* arg) {
    switch (opt) {
        case 'd':
            s_cpu_param.delay = static_cast<int32_t>(option_number(arg));
            return s_cpu_param.delay <= 0 ? "Cpu delay must > 0\n" : nullptr;
        case 'c':
            s_cpu_param.count = static_cast<int32_t>(option_number(arg));
            return s_cpu_param.count <= 0 ? "Cpu count must > 0\n" : nullptr;
        case 'l':
            if (strlen(arg) >= CPU_LOG_SIZE - 1) {
                return "Cpu log name length must < 64!\n";
            }
            snprintf(s_cpu_param.log, sizeof s_cpu_param.log, "%s", arg);
            return nullptr;
        case 'v':
            cpu_show_version();
            return nullptr;
        default:
            return nullptr;
    }
}

static int cpu_init_param(int argc, char** argv) {
    return option_parse(argc, argv, kCpuOptions, cpu_option, {"tq_cpu", "cpu_init_param", cpu_usage});
}

int cpu_read_stat(FILE* fp, cpu_counters* cur) {
    char name[5];
    unsigned long user, nice, system, idle, iowait, irq, softirq, steal;
    for (;;) {
        user = nice = system = idle = iowait = irq = softirq = steal = 0;
        int n = fscanf(fp, "%4s %lu %lu %lu %lu %lu %lu %lu %lu %*[^\n]", name, &user, &nice, &system, &idle,
                       &iowait, &irq, &softirq, &steal);
        if (n == EOF) {
            return -1;
        }
        // A line cut short would leave counters at 0 and turn the next interval into
        // nonsense: without all eight there is no reading.
        if (n >= 1 && strcmp(name, "cpu") == 0) {
            if (n != 9) {
                return -1;
            }
            break;
        }
    }
    cur->user = static_cast<uint64_t>(user) + nice;
    cur->nice = nice;
    cur->sys = static_cast<uint64_t>(system) + irq + softirq;
    cur->idle = idle;
    cur->iowait = iowait;
    cur->irq = irq;
    cur->softirq = softirq;
    cur->steal = steal;
    cur->total = static_cast<uint64_t>(user) + nice + system + idle + iowait + irq + softirq + steal;
    return 0;
}

int cpu_read_self_stat(FILE* fp, cpu_counters* cur) {
    // The process name (field 2) is the program's file name in parentheses and may
    // hold blanks and parentheses itself ("debug" started through a link named
    // "a b)"): the fields after it are counted from the last ')'. The four times
    // stand well within the first 512 characters.
    char line[512];
    if (fgets(line, sizeof line, fp) == nullptr) {
        return -1;
    }
    const char* after_name = strrchr(line, ')');
    unsigned long utime, stime, cutime, cstime;
    if (after_name == nullptr ||
        sscanf(after_name + 1, " %*s %*d %*d %*d %*d %*d %*d %*d %*d %*d %*d %lu %lu %lu %lu", &utime, &stime,
               &cutime, &cstime) < 4) {
        return -1;
    }
    cur->proc = static_cast<uint64_t>(utime) + stime + cutime + cstime;
    return 0;
}

static bool cpu_counters_empty(const cpu_counters& c) {
    return c.user == 0 && c.nice == 0 && c.sys == 0 && c.idle == 0 && c.iowait == 0 && c.irq == 0 &&
           c.softirq == 0 && c.steal == 0 && c.total == 0 && c.proc == 0;
}

// A counter that went down (proc(5): iowait can, and the sums over many processors
// do) counts as no change, never as an unsigned wrap of 2^64 ticks.
static uint64_t cpu_delta(uint64_t cur, uint64_t prev) {
    return cur > prev ? cur - prev : 0;
}

// The interval is the sum of what the counters advanced by, in a double, so
// that no share is negative or past 100. An interval in which nothing advanced shows
// 0 % everywhere, busy included, rather than 0 divided by 0.
static double cpu_share(uint64_t part, double total) {
    return total > 0.0 ? static_cast<double>(part) * 100.0 / total : 0.0;
}

void cpu_update(cpu_counters* prev, const cpu_counters& cur, cpu_load* load) {
    if (cpu_counters_empty(*prev)) {
        *prev = cur;
        return;
    }
    const uint64_t user = cpu_delta(cur.user, prev->user);
    const uint64_t sys = cpu_delta(cur.sys, prev->sys);
    const uint64_t idle = cpu_delta(cur.idle, prev->idle);
    const uint64_t iowait = cpu_delta(cur.iowait, prev->iowait);
    const uint64_t steal = cpu_delta(cur.steal, prev->steal);
    // user holds nice, sys holds irq and softirq: these five make up the whole.
    const double total = static_cast<double>(user) + static_cast<double>(sys) + static_cast<double>(idle) +
                         static_cast<double>(iowait) + static_cast<double>(steal);
    load->user = cpu_share(user, total);
    load->nice = cpu_share(cpu_delta(cur.nice, prev->nice), total);
    load->sys = cpu_share(sys, total);
    load->idle = cpu_share(idle, total);
    load->iowait = cpu_share(iowait, total);
    load->irq = cpu_share(cpu_delta(cur.irq, prev->irq), total);
    load->softirq = cpu_share(cpu_delta(cur.softirq, prev->softirq), total);
    load->steal = cpu_share(steal, total);
    load->cpu = total > 0.0 ? 100.0 - cpu_share(idle, total) : 0.0;
    load->proc = cpu_share(cpu_delta(cur.proc, prev->proc), total);
    *prev = cur;
}

static int cpu_sample(cpu_load* load) {
    cpu_counters cur = {};
    UniqueFile stat(fopen(CPU_STAT_PATH, "re"));
    if (!stat) {
        fputs(CPU_RED "Error: " CPU_STAT_PATH " not found. Is the /proc filesystem mounted?\n" CPU_DEFAULT
                      " \n",
              stderr);
        return -1;
    }
    int found = cpu_read_stat(stat.get(), &cur);
    if (stat.close() != 0 || found != 0) {
        // Opened but unreadable, empty or cut short: said as loudly as a missing file,
        // or the lines that follow would pass the last values off as a measurement.
        fputs(CPU_RED "Error: Failed to get cpu load information.\n" CPU_DEFAULT " \n", stderr);
        return -1;
    }
    UniqueFile self(fopen(CPU_SELF_STAT_PATH, "re"));
    if (!self) {
        fputs(CPU_RED "Error: " CPU_SELF_STAT_PATH
                      " not found. Is the /proc filesystem mounted?\n" CPU_DEFAULT " \n",
              stderr);
        return -1;
    }
    if (cpu_read_self_stat(self.get(), &cur) != 0) {
        fputs(CPU_RED "Error: Failed to get process load information.\n" CPU_DEFAULT " \n", stderr);
        return -1;
    }
    if (self.close() != 0) {
        return -1;
    }
    cpu_update(&s_cpu_prev, cur, load);
    return 0;
}

// Whole seconds as the sleep's milliseconds, held to what it can take.
static uint32_t cpu_delay_ms(int32_t seconds) {
    uint64_t ms = static_cast<uint64_t>(seconds) * 1000u;
    return ms > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(ms);
}

static int cpu_test_main(int argc, char** argv) {
    const cpu_param& param = s_cpu_param;
    if (cpu_init_param(argc, argv) != 0) {
        return 0;
    }
    UniqueFile log(fopen(param.log, "wbe"));
    if (log) {
        OSA_printf(CPU_GREEN "Create cpu log: %s\n" CPU_DEFAULT " \n", param.log);
    } else {
        fprintf(stderr, CPU_RED "Error: Can't create log %s\n" CPU_DEFAULT " \n", param.log);
    }
    OSA_printf(CPU_GREEN "ARM LOAD RUNNING FOR COUNT: %d \n" CPU_DEFAULT " \n", param.count);

    cpu_load load = {};
    int64_t step = 0;
    int32_t counted = 0;
    double sum = 0.0;
    double max = 0.0;
    double min = 100.0;
    // Step 0 only takes the first reading, so every printed line covers a whole interval.
    while (g_exit_flag == 0) {
        cpu_sample(&load);
        if (step > 0 && step <= param.count) {
            max = load.cpu > max ? load.cpu : max;
            min = load.cpu < min ? load.cpu : min;
            sum += load.cpu;
            counted++;
            if (log) {
                fprintf(log.get(), "CPU:%3.0f%% (sys:%3.0f%% user:%3.0f%% wait:%3.0f%% steal:%3.0f%%)\n",
                        load.cpu, load.sys, load.user, load.iowait, load.steal);
                // A run may be long and end by a kill: what was measured stays.
                fflush(log.get());
            }
            OSA_printf(CPU_GREEN
                       "CPU:%3.0f%% (sys:%3.0f%% user:%3.0f%% wait:%3.0f%% steal:%3.0f%%)" CPU_DEFAULT " \n",
                       load.cpu, load.sys, load.user, load.iowait, load.steal);
        } else if (step > param.count) {
            g_exit_flag = 1;
        }
        step++;
        OSA_sleepMillis(cpu_delay_ms(param.delay));
    }

    double average = sum / static_cast<double>(counted);
    if (log) {
        fprintf(log.get(), "Average:%4.3f%%   Max:%4.2f%%  Min:%4.2f%%\n", average, max, min);
        log.reset();
    }
    OSA_printf(CPU_GREEN "Average:%4.3f%%   Max:%4.2f%%  Min:%4.2f%%" CPU_DEFAULT " \n", average, max, min);
    return 0;
}

MODULE_REGISTRATION(cpu, CPU_MODULE_ID, nullptr, kCpuOptions)
