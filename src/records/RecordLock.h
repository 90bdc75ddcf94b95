#pragma once

#include <mutex>

// The process-wide lock of the record store: it guards the scan list (appends,
// removal, clearing, reordering, access by index) and the scan cursor. Recursive, so
// a holder may call operations that take it again.
extern std::recursive_mutex g_recordLock;
