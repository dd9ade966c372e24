#pragma once

#include <cstdint>

// Milliseconds of a steady clock; wraps like a 32-bit tick counter, so compare differences.
uint32_t GetTickCount();
