#include "refhost/module_loader.h"

#include "support/atomic_file.h"
#include "support/file_reading.h"

#include <cstdio>
#include <fstream>

#include <sys/stat.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <elf.h>
#include <unistd.h>

#include <cstring>
#endif

namespace refhost {

namespace {

// A server table longer than this is taken as unterminated.
constexpr std::size_t kMaxServers = 100000;

void *open_library(const std::string &path, std::string &why) {
#ifdef _WIN32
    HMODULE h = LoadLibraryA(path.c_str());
    if (h == nullptr) why = "Windows error " + std::to_string(GetLastError());
    return reinterpret_cast<void *>(h);
#else
    // A bare file name is a file here, not a name to search the library path for.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void *h = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr) {
        const char *e = dlerror();
        why = e != nullptr ? e : "unknown error";
    }
    return h;
#endif
}

void *find_symbol(void *handle, const char *name) {
#ifdef _WIN32
    return reinterpret_cast<void *>(GetProcAddress(reinterpret_cast<HMODULE>(handle), name));
#else
    return dlsym(handle, name);
#endif
}

void close_library(void *handle) {
#ifdef _WIN32
    FreeLibrary(reinterpret_cast<HMODULE>(handle));
#else
    dlclose(handle);
#endif
}

// The copy's name in its private folder: the module's own file name.
std::string copy_name(const std::string &folder, const std::string &path) {
    const std::size_t slash = path.find_last_of("/\\");
    return folder + "/" + (slash == std::string::npos ? path : path.substr(slash + 1));
}

bool copy_file(const std::string &from, const std::string &to, std::string &problem) {
    std::string bytes;
    return support::read_whole_file(from, bytes, problem) && support::write_file_atomically(to, bytes, problem);
}

// Whether the path names a regular file: a directory, a FIFO or a device is
// refused before anything opens it (opening a FIFO would wait for a writer).
bool is_regular_file(const std::string &path, std::string &why) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        why = "no such module file";
        return false;
    }
    if ((st.st_mode & S_IFMT) != S_IFREG) {
        why = "not a regular file";
        return false;
    }
    return true;
}

#ifndef _WIN32
// Checks that an ELF file holds all that the system's loader maps: its
// program headers and every loadable segment lie inside the file.  (Mapping
// a segment past the end of a truncated file ends in SIGBUS, not an error.)
// Files that are not ELF are left to the loader, which refuses them.
template <typename Ehdr, typename Phdr>
bool segments_inside(std::ifstream &in, std::uint64_t size, std::string &why) {
    Ehdr eh;
    in.seekg(0);
    if (!in.read(reinterpret_cast<char *>(&eh), sizeof eh)) {
        why = "file is truncated (the ELF header is cut short)";
        return false;
    }
    if (eh.e_phentsize != sizeof(Phdr) || eh.e_phnum == 0 ||
        eh.e_phoff + static_cast<std::uint64_t>(eh.e_phnum) * sizeof(Phdr) > size) {
        why = "file is truncated (its program headers lie past the end)";
        return false;
    }
    for (unsigned i = 0; i < eh.e_phnum; ++i) {
        Phdr ph;
        in.seekg(static_cast<std::streamoff>(eh.e_phoff + static_cast<std::uint64_t>(i) * sizeof(Phdr)));
        if (!in.read(reinterpret_cast<char *>(&ph), sizeof ph)) {
            why = "file is truncated";
            return false;
        }
        if (ph.p_type == PT_LOAD && (ph.p_offset > size || ph.p_filesz > size - ph.p_offset)) {
            why = "file is truncated (a loadable segment lies past the end)";
            return false;
        }
    }
    return true;
}

bool whole_elf(const std::string &path, std::string &why) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        why = "cannot read the file";
        return false;
    }
    const std::uint64_t size = static_cast<std::uint64_t>(in.tellg());
    unsigned char ident[EI_NIDENT] = {};
    in.seekg(0);
    if (size < EI_NIDENT || !in.read(reinterpret_cast<char *>(ident), EI_NIDENT) ||
        std::memcmp(ident, ELFMAG, SELFMAG) != 0)
        return true;  // not ELF: the loader says what it is not
    if (ident[EI_CLASS] == ELFCLASS64) return segments_inside<Elf64_Ehdr, Elf64_Phdr>(in, size, why);
    if (ident[EI_CLASS] == ELFCLASS32) return segments_inside<Elf32_Ehdr, Elf32_Phdr>(in, size, why);
    return true;
}
#endif

}  // namespace

std::shared_ptr<Module> Module::load(const std::string &path, std::string &error, bool private_copy) {
    std::shared_ptr<Module> m(new Module());
    m->path_ = path;
    std::string file = path;
    std::string why;
    if (!is_regular_file(path, why)) {
        error = path + ": " + why;
        return nullptr;
    }
#ifndef _WIN32
    if (!whole_elf(path, why)) {
        error = path + ": " + why;
        return nullptr;
    }
#endif
    if (private_copy) {
        m->copy_folder_ = std::make_unique<support::PrivateFolder>("qvhost-", why);
        if (m->copy_folder_->path().empty()) {
            error = path + ": cannot copy the module: " + why;
            return nullptr;
        }
        file = copy_name(m->copy_folder_->path(), path);
        if (!copy_file(path, file, why)) {
            error = path + ": cannot copy the module: " + why;
            return nullptr;
        }
    }
    m->handle_ = open_library(file, why);
    if (m->handle_ == nullptr) {
        error = path + ": cannot load the module (" + why + ")";
        return nullptr;
    }
    m->descriptor_ = static_cast<const QvModuleDescriptor *>(find_symbol(m->handle_, "_mod_descrip"));
    if (m->descriptor_ == nullptr) {
        error = path + ": the module exports no _mod_descrip";
        return nullptr;
    }
    const QvModuleDescriptor &d = *m->descriptor_;
    if (d.sync != QV_MODULE_SYNC) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(d.sync));
        error = path + ": bad sync word " + buf + " in _mod_descrip";
        return nullptr;
    }
    if (d.version != QV_MODULE_VERSION) {
        error = path + ": unsupported module descriptor version " + std::to_string(d.version);
        return nullptr;
    }
    if (d.startup == nullptr || d.servers == nullptr) {
        error = path + ": the module descriptor lacks a start-up function or server table";
        return nullptr;
    }
    m->startup_result_ = d.startup();
    if (m->startup_result_ == nullptr) {
        error = path + ": module start-up failed";
        return nullptr;
    }
    for (const QvServerRecord *r = d.servers; r->server_class != nullptr; ++r) {
        if (m->servers_.size() == kMaxServers) {
            error = path + ": the server table has no end";
            return nullptr;
        }
        m->servers_.push_back(r);
    }
    return m;
}

Module::~Module() {
    if (handle_ != nullptr) {
        if (descriptor_ != nullptr && descriptor_->shutdown != nullptr && startup_result_ != nullptr)
            descriptor_->shutdown();
        close_library(handle_);
    }
    // copy_folder_, removed as this object ends, outlives the library it held.
}

const QvServerRecord *Module::find(const std::string &server_class, const std::string &name) const {
    for (const QvServerRecord *r : servers_)
        if (server_class == r->server_class && r->name != nullptr && name == r->name) return r;
    return nullptr;
}

void *Module::find_export(const std::string &name) const {
    return handle_ != nullptr ? find_symbol(handle_, name.c_str()) : nullptr;
}

const char *Module::tag(const QvServerRecord &record, uint32_t tag) {
    if (record.tags == nullptr) return nullptr;
    for (const QvTagPair *p = record.tags; p->text != nullptr; ++p)
        if (p->tag == tag) return p->text;
    return nullptr;
}

}  // namespace refhost
