// The libFuzzer entry points of one fuzz target, the one QV_FUZZ_TARGET names
// (see CMakeLists.txt).  The module is the one beside the program.
#include "fuzz/fuzz_targets.h"

#include "qvhost/qvhost.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv) {
    if (*argc > 0) qvfuzz::set_module_path(qvhost::module_beside(qvhost::running_program((*argv)[0])));
    qvfuzz::module();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const qvfuzz::Finding finding = qvfuzz::QV_FUZZ_TARGET(data, size);
    if (!finding.empty()) {
        // A finding is a fault like a crash: libFuzzer keeps the input.
        std::fprintf(stderr, "qvfuzz: finding: %s\n", finding.c_str());
        std::abort();
    }
    return 0;
}
