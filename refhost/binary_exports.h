// Reads the exported symbol names (and, for Windows images, the imported
// DLL names) of a shared object, the way a loader would see them.
//
// Formats: little-endian ELF (32- and 64-bit) and PE images (PE32, PE32+).
// The reader is plain C++17 and touches nothing but the bytes of the file;
// every offset it follows is checked, so damaged or hostile files give an
// error rather than a crash.
#ifndef QV_REFHOST_BINARY_EXPORTS_H
#define QV_REFHOST_BINARY_EXPORTS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace refhost {

struct BinaryExports {
    // "ELF32", "ELF64", "PE32" or "PE32+".
    std::string format;
    // ELF e_machine or PE COFF Machine (0x3 / 0x3e for ELF x86 / x86-64,
    // 0x14c / 0x8664 for PE x86 / x86-64).
    std::uint32_t machine = 0;
    // Sorted.
    // ELF: the defined symbols of .dynsym with GLOBAL, WEAK or GNU_UNIQUE
    //      binding and DEFAULT or PROTECTED visibility (version-definition
    //      marker symbols excluded).
    // PE:  the names of the export directory; an export with no name is
    //      listed as "#<ordinal>".
    std::vector<std::string> exports;
    // PE only: the DLLs named by the import and delay-import directories, in
    // file order, each once.  Empty for ELF.
    std::vector<std::string> imported_libraries;
};

// Reads the file at `path`.  On failure returns false and sets `error` to a
// message that starts with the path.
bool read_binary_exports(const std::string& path, BinaryExports& out, std::string& error);

// The same, for an image already in memory; `name` is used in messages.
bool parse_binary_exports(const unsigned char* data, std::size_t size, const std::string& name,
                          BinaryExports& out, std::string& error);

} // namespace refhost

#endif
