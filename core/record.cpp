#include "core/record.h"

#include <cstring>
#include <new>

namespace qv {

namespace {
const char kCreateError[] = "err";
}

void *allocate_record(std::size_t size, QvError *err) {
    void *mem = ::operator new(size, std::align_val_t{kRecordAlignment}, std::nothrow);
    if (mem == nullptr) return creation_failed(err);
    std::memset(mem, 0, size);
    return mem;
}

void *creation_failed(QvError *err) {
    if (err != nullptr) *err = kCreateError;
    return nullptr;
}

void release_record(void *record) {
    if (record != nullptr) ::operator delete(record, std::align_val_t{kRecordAlignment});
}

}  // namespace qv
