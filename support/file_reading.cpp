// Files read whole: see file_reading.h.
#include "support/file_reading.h"

#include <cstdio>
#include <filesystem>
#include <istream>
#include <new>
#include <stdexcept>
#include <system_error>

namespace support {

namespace {

constexpr const char *kNoMemory = "not enough memory to read it";

std::string too_large(std::uintmax_t limit) { return "larger than " + std::to_string(limit) + " bytes"; }

}  // namespace

bool read_whole_file(const std::string &path, std::string &content, std::string &problem, std::uintmax_t limit) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        problem = "not a regular file";
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > limit) {
        problem = too_large(limit);
        return false;
    }
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        problem = "cannot open the file";
        return false;
    }
    // The whole size is asked for at once, so that a file the memory cannot
    // hold fails before any of it is read.  The limit holds while reading
    // too: the file may grow after the check.
    std::string bytes;
    char buf[65536];
    std::size_t n = 0;
    bool too_long = false, no_memory = false;
    try {
        if (!ec) bytes.reserve(static_cast<std::size_t>(size));
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
            if (bytes.size() + n > limit) {
                too_long = true;
                break;
            }
            bytes.append(buf, n);
        }
    } catch (const std::bad_alloc &) {
        no_memory = true;
    } catch (const std::length_error &) {
        no_memory = true;
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (too_long || no_memory || failed) {
        problem = too_long ? too_large(limit) : no_memory ? kNoMemory : "cannot read the file";
        return false;
    }
    // Fewer bytes than the file held when it was opened: cut short while
    // it was read, never taken as the whole.
    if (!ec && bytes.size() < size) {
        problem = "read only " + std::to_string(bytes.size()) + " of its " + std::to_string(size) + " bytes";
        return false;
    }
    content = std::move(bytes);
    return true;
}

bool read_whole_stream(std::istream &in, std::string &content, std::string &problem, std::uintmax_t limit) {
    std::string bytes;
    char buf[65536];
    try {
        while (in) {
            in.read(buf, sizeof buf);
            const std::size_t n = static_cast<std::size_t>(in.gcount());
            if (bytes.size() + n > limit) {
                problem = too_large(limit);
                return false;
            }
            bytes.append(buf, n);
        }
    } catch (const std::bad_alloc &) {
        problem = kNoMemory;
        return false;
    } catch (const std::length_error &) {
        problem = kNoMemory;
        return false;
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
