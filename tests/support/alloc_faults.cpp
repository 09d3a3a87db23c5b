#include "alloc_faults.h"

namespace {
std::size_t g_fail_size = 0;  // 0: pass everything through
int g_refused = 0;
}  // namespace

extern "C" void *__real_malloc(std::size_t);

extern "C" void *__wrap_malloc(std::size_t size) {
    if (g_fail_size != 0 && size == g_fail_size) {
        ++g_refused;
        return nullptr;
    }
    return __real_malloc(size);
}

namespace cmpr_test {
MallocFailure::MallocFailure(std::size_t size) {
    g_fail_size = size;
    g_refused = 0;
}
MallocFailure::~MallocFailure() {
    g_fail_size = 0;
}
int MallocFailure::refused() const {
    return g_refused;
}
}  // namespace cmpr_test
