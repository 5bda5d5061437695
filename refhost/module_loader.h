// Loading a module file as the application does: look up `_mod_descrip`
// only, check its sync word and version, call start-up and walk the table.
#pragma once

#include "host/host_api.h"
#include "support/atomic_file.h"

#include <memory>
#include <string>
#include <vector>

namespace refhost {

// The module's file name, as module/CMakeLists.txt names it for the target.
#ifdef _WIN32
inline constexpr const char *kModuleFile = "QV_Math_Node.p";
#else
inline constexpr const char *kModuleFile = "QV_Math_Node.so";
#endif

class Module {
public:
    // Loads the module at `path`.  With `private_copy`, the file is first
    // copied into a folder of this object's own under the system's temporary
    // folder (support::PrivateFolder), so the module's own state (its service
    // slots) starts afresh even if the same file is already loaded; the
    // folder is removed when the module is unloaded.
    // Returns null with a message naming the file on any failure.
    static std::shared_ptr<Module> load(const std::string &path, std::string &error, bool private_copy = false);
    ~Module();
    Module(const Module &) = delete;
    Module &operator=(const Module &) = delete;

    const std::string &path() const { return path_; }
    const QvModuleDescriptor &descriptor() const { return *descriptor_; }
    void *startup_result() const { return startup_result_; }

    // The server records before the terminating record of zeros.
    const std::vector<const QvServerRecord *> &servers() const { return servers_; }
    const QvServerRecord *find(const std::string &server_class, const std::string &name) const;

    // Another symbol the module exports, or null: the application looks up
    // _mod_descrip alone; test builds of a module export hooks of their own.
    void *find_export(const std::string &name) const;

    // The tag text of a record for a tag value, or null.
    static const char *tag(const QvServerRecord &record, uint32_t tag);

private:
    Module() = default;
    std::string path_;
    std::unique_ptr<support::PrivateFolder> copy_folder_;  // the private copy's, removed at unload
    void *handle_ = nullptr;
    const QvModuleDescriptor *descriptor_ = nullptr;
    void *startup_result_ = nullptr;
    std::vector<const QvServerRecord *> servers_;
};

}  // namespace refhost
