// The one allocation of the module: every record it makes for the host (the
// node instance, the logic instance, the viewer and cache records) is
// allocated and released here, zeroed and 16-byte aligned.
#pragma once

#include "host/host_api.h"

#include <cstddef>

namespace qv {

constexpr std::size_t kRecordAlignment = 16;

// A zeroed record of `size` bytes; null after pointing *err (when given) at
// the text "err" when the allocation fails.
void *allocate_record(std::size_t size, QvError *err);

// What a create gives back when it fails: null, after pointing *err (when
// given) at "err".
void *creation_failed(QvError *err);

// Releases a record made by allocate_record; null is ignored.
void release_record(void *record);

}  // namespace qv
