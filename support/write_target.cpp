// Where a file may be written: see write_target.h.
#include "support/write_target.h"

#include <filesystem>
#include <system_error>

namespace support {

namespace {

namespace fs = std::filesystem;

// The system's own limit on links followed in one path.
constexpr int kMaxLinks = 40;

// What a file that is not a regular one is, as a message names it.
const char *kind_of(fs::file_type type) {
    switch (type) {
    case fs::file_type::directory: return "a directory";
    case fs::file_type::block:
    case fs::file_type::character: return "a device";
    case fs::file_type::fifo: return "a FIFO";
    case fs::file_type::socket: return "a socket";
    default: return "not a regular file";
    }
}

}  // namespace

bool resolve_write_target(const std::string &path, std::string &target, std::string &error) {
    const auto cannot_write = [&](const std::string &reason) {
        error = path + ": cannot write the file (" + reason + ")";
        return false;
    };
    if (path.empty()) return cannot_write("no file name");
    fs::path p = path;
    bool linked = false;
    for (int links = 0;; ++links) {
        std::error_code ec;
        const fs::file_status st = fs::symlink_status(p, ec);
        if (ec && st.type() != fs::file_type::not_found) return cannot_write(ec.message());
        if (st.type() == fs::file_type::not_found) break;
        if (st.type() == fs::file_type::regular) {
            target = p.string();
            return true;
        }
        if (st.type() != fs::file_type::symlink) {
            const std::string kind = kind_of(st.type());
            const std::string what = kind == "not a regular file" ? kind : kind + ", not a regular file";
            error = path + ": cannot replace the file (" +
                    (linked ? "it links to " + p.string() + ", " + what : "it is " + what) + ")";
            return false;
        }
        if (links == kMaxLinks) return cannot_write("its links form a loop");
        const fs::path next = fs::read_symlink(p, ec);
        if (ec) return cannot_write(ec.message());
        p = next.is_absolute() ? next : p.parent_path() / next;
        linked = true;
    }
    // A new name: its folder must be there.
    const fs::path folder = p.parent_path();
    const std::string folder_text = folder.empty() ? "." : folder.string();
    std::error_code ec;
    const fs::file_status st = fs::status(folder_text, ec);
    if (st.type() == fs::file_type::not_found) return cannot_write("the folder " + folder_text + " does not exist");
    if (ec) return cannot_write(folder_text + ": " + ec.message());
    if (st.type() != fs::file_type::directory) return cannot_write(folder_text + " is not a folder");
    target = p.string();
    return true;
}

bool same_file(const std::string &a, const std::string &b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

}  // namespace support
