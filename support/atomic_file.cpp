// Files written whole or not at all: see atomic_file.h.
#include "support/atomic_file.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define QV_GETPID _getpid
#else
#include <unistd.h>
#define QV_GETPID getpid
#endif

namespace support {

namespace {

// A name beside `path` that no other call, in this process or another one
// running beside it, uses at the same time.
std::string temporary_name(const std::string &path) {
    static std::atomic<unsigned long> calls{0};
    const unsigned long call = calls.fetch_add(1, std::memory_order_relaxed);
    return path + ".tmp-" + std::to_string(static_cast<long>(QV_GETPID())) + "-" + std::to_string(call);
}

// The temporary file of one write: removed when the write ends in any way
// other than the rename.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string &target) : path_(temporary_name(target)) {}
    ~TemporaryFile() {
        if (!renamed_) {
            std::error_code ec;
            std::filesystem::remove(path_, ec);
        }
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    const std::string &path() const { return path_; }

    bool rename_to(const std::string &target, std::error_code &ec) {
        std::filesystem::rename(path_, target, ec);
        renamed_ = !ec;
        return renamed_;
    }

private:
    std::string path_;
    bool renamed_ = false;
};

}  // namespace

bool write_file_atomically(const std::string &path, const TemporaryFileWriter &write, std::string &error) {
    TemporaryFile temp(path);
    std::string problem;
    if (!write(temp.path(), problem)) {
        error = path + ": " + (problem.empty() ? std::string("cannot write the file") : problem);
        return false;
    }
    std::error_code ec;
    if (!temp.rename_to(path, ec)) {
        error = path + ": cannot replace the file (" + ec.message() + ")";
        return false;
    }
    return true;
}

bool write_file_atomically(const std::string &path, const std::string &bytes, std::string &error) {
    return write_file_atomically(
        path,
        [&](const std::string &temp, std::string &) {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            out.close();
            return static_cast<bool>(out);
        },
        error);
}

}  // namespace support
