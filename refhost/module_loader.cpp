#include "refhost/module_loader.h"

#include <atomic>
#include <cstdio>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
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

std::string temp_copy_name(const std::string &path) {
    static std::atomic<unsigned> counter{0};
    std::string dir = ".";
    const std::size_t slash = path.find_last_of("/\\");
    if (slash != std::string::npos) dir = path.substr(0, slash);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = base.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : base.substr(dot);
#ifdef _WIN32
    const unsigned long pid = GetCurrentProcessId();
#else
    const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    return dir + "/.qvcopy-" + std::to_string(pid) + "-" + std::to_string(counter++) + ext;
}

bool copy_file(const std::string &from, const std::string &to) {
    std::ifstream in(from, std::ios::binary);
    if (!in) return false;
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out << in.rdbuf();
    return static_cast<bool>(out);
}

}  // namespace

std::shared_ptr<Module> Module::load(const std::string &path, std::string &error, bool private_copy) {
    std::shared_ptr<Module> m(new Module());
    m->path_ = path;
    std::string file = path;
    {
        std::ifstream probe(path, std::ios::binary);
        if (!probe) {
            error = path + ": no such module file";
            return nullptr;
        }
    }
    if (private_copy) {
        m->copy_path_ = temp_copy_name(path);
        if (!copy_file(path, m->copy_path_)) {
            std::remove(m->copy_path_.c_str());
            error = path + ": cannot copy the module to " + m->copy_path_;
            return nullptr;
        }
        file = m->copy_path_;
    }
    std::string why;
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
    if (!copy_path_.empty()) std::remove(copy_path_.c_str());
}

const QvServerRecord *Module::find(const std::string &server_class, const std::string &name) const {
    for (const QvServerRecord *r : servers_)
        if (server_class == r->server_class && r->name != nullptr && name == r->name) return r;
    return nullptr;
}

const char *Module::tag(const QvServerRecord &record, uint32_t tag) {
    if (record.tags == nullptr) return nullptr;
    for (const QvTagPair *p = record.tags; p->text != nullptr; ++p)
        if (p->tag == tag) return p->text;
    return nullptr;
}

}  // namespace refhost
