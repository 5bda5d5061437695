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

}  // namespace

void *allocate_record(std::size_t size, QvError *err) {
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
