#include "tests/allocations/allocation_count.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "refhost/sanitizers.h"

namespace qvalloc {

namespace {

std::atomic<long> g_allocations{0};

void count() { g_allocations.fetch_add(1, std::memory_order_relaxed); }

}  // namespace

long allocations() { return g_allocations.load(std::memory_order_relaxed); }

}  // namespace qvalloc

#if defined(QV_UNDER_ASAN) || defined(QV_UNDER_TSAN)
// ---- Sanitizer builds: the sanitizer's allocation hooks ---------------------

// The sanitizer runtimes' own interface (sanitizer/allocator_interface.h,
// which not every compiler installs): up to a few pairs of hooks, called on
// every allocation and release of the program.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void *, std::size_t),
                                                         void (*free_hook)(const volatile void *));

namespace qvalloc {

namespace {

void on_allocation(const volatile void *, std::size_t) { count(); }
void on_release(const volatile void *) {}

// Installed before main, so that every allocation of the run is seen.
const bool kHooked = __sanitizer_install_malloc_and_free_hooks(on_allocation, on_release) != 0;

}  // namespace

const char *counting_method() { return kHooked ? "the sanitizer's allocation hooks" : "nothing (no hook slot left)"; }

bool watch_module(const void *) { return kHooked; }

}  // namespace qvalloc

#elif defined(_WIN32)
// ---- Windows: the import tables of the program and the module ----------------

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace qvalloc {

namespace {

using MallocFn = void *(__cdecl *)(std::size_t);
using CallocFn = void *(__cdecl *)(std::size_t, std::size_t);
using ReallocFn = void *(__cdecl *)(void *, std::size_t);
using AlignedMallocFn = void *(__cdecl *)(std::size_t, std::size_t);
using AlignedReallocFn = void *(__cdecl *)(void *, std::size_t, std::size_t);

// The C runtime's functions, as the first import table patched held them.
MallocFn g_malloc = nullptr;
CallocFn g_calloc = nullptr;
ReallocFn g_realloc = nullptr;
AlignedMallocFn g_aligned_malloc = nullptr;
AlignedReallocFn g_aligned_realloc = nullptr;

void *__cdecl counted_malloc(std::size_t n) {
    count();
    return g_malloc(n);
}
void *__cdecl counted_calloc(std::size_t k, std::size_t n) {
    count();
    return g_calloc(k, n);
}
void *__cdecl counted_realloc(void *p, std::size_t n) {
    count();
    return g_realloc(p, n);
}
void *__cdecl counted_aligned_malloc(std::size_t n, std::size_t alignment) {
    count();
    return g_aligned_malloc(n, alignment);
}
void *__cdecl counted_aligned_realloc(void *p, std::size_t n, std::size_t alignment) {
    count();
    return g_aligned_realloc(p, n, alignment);
}

struct Hook {
    const char *name;
    void *counting;
    void **original;
};

const Hook kHooks[] = {
    {"malloc", reinterpret_cast<void *>(counted_malloc), reinterpret_cast<void **>(&g_malloc)},
    {"calloc", reinterpret_cast<void *>(counted_calloc), reinterpret_cast<void **>(&g_calloc)},
    {"realloc", reinterpret_cast<void *>(counted_realloc), reinterpret_cast<void **>(&g_realloc)},
    {"_aligned_malloc", reinterpret_cast<void *>(counted_aligned_malloc), reinterpret_cast<void **>(&g_aligned_malloc)},
    {"_aligned_realloc", reinterpret_cast<void *>(counted_aligned_realloc),
     reinterpret_cast<void **>(&g_aligned_realloc)},
};

void write_slot(void **slot, void *value) {
    DWORD was = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &was)) return;
    *slot = value;
    VirtualProtect(slot, sizeof *slot, was, &was);
}

// Points every import of the hooked functions in one image at the counting
// functions; an import of another runtime's function of the same name (a
// different original) is left alone.  Returns how many imports count.
int patch_imports(HMODULE image) {
    auto *base = reinterpret_cast<unsigned char *>(image);
    const auto *dos = reinterpret_cast<const IMAGE_DOS_HEADER *>(base);
    const auto *nt = reinterpret_cast<const IMAGE_NT_HEADERS *>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY &dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0) return 0;
    int counted = 0;
    for (auto *d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(base + dir.VirtualAddress); d->Name != 0; ++d) {
        if (d->OriginalFirstThunk == 0) continue;  // no names to read
        auto *names = reinterpret_cast<const IMAGE_THUNK_DATA *>(base + d->OriginalFirstThunk);
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + d->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto *by_name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData);
            for (const Hook &h : kHooks) {
                if (std::strcmp(reinterpret_cast<const char *>(by_name->Name), h.name) != 0) continue;
                void **slot = reinterpret_cast<void **>(&slots->u1.Function);
                if (*slot == h.counting) {
                    ++counted;
                } else if (*h.original == nullptr || *h.original == *slot) {
                    *h.original = *slot;
                    write_slot(slot, h.counting);
                    ++counted;
                }
            }
        }
    }
    return counted;
}

// The program's own imports count from before main.
const int kProgramImports = patch_imports(GetModuleHandleA(nullptr));

}  // namespace

const char *counting_method() {
    return kProgramImports > 0 ? "the import tables of the program and the module" : "nothing (no allocation imports)";
}

bool watch_module(const void *address) {
    HMODULE image = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(address), &image))
        return false;
    return patch_imports(image) > 0;
}

}  // namespace qvalloc

#else
// ---- Linux: the C library's allocation functions, replaced --------------------

#include <malloc.h>

extern "C" {
void *__libc_malloc(std::size_t n);
void *__libc_calloc(std::size_t k, std::size_t n);
void *__libc_realloc(void *p, std::size_t n);
void *__libc_memalign(std::size_t alignment, std::size_t n);
void __libc_free(void *p);
}

// Visible to every shared object, so that the module allocates through them.
#define QV_REPLACES __attribute__((visibility("default")))

extern "C" {

QV_REPLACES void *malloc(std::size_t n) {
    qvalloc::count();
    return __libc_malloc(n);
}

QV_REPLACES void *calloc(std::size_t k, std::size_t n) {
    qvalloc::count();
    return __libc_calloc(k, n);
}

QV_REPLACES void *realloc(void *p, std::size_t n) {
    qvalloc::count();
    return __libc_realloc(p, n);
}

QV_REPLACES void free(void *p) { __libc_free(p); }

QV_REPLACES void *memalign(std::size_t alignment, std::size_t n) {
    qvalloc::count();
    return __libc_memalign(alignment, n);
}

QV_REPLACES void *aligned_alloc(std::size_t alignment, std::size_t n) {
    qvalloc::count();
    return __libc_memalign(alignment, n);
}

QV_REPLACES int posix_memalign(void **out, std::size_t alignment, std::size_t n) {
    // A power of two, and a multiple of the size of a pointer.
    if (alignment < sizeof(void *) || (alignment & (alignment - 1)) != 0) return EINVAL;
    qvalloc::count();
    void *p = __libc_memalign(alignment, n);
    if (p == nullptr) return ENOMEM;
    *out = p;
    return 0;
}

QV_REPLACES void *valloc(std::size_t n) {
    qvalloc::count();
    return __libc_memalign(4096, n);
}

}  // extern "C"

namespace qvalloc {

const char *counting_method() { return "malloc and the aligned allocations replaced in the program"; }

bool watch_module(const void *) { return true; }

}  // namespace qvalloc

#endif
