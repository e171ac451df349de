// The width a user sets with COLUMNS, read alike on every platform.
#include "cli/console.h"

#include <cstdlib>

namespace {
constexpr long MAX_COLUMNS = 10000; // a larger COLUMNS is no width but a mistake
} // namespace

int console_columns_set() {
    const char* columns = getenv("COLUMNS");
    if (columns == nullptr || *columns == '\0') {
        return 0;
    }
    char* end = nullptr;
    const long n = strtol(columns, &end, 10);
    return *end == '\0' && n > 0 && n <= MAX_COLUMNS ? static_cast<int>(n) : 0;
}
