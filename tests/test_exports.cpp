// What the built module shows a loader: exactly one exported symbol,
// _mod_descrip, and (on Windows) imports from system DLLs only.  Also the
// binary reader itself, on small hand-made images and on damaged ones.
#include "refhost/binary_exports.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using refhost::BinaryExports;
using Image = std::vector<unsigned char>;

#ifdef _WIN32
const char* const kModuleFile = "QV_Math_Node.p";
#else
const char* const kModuleFile = "QV_Math_Node.so";
#endif

Image read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Image(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file in the test temporary directory, removed when the test ends.
class TempFile {
public:
    TempFile(const std::string& name, const Image& bytes)
        : path_((std::filesystem::path(testing::TempDir()) / ("qv_exports_" + name)).string())
    {
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    ~TempFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

bool parse(const Image& image, BinaryExports& out, std::string& error)
{
    return refhost::parse_binary_exports(image.data(), image.size(), "image", out, error);
}

// ---- little-endian writers -------------------------------------------------

void put(Image& b, std::size_t at, std::uint64_t v, int bytes)
{
    if (b.size() < at + static_cast<std::size_t>(bytes))
        b.resize(at + static_cast<std::size_t>(bytes));
    for (int i = 0; i < bytes; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<unsigned char>(v >> (8 * i));
}

std::size_t put_str(Image& b, std::size_t at, const std::string& s)
{
    if (b.size() < at + s.size() + 1)
        b.resize(at + s.size() + 1);
    std::memcpy(b.data() + at, s.c_str(), s.size() + 1);
    return at + s.size() + 1;
}

// ---- a small ELF shared object ----------------------------------------------

struct ElfSym {
    std::string name;
    unsigned bind;       // 0 local, 1 global, 2 weak, 10 unique
    unsigned visibility; // 0 default, 1 internal, 2 hidden, 3 protected
    std::uint16_t shndx; // 0 undefined, 3 .text, 0xfff1 absolute
};

struct ElfLayout {
    std::size_t shoff = 0;
    std::size_t dynstr_off = 0;
    std::size_t dynsym_off = 0;
};

// Sections: 0 null, 1 .dynstr, 2 .dynsym, 3 .text, 4 .gnu.version_d.
Image make_elf(bool is64, const std::vector<ElfSym>& syms, const std::vector<std::string>& versions,
               ElfLayout* layout = nullptr)
{
    Image b(is64 ? 64 : 52, 0);
    b[0] = 0x7f;
    b[1] = 'E';
    b[2] = 'L';
    b[3] = 'F';
    b[4] = is64 ? 2 : 1;
    b[5] = 1;
    b[6] = 1;
    put(b, 16, 3, 2); // ET_DYN
    put(b, 18, is64 ? 0x3e : 0x03, 2);
    put(b, 20, 1, 4);

    // .dynstr
    const std::size_t dynstr = b.size();
    std::vector<std::size_t> sym_names, version_names;
    std::size_t end = put_str(b, dynstr, "");
    for (const ElfSym& s : syms) {
        sym_names.push_back(end - dynstr);
        end = put_str(b, end, s.name);
    }
    for (const std::string& v : versions) {
        version_names.push_back(end - dynstr);
        end = put_str(b, end, v);
    }
    const std::size_t dynstr_size = end - dynstr;

    // .dynsym
    const std::size_t sym_size = is64 ? 24 : 16;
    const std::size_t dynsym = (b.size() + 7) & ~std::size_t(7);
    b.resize(dynsym + sym_size * (syms.size() + 1), 0);
    for (std::size_t i = 0; i < syms.size(); ++i) {
        const std::size_t at = dynsym + sym_size * (i + 1);
        const unsigned info = (syms[i].bind << 4) | 1u; // STT_OBJECT
        put(b, at, sym_names[i], 4);
        if (is64) {
            put(b, at + 4, info, 1);
            put(b, at + 5, syms[i].visibility, 1);
            put(b, at + 6, syms[i].shndx, 2);
            put(b, at + 8, 0x1000 + 16 * i, 8);
        } else {
            put(b, at + 4, 0x1000 + 16 * i, 4);
            put(b, at + 12, info, 1);
            put(b, at + 13, syms[i].visibility, 1);
            put(b, at + 14, syms[i].shndx, 2);
        }
    }

    // .gnu.version_d: one definition per version name, each with one aux.
    const std::size_t verdef = b.size();
    for (std::size_t i = 0; i < versions.size(); ++i) {
        const std::size_t at = verdef + 28 * i;
        put(b, at, 1, 2);                                  // vd_version
        put(b, at + 2, i == 0 ? 1 : 0, 2);                 // vd_flags (base)
        put(b, at + 4, i + 1, 2);                          // vd_ndx
        put(b, at + 6, 1, 2);                              // vd_cnt
        put(b, at + 12, 20, 4);                            // vd_aux
        put(b, at + 16, i + 1 < versions.size() ? 28 : 0, 4); // vd_next
        put(b, at + 20, version_names[i], 4);              // vda_name
        put(b, at + 24, 0, 4);                             // vda_next
    }
    const std::size_t verdef_size = 28 * versions.size();

    // Section headers.
    const std::size_t shentsize = is64 ? 64 : 40;
    const std::size_t shoff = (b.size() + 7) & ~std::size_t(7);
    const std::size_t nsections = versions.empty() ? 4 : 5;
    b.resize(shoff + shentsize * nsections, 0);
    auto section = [&](std::size_t index, std::uint32_t type, std::size_t off, std::size_t size,
                       std::uint32_t link, std::size_t entsize) {
        const std::size_t at = shoff + shentsize * index;
        put(b, at + 4, type, 4);
        if (is64) {
            put(b, at + 24, off, 8);
            put(b, at + 32, size, 8);
            put(b, at + 40, link, 4);
            put(b, at + 56, entsize, 8);
        } else {
            put(b, at + 16, off, 4);
            put(b, at + 20, size, 4);
            put(b, at + 24, link, 4);
            put(b, at + 36, entsize, 4);
        }
    };
    section(1, 3, dynstr, dynstr_size, 0, 0);
    section(2, 11, dynsym, sym_size * (syms.size() + 1), 1, sym_size);
    section(3, 1, 0, 0, 0, 0);
    if (!versions.empty())
        section(4, 0x6ffffffd, verdef, verdef_size, 1, 0);

    if (is64) {
        put(b, 40, shoff, 8);
        put(b, 52, 64, 2);
        put(b, 58, shentsize, 2);
        put(b, 60, nsections, 2);
    } else {
        put(b, 32, shoff, 4);
        put(b, 40, 52, 2);
        put(b, 46, shentsize, 2);
        put(b, 48, nsections, 2);
    }
    if (layout) {
        layout->shoff = shoff;
        layout->dynstr_off = dynstr;
        layout->dynsym_off = dynsym;
    }
    return b;
}

const std::vector<ElfSym> kElfSymbols = {
    {"exported_func", 1, 0, 3},  {"weak_one", 2, 0, 3},      {"protected_one", 1, 3, 3},
    {"unique_one", 10, 0, 3},    {"hidden_one", 1, 2, 3},    {"internal_one", 1, 1, 3},
    {"local_one", 0, 0, 3},      {"imported_func", 1, 0, 0}, {"QV_1.0", 1, 0, 0xfff1},
    {"absolute_value", 1, 0, 0xfff1},
};
const std::vector<std::string> kElfExpected = {"absolute_value", "exported_func", "protected_one",
                                               "unique_one", "weak_one"};

// ---- a small PE image ---------------------------------------------------------

struct PeLayout {
    std::size_t lfanew = 0x40;
    std::size_t export_dir = 0; // file offset
    std::uint32_t section_rva = 0x1000;
    std::size_t section_raw = 0x200;
};

// One section (.rdata at RVA 0x1000, file offset 0x200) holding an export
// directory with names {"_mod_descrip", "second"} and one unnamed export, and
// an import directory naming KERNEL32.dll and msvcrt.dll.
Image make_pe(bool plus, PeLayout* layout = nullptr)
{
    PeLayout l;
    Image b(0x200, 0);
    b[0] = 'M';
    b[1] = 'Z';
    put(b, 0x3c, l.lfanew, 4);
    put(b, l.lfanew, 0x00004550, 4);
    const std::size_t coff = l.lfanew + 4;
    const std::size_t opt_size = plus ? 240 : 224;
    put(b, coff, plus ? 0x8664 : 0x14c, 2);
    put(b, coff + 2, 1, 2);
    put(b, coff + 16, opt_size, 2);
    put(b, coff + 18, 0x2102, 2);
    const std::size_t opt = coff + 20;
    put(b, opt, plus ? 0x20b : 0x10b, 2);
    if (plus)
        put(b, opt + 24, 0x180000000ull, 8);
    else
        put(b, opt + 28, 0x10000000, 4);
    put(b, opt + 60, 0x200, 4); // SizeOfHeaders
    put(b, opt + (plus ? 108 : 92), 16, 4);
    const std::size_t dirs = opt + (plus ? 112 : 96);

    const std::size_t table = opt + opt_size;
    std::memcpy(b.data() + table, ".rdata\0\0", 8);
    put(b, table + 8, 0x400, 4);
    put(b, table + 12, l.section_rva, 4);
    put(b, table + 16, 0x400, 4);
    put(b, table + 20, l.section_raw, 4);

    // Section contents, addressed by RVA.
    Image s(0x400, 0);
    auto rva = [&](std::size_t off) { return static_cast<std::uint32_t>(l.section_rva + off); };
    // Export directory at +0.
    const std::size_t functions = 0x40, names = 0x60, ordinals = 0x70, strings = 0x80;
    put(s, 12, rva(strings), 4); // DLL name
    put(s, 16, 1, 4);            // ordinal base
    put(s, 20, 3, 4);            // functions
    put(s, 24, 2, 4);            // names
    put(s, 28, rva(functions), 4);
    put(s, 32, rva(names), 4);
    put(s, 36, rva(ordinals), 4);
    put(s, functions, 0x2000, 4);
    put(s, functions + 4, 0x2010, 4);
    put(s, functions + 8, 0x2020, 4);
    std::size_t at = put_str(s, strings, "QV_Math_Node.p");
    put(s, names, rva(at), 4);
    at = put_str(s, at, "_mod_descrip");
    put(s, names + 4, rva(at), 4);
    at = put_str(s, at, "second");
    put(s, ordinals, 0, 2);
    put(s, ordinals + 2, 2, 2);
    // Import directory at +0x100: two descriptors and a terminator.
    const std::size_t imports = 0x100;
    at = put_str(s, 0x180, "KERNEL32.dll");
    put(s, imports + 12, rva(0x180), 4);
    put(s, imports + 16, rva(0x1c0), 4);
    put_str(s, at, "msvcrt.dll");
    put(s, imports + 20 + 12, rva(at), 4);
    put(s, imports + 20 + 16, rva(0x1c8), 4);
    b.insert(b.end(), s.begin(), s.end());

    put(b, dirs + 0, rva(0), 4);
    put(b, dirs + 4, 0x100, 4);
    put(b, dirs + 8, rva(imports), 4);
    put(b, dirs + 12, 60, 4);

    l.export_dir = l.section_raw;
    if (layout)
        *layout = l;
    return b;
}

// ---- the built module ---------------------------------------------------------

// AddressSanitizer gives each exported variable an ODR indicator symbol
// ("__odr_asan.<name>"); those exist only in sanitizer builds.
std::vector<std::string> without_sanitizer_symbols(std::vector<std::string> names)
{
#if defined(__SANITIZE_ADDRESS__)
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& n) { return n.rfind("__odr_asan", 0) == 0; }),
                names.end());
#endif
    return names;
}

TEST(ModuleExports, OnlyModDescripIsExported)
{
    BinaryExports info;
    std::string error;
    ASSERT_TRUE(refhost::read_binary_exports(kModuleFile, info, error)) << error;
    EXPECT_EQ(without_sanitizer_symbols(info.exports), std::vector<std::string>{"_mod_descrip"});
#ifdef _WIN32
    EXPECT_EQ(info.format, sizeof(void*) == 8 ? "PE32+" : "PE32");
    EXPECT_EQ(info.machine, sizeof(void*) == 8 ? 0x8664u : 0x14cu);
#else
    EXPECT_EQ(info.format, sizeof(void*) == 8 ? "ELF64" : "ELF32");
#endif
}

#ifdef _WIN32
std::string lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool is_system_library(const std::string& name)
{
    static const char* const allowed[] = {
        "kernel32.dll", "msvcrt.dll", "user32.dll",  "gdi32.dll",   "advapi32.dll",
        "ntdll.dll",    "ucrtbase.dll", "ws2_32.dll", "shell32.dll", "ole32.dll",
        "oleaut32.dll", "shlwapi.dll", "bcrypt.dll", "comdlg32.dll",
    };
    const std::string n = lower(name);
    if (n.rfind("api-ms-win-", 0) == 0)
        return true;
    return std::find_if(std::begin(allowed), std::end(allowed),
                        [&](const char* a) { return n == a; }) != std::end(allowed);
}

TEST(ModuleExports, ImportsOnlySystemLibraries)
{
    BinaryExports info;
    std::string error;
    ASSERT_TRUE(refhost::read_binary_exports(kModuleFile, info, error)) << error;
    EXPECT_FALSE(info.imported_libraries.empty());
    for (const std::string& dll : info.imported_libraries) {
        const std::string n = lower(dll);
        EXPECT_EQ(n.find("libgcc"), std::string::npos) << dll;
        EXPECT_EQ(n.find("libstdc++"), std::string::npos) << dll;
        EXPECT_EQ(n.find("winpthread"), std::string::npos) << dll;
        EXPECT_TRUE(is_system_library(dll)) << dll << " is not a Windows system DLL";
    }
}
#endif

// ---- the reader on hand-made ELF images ----------------------------------------

TEST(BinaryExportsElf, FiltersDynamicSymbols64)
{
    BinaryExports info;
    std::string error;
    ASSERT_TRUE(parse(make_elf(true, kElfSymbols, {"libx.so", "QV_1.0"}), info, error)) << error;
    EXPECT_EQ(info.format, "ELF64");
    EXPECT_EQ(info.machine, 0x3eu);
    EXPECT_EQ(info.exports, kElfExpected);
    EXPECT_TRUE(info.imported_libraries.empty());
}

TEST(BinaryExportsElf, FiltersDynamicSymbols32)
{
    BinaryExports info;
    std::string error;
    ASSERT_TRUE(parse(make_elf(false, kElfSymbols, {"libx.so", "QV_1.0"}), info, error)) << error;
    EXPECT_EQ(info.format, "ELF32");
    EXPECT_EQ(info.machine, 0x3u);
    EXPECT_EQ(info.exports, kElfExpected);
}

TEST(BinaryExportsElf, VersionMarkerIsOnlyDroppedWhenDefined)
{
    BinaryExports info;
    std::string error;
    ASSERT_TRUE(parse(make_elf(true, kElfSymbols, {}), info, error)) << error;
    EXPECT_NE(std::find(info.exports.begin(), info.exports.end(), "QV_1.0"), info.exports.end());
}

TEST(BinaryExportsElf, DamagedTablesAreErrors)
{
    ElfLayout l;
    const Image good = make_elf(true, kElfSymbols, {}, &l);
    BinaryExports info;
    std::string error;

    Image bad = good;
    put(bad, 40, good.size() + 1, 8); // e_shoff past the end
    EXPECT_FALSE(parse(bad, info, error));
    EXPECT_NE(error.find("image"), std::string::npos);

    bad = good;
    put(bad, 60, 0xffff, 2); // e_shnum far too large
    EXPECT_FALSE(parse(bad, info, error));

    bad = good;
    put(bad, l.shoff + 64 * 2 + 24, 0xfffffffffff0ull, 8); // .dynsym offset
    EXPECT_FALSE(parse(bad, info, error));

    bad = good;
    put(bad, l.shoff + 64 * 2 + 40, 77, 4); // .dynsym link
    EXPECT_FALSE(parse(bad, info, error));

    bad = good;
    put(bad, l.dynsym_off + 24, 0x7fffffff, 4); // symbol name offset
    EXPECT_FALSE(parse(bad, info, error));

    bad = good;
    bad[5] = 2; // big-endian
    EXPECT_FALSE(parse(bad, info, error));
    EXPECT_TRUE(info.exports.empty());
}

// ---- the reader on hand-made PE images ------------------------------------------

TEST(BinaryExportsPe, ReadsExportsAndImports32)
{
    BinaryExports info;
    std::string error;
    ASSERT_TRUE(parse(make_pe(false), info, error)) << error;
    EXPECT_EQ(info.format, "PE32");
    EXPECT_EQ(info.machine, 0x14cu);
    EXPECT_EQ(info.exports, (std::vector<std::string>{"#2", "_mod_descrip", "second"}));
    EXPECT_EQ(info.imported_libraries, (std::vector<std::string>{"KERNEL32.dll", "msvcrt.dll"}));
}

TEST(BinaryExportsPe, ReadsExportsAndImports64)
{
    BinaryExports info;
    std::string error;
    ASSERT_TRUE(parse(make_pe(true), info, error)) << error;
    EXPECT_EQ(info.format, "PE32+");
    EXPECT_EQ(info.machine, 0x8664u);
    EXPECT_EQ(info.exports, (std::vector<std::string>{"#2", "_mod_descrip", "second"}));
    EXPECT_EQ(info.imported_libraries, (std::vector<std::string>{"KERNEL32.dll", "msvcrt.dll"}));
}

TEST(BinaryExportsPe, DamagedTablesAreErrors)
{
    PeLayout l;
    const Image good = make_pe(false, &l);
    BinaryExports info;
    std::string error;

    Image bad = good;
    put(bad, 0x3c, 0xfffffff0u, 4); // e_lfanew
    EXPECT_FALSE(parse(bad, info, error));
    EXPECT_NE(error.find("image"), std::string::npos);

    bad = good;
    put(bad, l.export_dir + 24, 0xffffffffu, 4); // number of names
    EXPECT_FALSE(parse(bad, info, error));

    bad = good;
    put(bad, l.export_dir + 20, 0x40000000u, 4); // number of functions
    EXPECT_FALSE(parse(bad, info, error));

    bad = good;
    put(bad, l.export_dir + 32, 0x7fff0000u, 4); // name table RVA
    EXPECT_FALSE(parse(bad, info, error));

    bad = good;
    const std::size_t table = l.lfanew + 4 + 20 + 224;
    put(bad, table + 20, 0x7fffff00u, 4); // section raw data pointer
    EXPECT_FALSE(parse(bad, info, error));

    bad = good;
    bad.resize(0x250); // cut inside the section
    EXPECT_FALSE(parse(bad, info, error));
}

// ---- files --------------------------------------------------------------------

TEST(BinaryExportsFiles, MissingFileIsAnError)
{
    const std::string path =
        (std::filesystem::path(testing::TempDir()) / "qv_exports_no_such_file.so").string();
    BinaryExports info;
    std::string error;
    EXPECT_FALSE(refhost::read_binary_exports(path, info, error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
}

TEST(BinaryExportsFiles, EmptyAndGarbageFilesAreErrors)
{
    std::mt19937 rng(12345);
    Image garbage(4096);
    for (unsigned char& c : garbage)
        c = static_cast<unsigned char>(rng());
    garbage[0] = 'x';

    const Image elf_magic_only = {0x7f, 'E', 'L', 'F', 2, 1, 1};
    const Image mz_only = {'M', 'Z', 0, 0};

    int index = 0;
    for (const Image* image : std::vector<const Image*>{&garbage, &elf_magic_only, &mz_only}) {
        TempFile file("garbage_" + std::to_string(index++), *image);
        BinaryExports info;
        std::string error;
        EXPECT_FALSE(refhost::read_binary_exports(file.path(), info, error));
        EXPECT_NE(error.find(file.path()), std::string::npos) << error;
    }
    TempFile empty("empty", Image{});
    BinaryExports info;
    std::string error;
    EXPECT_FALSE(refhost::read_binary_exports(empty.path(), info, error));
    EXPECT_NE(error.find(empty.path()), std::string::npos) << error;
}

TEST(BinaryExportsFiles, TruncatedModuleIsAnErrorNotACrash)
{
    const Image module = read_file(kModuleFile);
    ASSERT_GT(module.size(), 1024u) << kModuleFile << " is missing or too small";
    for (std::size_t length : {std::size_t(1), std::size_t(16), std::size_t(63), std::size_t(64),
                               std::size_t(200), std::size_t(1024), module.size() / 2,
                               module.size() - 1}) {
        Image cut(module.begin(), module.begin() + static_cast<std::ptrdiff_t>(length));
        TempFile file("truncated", cut);
        BinaryExports info;
        std::string error;
        const bool ok = refhost::read_binary_exports(file.path(), info, error);
        if (!ok) {
            EXPECT_NE(error.find(file.path()), std::string::npos) << error;
        }
    }
    // Section headers (ELF) or the section table (PE) are gone: an error.
    Image header_only(module.begin(), module.begin() + 200);
    BinaryExports info;
    std::string error;
    EXPECT_FALSE(parse(header_only, info, error));
}

// Damaged copies of the real module, in memory: the reader must either
// succeed or report an error, never read outside the image.
TEST(BinaryExportsFiles, CorruptedModuleNeverCrashes)
{
    Image image = read_file(kModuleFile);
    ASSERT_GT(image.size(), 1024u) << kModuleFile << " is missing or too small";
    std::mt19937 rng(20240601);
    const std::size_t head = std::min<std::size_t>(image.size(), 4096);
    int failures = 0;
    for (int round = 0; round < 400; ++round) {
        std::vector<std::pair<std::size_t, unsigned char>> saved;
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) {
            // Mostly the headers, sometimes anywhere.
            const std::size_t at = (rng() % 4 == 0) ? rng() % image.size() : rng() % head;
            saved.emplace_back(at, image[at]);
            image[at] = static_cast<unsigned char>(rng());
        }
        BinaryExports info;
        std::string error;
        if (!refhost::parse_binary_exports(image.data(), image.size(), "mutant", info, error)) {
            ++failures;
            EXPECT_EQ(error.rfind("mutant: ", 0), 0u) << error;
        }
        for (auto it = saved.rbegin(); it != saved.rend(); ++it)
            image[it->first] = it->second;
    }
    // Sanity: the untouched image still reads.
    BinaryExports info;
    std::string error;
    EXPECT_TRUE(refhost::parse_binary_exports(image.data(), image.size(), "module", info, error)) << error;
    RecordProperty("failed_mutants", failures);
}

} // namespace
