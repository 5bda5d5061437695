// Files read whole: see file_reading.h.
#include "support/file_reading.h"

#include <cstdio>
#include <filesystem>
#include <istream>
#include <system_error>

namespace support {

bool read_whole_file(const std::string &path, std::string &content, std::string &problem, std::uintmax_t limit) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        problem = "not a regular file";
        return false;
    }
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        problem = "cannot open the file";
        return false;
    }
    // The limit holds while reading too: the file may grow after the check.
    std::string bytes;
    char buf[65536];
    std::size_t n = 0;
    bool too_large = false;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        if (bytes.size() + n > limit) {
            too_large = true;
            break;
        }
        bytes.append(buf, n);
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (too_large) {
        problem = "larger than " + std::to_string(limit) + " bytes";
        return false;
    }
    if (failed) {
        problem = "cannot read the file";
        return false;
    }
    content = std::move(bytes);
    return true;
}

bool read_whole_stream(std::istream &in, std::string &content, std::string &problem, std::uintmax_t limit) {
    std::string bytes;
    char buf[65536];
    while (in) {
        in.read(buf, sizeof buf);
        const std::size_t n = static_cast<std::size_t>(in.gcount());
        if (bytes.size() + n > limit) {
            problem = "larger than " + std::to_string(limit) + " bytes";
            return false;
        }
        bytes.append(buf, n);
    }
    if (in.bad()) {
        problem = "cannot read it";
        return false;
    }
    content = std::move(bytes);
    return true;
}

std::string file_extension(const std::string &path) {
    const std::string::size_type dot = path.find_last_of("./\\");
    if (dot == std::string::npos || path[dot] != '.') return "";
    std::string ext = path.substr(dot);
    for (char &c : ext)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return ext;
}

}  // namespace support
