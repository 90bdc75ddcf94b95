#pragma once

// Test seam: when 0 or more, a start fails to create the worker of that slot and every
// later one, as if the system had run out of threads. -1 (the default) turns it off.
extern int g_scanThreadCreateLimitForTests;
