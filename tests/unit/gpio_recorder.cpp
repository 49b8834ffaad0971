#include "tests/unit/gpio_recorder.h"

#include "platform/gpio/gpio.h"

std::vector<std::pair<int, int>> g_gpio_writes;
std::set<int> g_gpio_failing_lines;

int extGpio[] = {0};
const int extGpioCount = 1;

int gpio_read(int gpio) {
    for (auto it = g_gpio_writes.rbegin(); it != g_gpio_writes.rend(); ++it) {
        if (it->first == gpio) {
            return it->second;
        }
    }
    return 0;
}

int gpio_write(int gpio, int level) {
    if (g_gpio_failing_lines.count(gpio) != 0) {
        return -1;
    }
    g_gpio_writes.emplace_back(gpio, level != 0);
    return 0;
}

int gpio_close(void) {
    return 0;
}
