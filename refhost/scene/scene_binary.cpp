// Scene block files, binary form (IFF style): each block its id, its size and
// its content, numbers big-endian.  The form is specified in scene_io.h; the
// adapter that drives it is scene_io.cpp.  The telling of the two forms apart
// (detect_scene_form) is here too, since it walks binary block headers.
#include "refhost/scene/scene_form.h"
#include "refhost/scene/scene_io.h"

#include <cstring>
#include <type_traits>
#include <utility>
#include <vector>

namespace refhost {

using support::quoted;
namespace scene {

namespace {

// ---- Numbers ----------------------------------------------------------------

void put_be(std::string &out, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>((v >> (8 * i)) & 0xFFu);
}

uint64_t get_be(const std::string &s, size_t pos, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v = (v << 8) | static_cast<unsigned char>(s[pos + static_cast<size_t>(i)]);
    return v;
}

// Value types to their unsigned bit patterns and back.
template <class T>
uint64_t to_bits(T v) {
    if constexpr (std::is_same<T, float>::value) {
        uint32_t u;
        std::memcpy(&u, &v, sizeof u);
        return u;
    } else if constexpr (std::is_same<T, double>::value) {
        uint64_t u;
        std::memcpy(&u, &v, sizeof u);
        return u;
    } else {
        return static_cast<std::make_unsigned_t<T>>(v);
    }
}

template <class T>
T from_bits(uint64_t bits) {
    if constexpr (std::is_same<T, float>::value) {
        uint32_t u = static_cast<uint32_t>(bits);
        float f;
        std::memcpy(&f, &u, sizeof f);
        return f;
    } else if constexpr (std::is_same<T, double>::value) {
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    } else {
        std::make_unsigned_t<T> u = static_cast<std::make_unsigned_t<T>>(bits);
        T v;
        std::memcpy(&v, &u, sizeof v);
        return v;
    }
}

// Table look-up by id; a table ends at the first entry whose id is 0.
uint32_t find_by_id(const QvBlockIdent *table, uint32_t id) {
    if (!table || id == 0) return 0;
    for (const QvBlockIdent *t = table; t->id != 0; ++t)
        if (t->id == id) return id;
    return 0;
}

// ---- Block headers ------------------------------------------------------------

// What is wrong with a block header, and where it starts.
struct ChainProblem {
    size_t offset = 0;
    std::string message;
};

// Checks the header at pos inside [.., end).  On success fills id, content
// range and the offset after the padded block.
bool check_header(const std::string &s, size_t pos, size_t end, bool top, uint32_t &id, size_t &content,
                  size_t &content_end, size_t &after, ChainProblem &problem) {
    const char *parent = top ? "the file" : "its parent";
    if (end - pos < 6) {
        problem.offset = pos;
        problem.message = std::string("block header cut short by the end of ") + parent;
        return false;
    }
    id = static_cast<uint32_t>(get_be(s, pos, 4));
    size_t size = static_cast<size_t>(get_be(s, pos + 4, 2));
    content = pos + 6;
    content_end = content + size;
    if (content_end > end) {
        problem.offset = pos;
        problem.message =
            "block " + quoted(id_text(id)) + " of " + std::to_string(size) + " bytes runs past the end of " + parent;
        return false;
    }
    after = content_end + (size & 1u);
    if (after > end) {
        problem.offset = pos;
        problem.message = "padding byte of block " + quoted(id_text(id)) + " runs past the end of " + parent;
        return false;
    }
    return true;
}

// ---- Writer ----------------------------------------------------------------

// Each open block collects its content; ending it puts its header and content
// into its parent's.
class BinaryWriter final : public FormWriter {
public:
    std::string block_name(const QvBlockIdent &ident, std::string &problem) const override {
        if (ident.id == 0) problem = "block with id 0";
        return id_text(ident.id);
    }

    void begin_block(uint32_t id, const std::string &, bool) override {
        Open o;
        o.id = id;
        open_.push_back(std::move(o));
    }

    std::string end_block(const std::string &name, bool keep) override {
        Open o = std::move(open_.back());
        open_.pop_back();
        if (!keep) return std::string();
        if (o.bytes.size() > static_cast<size_t>(kMaxBinaryBlockSize))
            return "block " + quoted(name) + " holds " + std::to_string(o.bytes.size()) +
                   " bytes; a block holds at most " + std::to_string(kMaxBinaryBlockSize);
        std::string &parent = open_.empty() ? root_ : open_.back().bytes;
        put_be(parent, o.id, 4);
        put_be(parent, o.bytes.size(), 2);
        parent += o.bytes;
        if (o.bytes.size() & 1u) parent += '\0';
        return std::string();
    }

    void write_values(const int8_t *src, int count) override { put_numbers(src, count); }
    void write_values(const int16_t *src, int count) override { put_numbers(src, count); }
    void write_values(const int32_t *src, int count) override { put_numbers(src, count); }
    void write_values(const uint8_t *src, int count) override { put_numbers(src, count); }
    void write_values(const uint16_t *src, int count) override { put_numbers(src, count); }
    void write_values(const uint32_t *src, int count) override { put_numbers(src, count); }
    void write_values(const float *src, int count) override { put_numbers(src, count); }
    void write_values(const double *src, int count) override { put_numbers(src, count); }

    void write_raw(const char *src, int bytes) override { open_.back().bytes.append(src, static_cast<size_t>(bytes)); }

    void write_str(const char *src) override {
        size_t n = std::strlen(src);
        std::string &b = open_.back().bytes;
        b.append(src, n);
        b += '\0';
        if ((n + 1) & 1u) b += '\0';
    }

    std::string write_id(const QvBlockIdent &ident) override {
        put_be(open_.back().bytes, ident.id, 4);
        return std::string();
    }

    std::string content() const override { return root_; }

private:
    struct Open {
        uint32_t id = 0;
        std::string bytes;
    };

    template <class T>
    void put_numbers(const T *src, int count) {
        for (int i = 0; i < count; ++i) put_be(open_.back().bytes, to_bits(src[i]), static_cast<int>(sizeof(T)));
    }

    std::string root_;
    std::vector<Open> open_;
};

// ---- Reader ----------------------------------------------------------------

// The chain of top-level blocks is checked when the reader is made; a nested
// block's header when find_block reaches it.
class BinaryReader final : public FormReader {
public:
    BinaryReader(std::string content, ReadStatus &status) : status_(status), content_(std::move(content)) {
        Frame root;
        root.end = content_.size();
        frames_.push_back(root);
        check_top();
    }

    int read_values(int8_t *dst, int count) override { return take_numbers(dst, count); }
    int read_values(int16_t *dst, int count) override { return take_numbers(dst, count); }
    int read_values(int32_t *dst, int count) override { return take_numbers(dst, count); }
    int read_values(uint8_t *dst, int count) override { return take_numbers(dst, count); }
    int read_values(uint16_t *dst, int count) override { return take_numbers(dst, count); }
    int read_values(uint32_t *dst, int count) override { return take_numbers(dst, count); }
    int read_values(float *dst, int count) override { return take_numbers(dst, count); }
    int read_values(double *dst, int count) override { return take_numbers(dst, count); }

    int read_raw(char *dst, int bytes) override {
        Frame &f = top();
        size_t avail = f.end - f.pos;
        int n = avail < static_cast<size_t>(bytes) ? static_cast<int>(avail) : bytes;
        if (n > 0) std::memcpy(dst, content_.data() + f.pos, static_cast<size_t>(n));
        f.pos += static_cast<size_t>(n);
        return n;
    }

    bool read_str(std::string_view &text) override {
        Frame &f = top();
        const void *nul = f.pos < f.end ? std::memchr(content_.data() + f.pos, 0, f.end - f.pos) : nullptr;
        if (!nul) return false;
        const char *src = content_.data() + f.pos;
        size_t len = static_cast<size_t>(static_cast<const char *>(nul) - src);
        f.pos += len + 1;
        if (((len + 1) & 1u) && f.pos < f.end) ++f.pos;
        text = std::string_view(src, len);
        return true;
    }

    uint32_t read_id(const QvBlockIdent *table) override {
        Frame &f = top();
        if (f.end - f.pos < 4) return 0;
        uint32_t id = static_cast<uint32_t>(get_be(content_, f.pos, 4));
        f.pos += 4;
        return find_by_id(table, id);
    }

    uint32_t find_block(const QvBlockIdent *table) override {
        for (;;) {
            Frame &f = top();
            if (f.pos >= f.end) return 0;
            uint32_t id;
            size_t c, ce, after;
            ChainProblem p;
            if (!check_header(content_, f.pos, f.end, frames_.size() == 1, id, c, ce, after, p)) {
                fail_byte(p.offset, p.message);
                return 0;
            }
            size_t header = f.pos;
            f.pos = after;
            if (find_by_id(table, id)) {
                if (static_cast<int>(frames_.size()) > kMaxSceneDepth) {
                    fail_byte(header, "blocks nested deeper than " + std::to_string(kMaxSceneDepth));
                    return 0;
                }
                Frame n;
                n.header = header;
                n.pos = c;
                n.end = ce;
                frames_.push_back(n);
                return id;
            }
        }
    }

    void end_block() override { frames_.pop_back(); }

    int depth() const override { return static_cast<int>(frames_.size()) - 1; }

    std::string where() const override {
        return frames_.size() > 1 ? ": byte " + std::to_string(frames_.back().header) : std::string();
    }

private:
    // Where reading is in one open block (the file itself at depth 0).
    struct Frame {
        size_t header = 0;  // where the block's header starts
        size_t pos = 0;  // next byte
        size_t end = 0;  // end of the content
    };

    Frame &top() { return frames_.back(); }

    template <class T>
    int take_numbers(T *dst, int count) {
        Frame &f = top();
        size_t avail = (f.end - f.pos) / sizeof(T);
        int n = avail < static_cast<size_t>(count) ? static_cast<int>(avail) : count;
        for (int i = 0; i < n; ++i) {
            dst[i] = from_bits<T>(get_be(content_, f.pos, static_cast<int>(sizeof(T))));
            f.pos += sizeof(T);
        }
        return n;
    }

    void fail_byte(size_t offset, const std::string &message) {
        status_.fail(status_.source + ": byte " + std::to_string(offset) + ": " + message);
    }

    void check_top() {
        size_t pos = 0;
        const size_t end = content_.size();
        while (pos < end) {
            uint32_t id;
            size_t c, ce, after;
            ChainProblem p;
            if (!check_header(content_, pos, end, true, id, c, ce, after, p)) {
                fail_byte(p.offset, p.message);
                return;
            }
            pos = after;
        }
    }

    ReadStatus &status_;
    std::string content_;
    std::vector<Frame> frames_;
};

}  // namespace

std::unique_ptr<FormWriter> make_binary_writer() { return std::unique_ptr<FormWriter>(new BinaryWriter); }

std::unique_ptr<FormReader> make_binary_reader(std::string content, ReadStatus &status) {
    return std::unique_ptr<FormReader>(new BinaryReader(std::move(content), status));
}

}  // namespace scene

// ---- Form detection --------------------------------------------------------

SceneForm detect_scene_form(const std::string &content) {
    using namespace scene;
    if (content.empty()) return SceneForm::text;
    for (char ch : content)
        if (!is_text_byte(static_cast<unsigned char>(ch))) return SceneForm::binary;
    // Only text bytes: binary when it is exactly a chain of top-level blocks
    // with printable ids and zero padding.
    size_t pos = 0;
    const size_t end = content.size();
    while (pos < end) {
        uint32_t id;
        size_t c, ce, after;
        ChainProblem p;
        if (!check_header(content, pos, end, true, id, c, ce, after, p)) return SceneForm::text;
        for (int k = 0; k < 4; ++k) {
            unsigned char b = static_cast<unsigned char>(content[pos + static_cast<size_t>(k)]);
            if (b < 0x20 || b >= 0x7F) return SceneForm::text;
        }
        if (after != ce && content[ce] != '\0') return SceneForm::text;
        pos = after;
    }
    return SceneForm::binary;
}

}  // namespace refhost
