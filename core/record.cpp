#include "core/record.h"

#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#include <malloc.h>
#endif

namespace qv {

namespace {

const char kCreateError[] = "err";

// The C runtime's aligned allocation, not the C++ one: the module throws and
// catches nothing, and links none of the C++ runtime's exception machinery
// (which on Windows would bring in a thread library of its own).
void *aligned_allocation(std::size_t size) {
#ifdef _WIN32
    return _aligned_malloc(size, kRecordAlignment);
#else
    void *mem = nullptr;
    return posix_memalign(&mem, kRecordAlignment, size) == 0 ? mem : nullptr;
#endif
}

void aligned_release(void *mem) {
#ifdef _WIN32
    _aligned_free(mem);
#else
    std::free(mem);
#endif
}

#ifdef QV_ALLOCATION_FAULTS
// The test build of the module (QV_Math_Node_alloc_faults) can make one
// allocation fail: the calls since the fault was armed, and the one that fails
// (0: none).  The product module has neither.
long g_allocations = 0;
long g_failing_allocation = 0;
#endif

}  // namespace

#ifdef QV_ALLOCATION_FAULTS
#if defined(_WIN32)
#define QV_TEST_EXPORT __declspec(dllexport)
#else
#define QV_TEST_EXPORT __attribute__((visibility("default")))
#endif

// Arms the fault: the n-th allocation from now fails, none when n is 0.
// Returns the allocations asked for since the fault was last armed.
extern "C" QV_TEST_EXPORT long qv_fail_allocation_at(long n) {
    const long made = g_allocations;
    g_allocations = 0;
    g_failing_allocation = n;
    return made;
}
#endif

void *allocate_record(std::size_t size, QvError *err) {
#ifdef QV_ALLOCATION_FAULTS
    if (++g_allocations == g_failing_allocation) return creation_failed(err);
#endif
    void *mem = aligned_allocation(size);
    if (mem == nullptr) return creation_failed(err);
    std::memset(mem, 0, size);
    return mem;
}

void *creation_failed(QvError *err) {
    if (err != nullptr) *err = kCreateError;
    return nullptr;
}

void release_record(void *record) {
    if (record != nullptr) aligned_release(record);
}

}  // namespace qv
