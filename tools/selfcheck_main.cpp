// Prints the toolkit's known-answer checks; exits non-zero if any fails.
#include <qor/self_check.h>

#include <cstdio>

int main() {
    qor::toolkit::SelfCheckResult results[32];
    const size_t count = qor::toolkit::RunSelfCheck(results, 32);
    size_t failed = 0;
    std::printf("QOR Vaultis toolkit self-check\n");
    for (size_t k = 0; k < count && k < 32; ++k) {
        std::printf("  %-34s %s\n", results[k].name, results[k].passed ? "ok" : "FAILED");
        if (!results[k].passed) ++failed;
    }
    std::printf("%zu of %zu checks passed\n", count - failed, count);
    return failed == 0 ? 0 : 1;
}
