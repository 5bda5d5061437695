// Files written whole or not at all: see atomic_file.h.
#include "support/atomic_file.h"

#include "support/write_target.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#define QV_GETPID _getpid
#else
#include <unistd.h>
#define QV_GETPID getpid
#endif

namespace support {

namespace {

namespace fs = std::filesystem;

std::atomic<const std::atomic<bool> *> g_interrupt{nullptr};

bool interrupted() {
    const std::atomic<bool> *flag = g_interrupt.load();
    return flag != nullptr && flag->load();
}

// The system's reason for the last failed call.
std::string system_reason() { return std::generic_category().message(errno); }

// A new file of this process's own: created, never opened where one exists.
// The descriptor, or -1 with errno set.
int create_new_file(const std::string &path) {
#ifdef _WIN32
    return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
}

// Writes all of `bytes` to a new file; false with the system's reason.
bool write_new_file(const std::string &path, const std::string &bytes, std::string &problem) {
    const int fd = create_new_file(path);
    if (fd < 0) {
        problem = "cannot write the file (" + system_reason() + ")";
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        constexpr std::size_t kChunk = std::size_t{1} << 30;
        const std::size_t chunk = bytes.size() - done < kChunk ? bytes.size() - done : kChunk;
#ifdef _WIN32
        const long n = _write(fd, bytes.data() + done, static_cast<unsigned>(chunk));
#else
        const long n = static_cast<long>(write(fd, bytes.data() + done, chunk));
#endif
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            problem = "cannot write the file (" + system_reason() + ")";
#ifdef _WIN32
            _close(fd);
#else
            close(fd);
#endif
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
#ifdef _WIN32
    const int closed = _close(fd);
#else
    const int closed = close(fd);
#endif
    if (closed != 0) {
        problem = "cannot write the file (" + system_reason() + ")";
        return false;
    }
    return true;
}

// The temporary file of one write, in the target's folder: removed when the
// write ends in any way other than the rename.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string &target) {
        static std::atomic<unsigned long> calls{0};
        const unsigned long call = calls.fetch_add(1, std::memory_order_relaxed);
        const fs::path t = target;
        path_ = (t.parent_path() /
                 temporary_file_name(t.filename().string(), static_cast<unsigned long>(QV_GETPID()), call))
                    .string();
    }
    ~TemporaryFile() {
        if (!renamed_) {
            std::error_code ec;
            fs::remove(path_, ec);
        }
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    const std::string &path() const { return path_; }

    bool rename_to(const std::string &target, std::error_code &ec) {
        fs::rename(path_, target, ec);
        renamed_ = !ec;
        return renamed_;
    }

private:
    std::string path_;
    bool renamed_ = false;
};

}  // namespace

std::string temporary_file_name(const std::string &name, unsigned long process, unsigned long call) {
    std::size_t kept = name.size() < kTemporaryNameKept ? name.size() : kTemporaryNameKept;
    // Not into a UTF-8 character: back to the byte that starts one.
    if (kept < name.size())
        while (kept > 0 && (static_cast<unsigned char>(name[kept]) & 0xC0) == 0x80) --kept;
    return name.substr(0, kept) + ".tmp-" + std::to_string(process) + "-" + std::to_string(call);
}

void set_write_interrupt_flag(const std::atomic<bool> *flag) { g_interrupt.store(flag); }

bool write_file_atomically(const std::string &path, const TemporaryFileWriter &write, std::string &error) {
    std::string target;
    if (!resolve_write_target(path, target, error)) return false;
    TemporaryFile temp(target);
    std::string problem;
    if (!write(temp.path(), problem)) {
        error = path + ": " + (problem.empty() ? std::string("cannot write the file") : problem);
        return false;
    }
    std::error_code ec;
    // The replaced file's permissions stay with its name.
    const fs::file_status old = fs::status(target, ec);
    if (!ec && old.type() == fs::file_type::regular) fs::permissions(temp.path(), old.permissions(), ec);
    if (interrupted()) {
        error = path + ": not written (interrupted)";
        return false;
    }
    if (!temp.rename_to(target, ec)) {
        error = path + ": cannot replace the file (" + ec.message() + ")";
        return false;
    }
    return true;
}

bool write_file_atomically(const std::string &path, const std::string &bytes, std::string &error) {
    return write_file_atomically(
        path, [&](const std::string &temp, std::string &problem) { return write_new_file(temp, bytes, problem); },
        error);
}

PrivateFolder::PrivateFolder(const std::string &prefix, std::string &error) {
    std::error_code ec;
    const fs::path base = fs::temp_directory_path(ec);
    if (ec) {
        error = "cannot find the temporary folder (" + ec.message() + ")";
        return;
    }
#ifdef _WIN32
    static std::atomic<unsigned long> folders{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path p = base / (prefix + std::to_string(static_cast<unsigned long>(QV_GETPID())) + "-" +
                                   std::to_string(folders.fetch_add(1)));
        if (fs::create_directory(p, ec)) {
            path_ = p.string();
            return;
        }
        if (ec) break;
    }
    error = "cannot make a folder in " + base.string() + (ec ? " (" + ec.message() + ")" : std::string());
#else
    std::string name = (base / (prefix + "XXXXXX")).string();
    if (mkdtemp(name.data()) == nullptr) {
        error = "cannot make a folder in " + base.string() + " (" + system_reason() + ")";
        return;
    }
    path_ = name;
#endif
}

PrivateFolder::~PrivateFolder() {
    if (path_.empty()) return;
    std::error_code ec;
    fs::remove_all(path_, ec);
}

}  // namespace support
