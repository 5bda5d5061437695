#include "refhost/handler_record.h"

#include <cstring>
#include <memory>

#include "refhost/sanitizers.h"

#if defined(QV_UNDER_ASAN)
#include <sanitizer/asan_interface.h>
#define QV_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define QV_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define QV_POISON(p, n) ((void)(p), (void)(n))
#define QV_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace refhost {

namespace {

constexpr int kGuardWords = 4;
const uintptr_t kGuard = static_cast<uintptr_t>(0x5AFEC0DEu);

}  // namespace

int handler_record_words(uint32_t build) {
    return build >= QV_FIRST_BUILD_WITH_HANDLER_WORD7 ? QV_HANDLER_WORDS : QV_HANDLER_WORDS_BEFORE_WORD7;
}

int activate_in_host_record(QvActivateFunc activate, int version, QvGlobalFunc global, uint32_t build, HostNode &node) {
    static_assert(sizeof(QvNodeHandler) == QV_HANDLER_WORDS * sizeof(void *), "the handler record is words");
    // Word 7 of a version 5 record is the host's own: the module's part
    // ends before it, and the guard starts there.
    const int words = version == QV_HANDLER_VERSION_2018 ? QV_HANDLER_WORDS - 1 : handler_record_words(build);
    std::unique_ptr<uintptr_t[]> record(new uintptr_t[words + kGuardWords]);
    for (int i = 0; i < words; ++i) record[i] = 0;
    for (int i = 0; i < kGuardWords; ++i) record[words + i] = kGuard;
    node.inst = QvInstanceFuncs{};
    node.rend = QvRenderFuncs{};
    record[0] = reinterpret_cast<uintptr_t>(&node.inst);
    record[2] = reinterpret_cast<uintptr_t>(&node.rend);

    QV_POISON(&record[words], kGuardWords * sizeof(uintptr_t));
    const int rc = activate(version, global, record.get(), nullptr);
    QV_UNPOISON(&record[words], kGuardWords * sizeof(uintptr_t));

    node.wrote_past_record = false;
    for (int i = 0; i < kGuardWords; ++i)
        if (record[words + i] != kGuard) node.wrote_past_record = true;
    node.handler = QvNodeHandler{};
    std::memcpy(&node.handler, record.get(), static_cast<std::size_t>(words) * sizeof(uintptr_t));
    return rc;
}

}  // namespace refhost
