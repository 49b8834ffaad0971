// SPDX-License-Identifier: Apache-2.0
#include "framework/module.h"

#include <stdio.h>
#include <string.h>
#include <strings.h>

#include "osa/osa.h"

module_record g_module_table[MODULE_MAX];
int g_module_count = 0;

void module_register(const module_record* record) {
    if (record == nullptr || record->name == nullptr) {
        return;
    }
    if (module_find(record->name) != nullptr) {
        return;
    }
    if (g_module_count > MODULE_MAX - 1) {
        return;
    }
    bool has_free_slot = false;
    for (const module_record& slot : g_module_table) {
        has_free_slot = has_free_slot || slot.name == nullptr;
    }
    if (!has_free_slot) {
        return;
    }
    int j = 0;
    while (j < g_module_count && g_module_table[j].id <= record->id) {
        j++;
    }
    for (int k = g_module_count; k > j; k--) {
        g_module_table[k] = g_module_table[k - 1];
    }
    g_module_table[j] = *record;
    g_module_count++;
}

// The slot is cleared where it stands: unregistration happens only at teardown, and
// from then on the table is only scanned slot by slot, never by count.
void module_unregister(const module_record* record) {
    if (record == nullptr || record->name == nullptr) {
        return;
    }
    module_record* slot = module_find(record->name);
    if (slot == nullptr) {
        return;
    }
    memset(slot, 0, sizeof *slot);
    g_module_count--;
}

module_record* module_find(const char* name) {
    for (module_record& slot : g_module_table) {
        if (slot.name != nullptr && strcasecmp(slot.name, name) == 0) {
            return &slot;
        }
    }
    return nullptr;
}

static module_record* module_lookup_exact(const char* name) {
    for (int i = 0; i < g_module_count; i++) {
        if (strcmp(g_module_table[i].name, name) == 0) {
            return &g_module_table[i];
        }
    }
    return nullptr;
}

int module_run(const char* name, int argc, char** argv) {
    module_record* m = module_lookup_exact(name);
    if (m != nullptr) {
        m->run(argc, argv);
    }
    return 0;
}

int module_usage(const char* name) {
    module_record* m = module_lookup_exact(name);
    if (m != nullptr) {
        m->usage();
    }
    return 0;
}

void module_exit_all(void) {
    for (int i = 0; i < g_module_count; i++) {
        if (g_module_table[i].name != nullptr && g_module_table[i].exit != nullptr) {
            g_module_table[i].exit();
        }
    }
}

void module_list(void) {
    OSA_puts("modules name:");
    for (int i = 0; i < g_module_count; i++) {
        OSA_printf("\t%s", g_module_table[i].name);
        if ((i + 1) % 8 == 0) {
            OSA_printf("\n");
        }
    }
    OSA_printf("\n");
}
