#include "records/RecordLock.h"

std::recursive_mutex g_recordLock;
