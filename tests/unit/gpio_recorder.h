// A recording stand-in for the GPIO library: every line write in order, and lines
// that refuse to be driven.
#pragma once

#include <set>
#include <utility>
#include <vector>

extern std::vector<std::pair<int, int>> g_gpio_writes;  // (line, level)
extern std::set<int> g_gpio_failing_lines;
