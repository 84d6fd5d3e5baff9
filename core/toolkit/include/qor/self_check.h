// Known-answer checks of the toolkit's algorithms, run on demand (the README's first command
// prints them). Each check compares against a published value or a fixed round trip.
#pragma once

#include <cstddef>

namespace qor::toolkit {

struct SelfCheckResult {
    const char* name;
    bool passed;
};

// Runs every check; writes at most `capacity` results and returns how many checks exist.
size_t RunSelfCheck(SelfCheckResult* results, size_t capacity);

}  // namespace qor::toolkit
