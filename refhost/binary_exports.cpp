#include "binary_exports.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <unordered_set>

namespace refhost {
namespace {

// Longest symbol or DLL name accepted.
constexpr std::size_t kMaxName = 4096;
// Largest file read.
constexpr std::uint64_t kMaxFileSize = std::uint64_t(1) << 30;

std::string hex(std::uint64_t v)
{
    std::ostringstream s;
    s << "0x" << std::hex << v;
    return s.str();
}

// Bounds-checked little-endian access to the image bytes.
class Bytes {
public:
    Bytes(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}

    std::uint64_t size() const { return size_; }

    bool has(std::uint64_t off, std::uint64_t len) const
    {
        return off <= size_ && len <= size_ - off;
    }

    bool u8(std::uint64_t off, std::uint8_t& v) const
    {
        if (!has(off, 1))
            return false;
        v = data_[off];
        return true;
    }

    bool u16(std::uint64_t off, std::uint16_t& v) const
    {
        if (!has(off, 2))
            return false;
        v = static_cast<std::uint16_t>(data_[off] | (data_[off + 1] << 8));
        return true;
    }

    bool u32(std::uint64_t off, std::uint32_t& v) const
    {
        if (!has(off, 4))
            return false;
        v = 0;
        for (int i = 3; i >= 0; --i)
            v = (v << 8) | data_[off + static_cast<unsigned>(i)];
        return true;
    }

    bool u64(std::uint64_t off, std::uint64_t& v) const
    {
        if (!has(off, 8))
            return false;
        v = 0;
        for (int i = 7; i >= 0; --i)
            v = (v << 8) | data_[off + static_cast<unsigned>(i)];
        return true;
    }

    // A NUL-terminated string that starts at `off` and ends before `limit`
    // (clamped to the file) and is at most kMaxName long.
    bool cstr(std::uint64_t off, std::uint64_t limit, std::string& s) const
    {
        if (limit > size_)
            limit = size_;
        if (off >= limit)
            return false;
        std::uint64_t end = off;
        while (end < limit && data_[end] != 0) {
            if (end - off >= kMaxName)
                return false;
            ++end;
        }
        if (end >= limit)
            return false;
        s.assign(reinterpret_cast<const char*>(data_ + off), static_cast<std::size_t>(end - off));
        return true;
    }

private:
    const unsigned char* data_;
    std::uint64_t size_;
};

// ---------------------------------------------------------------------------
// ELF
// ---------------------------------------------------------------------------

constexpr std::uint32_t SHT_STRTAB = 3;
constexpr std::uint32_t SHT_DYNSYM = 11;
constexpr std::uint32_t SHT_GNU_VERDEF = 0x6ffffffd;
constexpr std::uint16_t SHN_UNDEF = 0;
constexpr std::uint16_t SHN_ABS = 0xfff1;
constexpr std::uint16_t SHN_XINDEX = 0xffff;
constexpr unsigned STB_GLOBAL = 1;
constexpr unsigned STB_WEAK = 2;
constexpr unsigned STB_GNU_UNIQUE = 10;
constexpr unsigned STV_DEFAULT = 0;
constexpr unsigned STV_PROTECTED = 3;

struct ElfSection {
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
    std::uint32_t info = 0;
    std::uint64_t entsize = 0;
};

class ElfReader {
public:
    ElfReader(const Bytes& b, const std::string& name) : b_(b), name_(name) {}

    bool read(BinaryExports& out, std::string& error)
    {
        std::uint8_t cls = 0, enc = 0;
        b_.u8(4, cls);
        b_.u8(5, enc);
        if (cls != 1 && cls != 2)
            return fail(error, "unknown ELF class " + std::to_string(cls));
        if (enc != 1)
            return fail(error, "only little-endian ELF files are read");
        is64_ = cls == 2;
        out.format = is64_ ? "ELF64" : "ELF32";

        std::uint16_t machine = 0;
        if (!b_.has(0, is64_ ? 64 : 52) || !b_.u16(18, machine))
            return fail(error, "truncated ELF header");
        out.machine = machine;

        if (!read_sections(error))
            return false;

        const ElfSection* dynsym = nullptr;
        const ElfSection* verdef = nullptr;
        for (const ElfSection& s : sections_) {
            if (s.type == SHT_DYNSYM && !dynsym)
                dynsym = &s;
            else if (s.type == SHT_GNU_VERDEF && !verdef)
                verdef = &s;
        }
        if (!dynsym)
            return true; // nothing is exported dynamically

        std::unordered_set<std::string> version_names;
        if (verdef && !read_version_names(*verdef, version_names, error))
            return false;

        const ElfSection* strtab = nullptr;
        if (!string_table(dynsym->link, strtab, "dynamic symbol table", error))
            return false;

        const std::uint64_t sym_size = is64_ ? 24 : 16;
        std::uint64_t entsize = dynsym->entsize ? dynsym->entsize : sym_size;
        if (entsize < sym_size)
            return fail(error, "bad dynamic symbol entry size " + std::to_string(entsize));
        if (!b_.has(dynsym->offset, dynsym->size))
            return fail(error, "dynamic symbol table lies outside the file");
        const std::uint64_t count = dynsym->size / entsize;

        std::set<std::string> names;
        for (std::uint64_t i = 1; i < count; ++i) {
            const std::uint64_t at = dynsym->offset + i * entsize;
            std::uint32_t name_off = 0;
            std::uint8_t info = 0, other = 0;
            std::uint16_t shndx = 0;
            bool ok = b_.u32(at, name_off);
            if (is64_)
                ok = ok && b_.u8(at + 4, info) && b_.u8(at + 5, other) && b_.u16(at + 6, shndx);
            else
                ok = ok && b_.u8(at + 12, info) && b_.u8(at + 13, other) && b_.u16(at + 14, shndx);
            if (!ok)
                return fail(error, "truncated dynamic symbol " + std::to_string(i));

            const unsigned bind = info >> 4;
            const unsigned visibility = other & 3u;
            if (bind != STB_GLOBAL && bind != STB_WEAK && bind != STB_GNU_UNIQUE)
                continue;
            if (visibility != STV_DEFAULT && visibility != STV_PROTECTED)
                continue;
            if (shndx == SHN_UNDEF)
                continue;

            std::string name;
            if (name_off >= strtab->size ||
                !b_.cstr(strtab->offset + name_off, strtab->offset + strtab->size, name))
                return fail(error, "dynamic symbol " + std::to_string(i) +
                                       " has a name outside its string table");
            if (name.empty())
                continue;
            if (shndx == SHN_ABS && version_names.count(name))
                continue;
            names.insert(name);
        }
        out.exports.assign(names.begin(), names.end());
        return true;
    }

private:
    bool fail(std::string& error, const std::string& what) const
    {
        error = name_ + ": " + what;
        return false;
    }

    bool section_header(std::uint64_t at, ElfSection& s) const
    {
        if (is64_) {
            return b_.u32(at + 4, s.type) && b_.u64(at + 24, s.offset) && b_.u64(at + 32, s.size) &&
                   b_.u32(at + 40, s.link) && b_.u32(at + 44, s.info) && b_.u64(at + 56, s.entsize);
        }
        std::uint32_t offset = 0, size = 0, entsize = 0;
        if (!(b_.u32(at + 4, s.type) && b_.u32(at + 16, offset) && b_.u32(at + 20, size) &&
              b_.u32(at + 24, s.link) && b_.u32(at + 28, s.info) && b_.u32(at + 36, entsize)))
            return false;
        s.offset = offset;
        s.size = size;
        s.entsize = entsize;
        return true;
    }

    bool read_sections(std::string& error)
    {
        std::uint64_t shoff = 0;
        std::uint16_t shentsize = 0, shnum16 = 0;
        if (is64_) {
            b_.u64(40, shoff);
            b_.u16(58, shentsize);
            b_.u16(60, shnum16);
        } else {
            std::uint32_t off32 = 0;
            b_.u32(32, off32);
            shoff = off32;
            b_.u16(46, shentsize);
            b_.u16(48, shnum16);
        }
        if (shoff == 0)
            return fail(error, "no section headers");
        const std::uint64_t min_entsize = is64_ ? 64 : 40;
        if (shentsize < min_entsize)
            return fail(error, "bad section header size " + std::to_string(shentsize));

        std::uint64_t shnum = shnum16;
        if (shnum == 0) {
            // Extended numbering: the count is in section 0's size field.
            ElfSection first;
            if (!section_header(shoff, first))
                return fail(error, "section headers lie outside the file");
            shnum = first.size;
        }
        if (shnum == 0 || shnum > b_.size() / shentsize || !b_.has(shoff, shnum * shentsize))
            return fail(error, "section headers lie outside the file");

        sections_.resize(static_cast<std::size_t>(shnum));
        for (std::uint64_t i = 0; i < shnum; ++i) {
            if (!section_header(shoff + i * shentsize, sections_[static_cast<std::size_t>(i)]))
                return fail(error, "truncated section header " + std::to_string(i));
        }
        return true;
    }

    bool string_table(std::uint32_t index, const ElfSection*& out, const char* owner,
                      std::string& error) const
    {
        if (index == 0 || index == SHN_XINDEX || index >= sections_.size())
            return fail(error, std::string(owner) + " links to a missing string table");
        const ElfSection& s = sections_[index];
        if (s.type != SHT_STRTAB)
            return fail(error, std::string(owner) + " links to a section that is not a string table");
        if (!b_.has(s.offset, s.size))
            return fail(error, "string table lies outside the file");
        out = &s;
        return true;
    }

    // Names of the version definitions: the linker emits an absolute symbol
    // of the same name for each, which is not an export.
    bool read_version_names(const ElfSection& verdef, std::unordered_set<std::string>& names,
                            std::string& error) const
    {
        const ElfSection* strtab = nullptr;
        if (!string_table(verdef.link, strtab, "version definitions", error))
            return false;
        if (!b_.has(verdef.offset, verdef.size))
            return fail(error, "version definitions lie outside the file");
        const std::uint64_t end = verdef.offset + verdef.size;
        std::uint64_t at = verdef.offset;
        // Each definition takes at least 20 bytes, which bounds the walk.
        for (std::uint64_t n = 0; n <= verdef.size / 20; ++n) {
            std::uint16_t cnt = 0;
            std::uint32_t aux = 0, next = 0;
            if (at + 20 > end || !b_.u16(at + 6, cnt) || !b_.u32(at + 12, aux) || !b_.u32(at + 16, next))
                return fail(error, "truncated version definition");
            if (cnt > 0) {
                std::uint32_t name_off = 0;
                std::string name;
                const std::uint64_t aux_at = at + aux;
                if (aux_at + 8 > end || !b_.u32(aux_at, name_off) || name_off >= strtab->size ||
                    !b_.cstr(strtab->offset + name_off, strtab->offset + strtab->size, name))
                    return fail(error, "bad version definition name");
                names.insert(name);
            }
            if (next == 0)
                return true;
            at += next;
        }
        return fail(error, "version definitions do not end");
    }

    const Bytes& b_;
    const std::string& name_;
    bool is64_ = false;
    std::vector<ElfSection> sections_;
};

// ---------------------------------------------------------------------------
// PE
// ---------------------------------------------------------------------------

struct PeSection {
    std::uint32_t virtual_address = 0;
    std::uint32_t virtual_size = 0;
    std::uint32_t raw_size = 0;
    std::uint32_t raw_pointer = 0;
};

class PeReader {
public:
    PeReader(const Bytes& b, const std::string& name) : b_(b), name_(name) {}

    bool read(BinaryExports& out, std::string& error)
    {
        std::uint32_t lfanew = 0, signature = 0;
        if (!b_.u32(0x3c, lfanew))
            return fail(error, "truncated DOS header");
        if (!b_.u32(lfanew, signature) || signature != 0x00004550u)
            return fail(error, "no PE signature");

        const std::uint64_t coff = std::uint64_t(lfanew) + 4;
        std::uint16_t machine = 0, nsections = 0, opt_size = 0, magic = 0;
        if (!b_.u16(coff, machine) || !b_.u16(coff + 2, nsections) || !b_.u16(coff + 16, opt_size))
            return fail(error, "truncated COFF header");
        out.machine = machine;

        const std::uint64_t opt = coff + 20;
        if (!b_.has(opt, opt_size) || !b_.u16(opt, magic))
            return fail(error, "truncated optional header");
        std::uint64_t dirs = 0, nrva_at = 0;
        if (magic == 0x10b) {
            out.format = "PE32";
            std::uint32_t base = 0;
            if (!b_.u32(opt + 28, base))
                return fail(error, "truncated optional header");
            image_base_ = base;
            nrva_at = opt + 92;
            dirs = opt + 96;
        } else if (magic == 0x20b) {
            out.format = "PE32+";
            if (!b_.u64(opt + 24, image_base_))
                return fail(error, "truncated optional header");
            nrva_at = opt + 108;
            dirs = opt + 112;
        } else {
            return fail(error, "unknown optional header magic " + hex(magic));
        }
        std::uint32_t nrva = 0;
        if (nrva_at + 4 > opt + opt_size || !b_.u32(nrva_at, nrva) || !b_.u32(opt + 60, headers_size_))
            return fail(error, "truncated optional header");

        const std::uint64_t table = opt + opt_size;
        if (!b_.has(table, std::uint64_t(nsections) * 40))
            return fail(error, "section table lies outside the file");
        sections_.resize(nsections);
        for (std::uint16_t i = 0; i < nsections; ++i) {
            const std::uint64_t at = table + std::uint64_t(i) * 40;
            PeSection& s = sections_[i];
            b_.u32(at + 8, s.virtual_size);
            b_.u32(at + 12, s.virtual_address);
            b_.u32(at + 16, s.raw_size);
            b_.u32(at + 20, s.raw_pointer);
        }

        auto directory = [&](std::uint32_t index, std::uint32_t& rva, std::uint32_t& size) {
            rva = size = 0;
            const std::uint64_t at = dirs + std::uint64_t(index) * 8;
            if (index >= nrva || at + 8 > opt + opt_size)
                return;
            b_.u32(at, rva);
            b_.u32(at + 4, size);
        };

        std::uint32_t rva = 0, size = 0;
        directory(0, rva, size);
        if (rva != 0 && !read_exports(rva, out, error))
            return false;
        directory(1, rva, size);
        if (rva != 0 && !read_imports(rva, out, error))
            return false;
        directory(13, rva, size);
        if (rva != 0 && !read_delay_imports(rva, out, error))
            return false;
        return true;
    }

private:
    bool fail(std::string& error, const std::string& what) const
    {
        error = name_ + ": " + what;
        return false;
    }

    // File offset of `rva`, and how many bytes of the file belong to the same
    // section from there on.
    bool map(std::uint64_t rva, std::uint64_t& off, std::uint64_t& avail) const
    {
        for (const PeSection& s : sections_) {
            const std::uint64_t span = s.virtual_size ? s.virtual_size : s.raw_size;
            if (rva < s.virtual_address || rva - s.virtual_address >= span)
                continue;
            const std::uint64_t delta = rva - s.virtual_address;
            if (delta >= s.raw_size)
                return false; // zero-filled, not in the file
            off = std::uint64_t(s.raw_pointer) + delta;
            if (off >= b_.size())
                return false;
            avail = std::min<std::uint64_t>(s.raw_size - delta, b_.size() - off);
            return true;
        }
        if (rva < headers_size_ && rva < b_.size()) {
            off = rva;
            avail = std::min<std::uint64_t>(headers_size_, b_.size()) - rva;
            return true;
        }
        return false;
    }

    bool map_array(std::uint64_t rva, std::uint64_t bytes, std::uint64_t& off) const
    {
        std::uint64_t avail = 0;
        return map(rva, off, avail) && bytes <= avail;
    }

    bool string_at(std::uint64_t rva, std::string& s) const
    {
        std::uint64_t off = 0, avail = 0;
        return map(rva, off, avail) && b_.cstr(off, off + avail, s) && !s.empty();
    }

    bool read_exports(std::uint32_t dir_rva, BinaryExports& out, std::string& error) const
    {
        std::uint64_t dir = 0;
        if (!map_array(dir_rva, 40, dir))
            return fail(error, "export directory lies outside the file");
        std::uint32_t base = 0, nfunctions = 0, nnames = 0, functions_rva = 0, names_rva = 0,
                      ordinals_rva = 0;
        b_.u32(dir + 16, base);
        b_.u32(dir + 20, nfunctions);
        b_.u32(dir + 24, nnames);
        b_.u32(dir + 28, functions_rva);
        b_.u32(dir + 32, names_rva);
        b_.u32(dir + 36, ordinals_rva);

        std::uint64_t functions = 0, names = 0, ordinals = 0;
        if (nfunctions != 0 && !map_array(functions_rva, std::uint64_t(nfunctions) * 4, functions))
            return fail(error, "export address table lies outside the file");
        if (nnames != 0 && (!map_array(names_rva, std::uint64_t(nnames) * 4, names) ||
                            !map_array(ordinals_rva, std::uint64_t(nnames) * 2, ordinals)))
            return fail(error, "export name table lies outside the file");

        std::vector<bool> named(nfunctions, false);
        std::set<std::string> result;
        for (std::uint32_t i = 0; i < nnames; ++i) {
            std::uint32_t name_rva = 0;
            std::uint16_t index = 0;
            b_.u32(names + std::uint64_t(i) * 4, name_rva);
            b_.u16(ordinals + std::uint64_t(i) * 2, index);
            std::string name;
            if (!string_at(name_rva, name))
                return fail(error, "export name " + std::to_string(i) + " lies outside the file");
            if (index >= nfunctions)
                return fail(error, "export '" + name + "' has no address entry");
            named[index] = true;
            result.insert(name);
        }
        for (std::uint32_t i = 0; i < nfunctions; ++i) {
            std::uint32_t address = 0;
            b_.u32(functions + std::uint64_t(i) * 4, address);
            if (address != 0 && !named[i])
                result.insert("#" + std::to_string(std::uint64_t(base) + i));
        }
        out.exports.assign(result.begin(), result.end());
        return true;
    }

    void add_library(BinaryExports& out, const std::string& name) const
    {
        if (std::find(out.imported_libraries.begin(), out.imported_libraries.end(), name) ==
            out.imported_libraries.end())
            out.imported_libraries.push_back(name);
    }

    bool read_imports(std::uint32_t dir_rva, BinaryExports& out, std::string& error) const
    {
        std::uint64_t at = 0, avail = 0;
        if (!map(dir_rva, at, avail))
            return fail(error, "import directory lies outside the file");
        for (std::uint64_t used = 0;; used += 20) {
            if (used + 20 > avail)
                return fail(error, "import directory is not terminated");
            std::uint32_t lookup = 0, name_rva = 0, thunks = 0;
            b_.u32(at + used, lookup);
            b_.u32(at + used + 12, name_rva);
            b_.u32(at + used + 16, thunks);
            if (name_rva == 0 && lookup == 0 && thunks == 0)
                return true;
            std::string name;
            if (!string_at(name_rva, name))
                return fail(error, "imported library name lies outside the file");
            add_library(out, name);
        }
    }

    bool read_delay_imports(std::uint32_t dir_rva, BinaryExports& out, std::string& error) const
    {
        std::uint64_t at = 0, avail = 0;
        if (!map(dir_rva, at, avail))
            return fail(error, "delay-import directory lies outside the file");
        for (std::uint64_t used = 0;; used += 32) {
            if (used + 32 > avail)
                return fail(error, "delay-import directory is not terminated");
            std::uint32_t attributes = 0, name_ref = 0;
            b_.u32(at + used, attributes);
            b_.u32(at + used + 4, name_ref);
            if (name_ref == 0)
                return true;
            std::uint64_t name_rva = name_ref;
            if ((attributes & 1u) == 0) {
                // Old-style descriptors hold addresses, not RVAs.
                if (name_ref < image_base_)
                    return fail(error, "delay-imported library name lies outside the image");
                name_rva = name_ref - image_base_;
            }
            std::string name;
            if (!string_at(name_rva, name))
                return fail(error, "delay-imported library name lies outside the file");
            add_library(out, name);
        }
    }

    const Bytes& b_;
    const std::string& name_;
    std::uint64_t image_base_ = 0;
    std::uint32_t headers_size_ = 0;
    std::vector<PeSection> sections_;
};

} // namespace

bool parse_binary_exports(const unsigned char* data, std::size_t size, const std::string& name,
                          BinaryExports& out, std::string& error)
{
    out = BinaryExports{};
    error.clear();
    Bytes bytes(data, data ? size : 0);
    BinaryExports result;
    bool ok = false;
    if (bytes.has(0, 4) && data[0] == 0x7f && data[1] == 'E' && data[2] == 'L' && data[3] == 'F') {
        ok = ElfReader(bytes, name).read(result, error);
    } else if (bytes.has(0, 2) && data[0] == 'M' && data[1] == 'Z') {
        ok = PeReader(bytes, name).read(result, error);
    } else {
        error = name + ": not an ELF or PE file";
        return false;
    }
    if (ok)
        out = std::move(result);
    return ok;
}

bool read_binary_exports(const std::string& path, BinaryExports& out, std::string& error)
{
    out = BinaryExports{};
    error.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open file";
        return false;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff end = in.tellg();
    if (end < 0) {
        error = path + ": cannot determine the file size";
        return false;
    }
    if (static_cast<std::uint64_t>(end) > kMaxFileSize) {
        error = path + ": file too large";
        return false;
    }
    std::vector<unsigned char> data(static_cast<std::size_t>(end));
    in.seekg(0, std::ios::beg);
    if (!data.empty() && !in.read(reinterpret_cast<char*>(data.data()), end)) {
        error = path + ": read error";
        return false;
    }
    return parse_binary_exports(data.data(), data.size(), path, out, error);
}

} // namespace refhost
