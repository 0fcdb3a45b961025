// Counts operator new calls per thread, so tests can prove that a hot path
// allocates nothing.
#include <cstdlib>
#include <new>

#include "tk_test_util.h"

namespace {
thread_local long g_allocations = 0;

void* counted_alloc(std::size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n ? n : 1))
        return p;
    throw std::bad_alloc();
}
}  // namespace

long tk_test::allocations() {
    return g_allocations;
}

void* operator new(std::size_t n) {
    return counted_alloc(n);
}
void* operator new[](std::size_t n) {
    return counted_alloc(n);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
