// Scene block files: see scene_io.h for both forms.
#include "refhost/scene_io.h"

#include "refhost/number_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

namespace refhost {

namespace {

// ---- Shared helpers ------------------------------------------------------

const char kHexDigits[] = "0123456789ABCDEF";

void append_hex_byte(std::string &out, unsigned char c) {
    out += "\\x";
    out += kHexDigits[c >> 4];
    out += kHexDigits[c & 15];
}

// A block id as its four characters, for messages.
std::string id_text(uint32_t id) {
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        unsigned char c = static_cast<unsigned char>((id >> shift) & 0xFFu);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\')
            s += static_cast<char>(c);
        else
            append_hex_byte(s, c);
    }
    return s;
}

std::string quoted_name(const std::string &name) { return "\"" + name + "\""; }

bool is_token_char(unsigned char c) { return c > 0x20 && c < 0x7F && c != '"' && c != '{' && c != '}'; }

bool is_valid_token(const char *token) {
    if (!token || !*token)
        return false;
    for (const char *p = token; *p; ++p)
        if (!is_token_char(static_cast<unsigned char>(*p)))
            return false;
    return true;
}

// Whether a byte may appear as it is in a text file.
bool is_text_byte(unsigned char c) { return (c >= 0x20 && c != 0x7F) || c == '\t' || c == '\n' || c == '\r'; }

void append_quoted(std::string &out, const char *s) {
    out += '"';
    for (const char *p = s; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default:
            if (c < 0x20 || c == 0x7F)
                append_hex_byte(out, c);
            else
                out += static_cast<char>(c);
        }
    }
    out += '"';
}

// Every NaN is written "nan": the text form keeps neither the sign nor the
// payload of a NaN.
template <class T> std::string real_text(T v) { return std::isnan(v) ? std::string("nan") : number_text(v); }

template <class T> bool parse_int(const std::string &s, T &out) {
    using Wide = std::conditional_t<std::is_signed<T>::value, long long, unsigned long long>;
    const char *b = s.data();
    const char *e = b + s.size();
    Wide v = 0;
    auto r = std::from_chars(b, e, v, 10);
    if (r.ec != std::errc() || r.ptr != e || b == e)
        return false;
    if (v < static_cast<Wide>(std::numeric_limits<T>::min()) || v > static_cast<Wide>(std::numeric_limits<T>::max()))
        return false;
    out = static_cast<T>(v);
    return true;
}

template <class T> bool parse_real(const std::string &s, T &out) {
    const char *b = s.data();
    const char *e = b + s.size();
    if (b == e)
        return false;
    T v = 0;
    auto r = std::from_chars(b, e, v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != e)
        return false;
    out = v;
    return true;
}

void put_be(std::string &out, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>((v >> (8 * i)) & 0xFFu);
}

uint64_t get_be(const std::string &s, size_t pos, int bytes) {
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | static_cast<unsigned char>(s[pos + static_cast<size_t>(i)]);
    return v;
}

// Integer types to their unsigned bit patterns and back.
template <class T> uint64_t to_bits(T v) {
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

template <class T> T from_bits(uint64_t bits) {
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

// Table look-ups; a table ends at the first entry whose id is 0.
uint32_t find_by_id(const QvBlockIdent *table, uint32_t id) {
    if (!table || id == 0)
        return 0;
    for (const QvBlockIdent *t = table; t->id != 0; ++t)
        if (t->id == id)
            return id;
    return 0;
}

uint32_t find_by_token(const QvBlockIdent *table, const std::string &token) {
    if (!table)
        return 0;
    for (const QvBlockIdent *t = table; t->id != 0; ++t)
        if (t->token && token == t->token)
            return t->id;
    return 0;
}

// A text block as written or read.
struct TextValue {
    std::string text;
    bool quoted = false;
};

struct TextBlock {
    std::string token;
    bool leaf = false;
    int line = 0;
    std::vector<TextValue> values;
    std::vector<std::unique_ptr<TextBlock>> children;
};

void emit_text(const TextBlock &b, int indent, std::string &out) {
    out.append(static_cast<size_t>(indent) * 2, ' ');
    if (!b.leaf)
        out += "{ ";
    out += b.token;
    for (const TextValue &v : b.values) {
        out += ' ';
        out += v.text;
    }
    out += '\n';
    if (!b.leaf) {
        for (const auto &c : b.children)
            emit_text(*c, indent + 1, out);
        out.append(static_cast<size_t>(indent) * 2, ' ');
        out += "}\n";
    }
}

// Walks a chain of binary blocks over [pos, end): the check used for the top
// level of a file.  Returns an empty message and the offset when the chain is
// whole, else the problem and where it starts.
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
        problem.message = "block " + quoted_name(id_text(id)) + " of " + std::to_string(size) +
                          " bytes runs past the end of " + parent;
        return false;
    }
    after = content_end + (size & 1u);
    if (after > end) {
        problem.offset = pos;
        problem.message = "padding byte of block " + quoted_name(id_text(id)) + " runs past the end of " + parent;
        return false;
    }
    return true;
}

} // namespace

// ---- Writer --------------------------------------------------------------

struct SceneWriter::Impl {
    struct Open {
        uint32_t id = 0;
        std::string name; // for messages
        bool leaf = false;
        bool drop = false; // a block begun in error: left out of the file
        std::unique_ptr<TextBlock> text;
        std::string bytes;
    };

    SceneForm form;
    std::string error;
    std::vector<Open> open;
    TextBlock text_root;
    std::string binary_root;

    explicit Impl(SceneForm f) : form(f) {}

    bool text() const { return form == SceneForm::text; }

    void fail(const std::string &message) {
        if (error.empty())
            error = message;
    }

    int depth() const { return static_cast<int>(open.size()); }

    // Whether count values from src can be written here.
    bool may_write(const void *src, int count, const char *what) {
        if (count <= 0)
            return false;
        if (!src) {
            fail(std::string("null source for ") + what + " values");
            return false;
        }
        if (open.empty()) {
            fail(std::string(what) + " values written outside any block");
            return false;
        }
        return true;
    }

    void add_text(std::string v, bool quoted = false) {
        TextValue tv;
        tv.text = std::move(v);
        tv.quoted = quoted;
        open.back().text->values.push_back(std::move(tv));
    }

    template <class T> void write_numbers(const T *src, int count, const char *what) {
        if (!may_write(src, count, what))
            return;
        for (int i = 0; i < count; ++i) {
            if (text()) {
                if constexpr (std::is_floating_point<T>::value)
                    add_text(real_text(src[i]));
                else
                    add_text(number_text(src[i]));
            } else {
                put_be(open.back().bytes, to_bits(src[i]), static_cast<int>(sizeof(T)));
            }
        }
    }

    void write_raw(const char *src, int bytes) {
        if (!may_write(src, bytes, "raw byte"))
            return;
        if (text()) {
            for (int i = 0; i < bytes; ++i)
                add_text(number_text(static_cast<unsigned>(static_cast<unsigned char>(src[i]))));
        } else {
            open.back().bytes.append(src, static_cast<size_t>(bytes));
        }
    }

    void write_str(const char *src) {
        if (!may_write(src, 1, "string"))
            return;
        if (text()) {
            std::string q;
            append_quoted(q, src);
            add_text(std::move(q), true);
        } else {
            size_t n = std::strlen(src);
            std::string &b = open.back().bytes;
            b.append(src, n);
            b += '\0';
            if ((n + 1) & 1u)
                b += '\0';
        }
    }

    void write_id(const QvBlockIdent *ident) {
        if (!may_write(ident, 1, "id"))
            return;
        if (text()) {
            if (!is_valid_token(ident->token)) {
                fail("id written with an invalid token");
                return;
            }
            add_text(ident->token);
        } else {
            put_be(open.back().bytes, ident->id, 4);
        }
    }

    void begin_block(const QvBlockIdent *ident, int leaf) {
        Open o;
        o.leaf = leaf != 0;
        if (!ident) {
            o.name = "?";
            o.drop = true;
            fail("begin_block with no block ident");
        } else if (text()) {
            o.name = ident->token ? ident->token : "";
            if (!is_valid_token(ident->token)) {
                o.drop = true;
                fail("block token " + quoted_name(o.name) + " is not a valid token");
            }
        } else {
            o.id = ident->id;
            o.name = id_text(ident->id);
            if (ident->id == 0) {
                o.drop = true;
                fail("block with id 0");
            }
        }
        if (!open.empty() && open.back().leaf) {
            o.drop = true;
            fail("block " + quoted_name(o.name) + " begun inside leaf block " + quoted_name(open.back().name));
        }
        if (depth() >= kMaxSceneDepth) {
            o.drop = true;
            fail("blocks nested deeper than " + std::to_string(kMaxSceneDepth));
        }
        if (text()) {
            o.text.reset(new TextBlock);
            o.text->token = o.name;
            o.text->leaf = o.leaf;
        }
        open.push_back(std::move(o));
    }

    void end_block() {
        if (open.empty()) {
            fail("end_block with no block open");
            return;
        }
        Open o = std::move(open.back());
        open.pop_back();
        if (o.drop)
            return;
        if (text()) {
            TextBlock &parent = open.empty() ? text_root : *open.back().text;
            parent.children.push_back(std::move(o.text));
            return;
        }
        if (o.bytes.size() > static_cast<size_t>(kMaxBinaryBlockSize)) {
            fail("block " + quoted_name(o.name) + " holds " + std::to_string(o.bytes.size()) +
                 " bytes; a block holds at most " + std::to_string(kMaxBinaryBlockSize));
            return;
        }
        std::string &parent = open.empty() ? binary_root : open.back().bytes;
        put_be(parent, o.id, 4);
        put_be(parent, o.bytes.size(), 2);
        parent += o.bytes;
        if (o.bytes.size() & 1u)
            parent += '\0';
    }

    std::string finish() {
        while (!open.empty()) {
            fail("block " + quoted_name(open.back().name) + " is not closed");
            end_block();
        }
        if (!text())
            return binary_root;
        std::string out;
        for (const auto &c : text_root.children)
            emit_text(*c, 0, out);
        return out;
    }

    static Impl &of(void *ctx) { return *static_cast<SceneWriter *>(ctx)->impl_; }

    // Runs a write inside the callback boundary: nothing escapes into the
    // module's C code.
    template <class F> static void guard(void *ctx, F &&f) {
        if (!ctx)
            return;
        Impl &w = of(ctx);
        try {
            f(w);
        } catch (const std::bad_alloc &) {
            w.fail("out of memory");
        } catch (...) {
            w.fail("internal error while writing");
        }
    }

    static void cb_write(void *ctx, const char *src, int bytes) {
        guard(ctx, [&](Impl &w) { w.write_raw(src, bytes); });
    }
    static void cb_write_i1(void *ctx, const int8_t *src, int count) {
        guard(ctx, [&](Impl &w) { w.write_numbers(src, count, "i1"); });
    }
    static void cb_write_i2(void *ctx, const int16_t *src, int count) {
        guard(ctx, [&](Impl &w) { w.write_numbers(src, count, "i2"); });
    }
    static void cb_write_i4(void *ctx, const int32_t *src, int count) {
        guard(ctx, [&](Impl &w) { w.write_numbers(src, count, "i4"); });
    }
    static void cb_write_u1(void *ctx, const uint8_t *src, int count) {
        guard(ctx, [&](Impl &w) { w.write_numbers(src, count, "u1"); });
    }
    static void cb_write_u2(void *ctx, const uint16_t *src, int count) {
        guard(ctx, [&](Impl &w) { w.write_numbers(src, count, "u2"); });
    }
    static void cb_write_u4(void *ctx, const uint32_t *src, int count) {
        guard(ctx, [&](Impl &w) { w.write_numbers(src, count, "u4"); });
    }
    static void cb_write_fp(void *ctx, const float *src, int count) {
        guard(ctx, [&](Impl &w) { w.write_numbers(src, count, "float"); });
    }
    static void cb_write_dp(void *ctx, const double *src, int count) {
        guard(ctx, [&](Impl &w) { w.write_numbers(src, count, "double"); });
    }
    static void cb_write_str(void *ctx, const char *src) {
        guard(ctx, [&](Impl &w) { w.write_str(src); });
    }
    static void cb_write_id(void *ctx, const QvBlockIdent *ident) {
        guard(ctx, [&](Impl &w) { w.write_id(ident); });
    }
    static void cb_begin_block(void *ctx, const QvBlockIdent *ident, int leaf) {
        guard(ctx, [&](Impl &w) { w.begin_block(ident, leaf); });
    }
    static void cb_end_block(void *ctx) {
        guard(ctx, [&](Impl &w) { w.end_block(); });
    }
    static int cb_depth(void *ctx) { return ctx ? of(ctx).depth() : 0; }
};

SceneWriter::SceneWriter(SceneForm form) : impl_(new Impl(form)), state_() {
    state_.io_mode = form == SceneForm::text ? QV_IO_TEXT : QV_IO_BINARY;
    state_.context = this;
    state_.write = &Impl::cb_write;
    state_.write_i1 = &Impl::cb_write_i1;
    state_.write_i2 = &Impl::cb_write_i2;
    state_.write_i4 = &Impl::cb_write_i4;
    state_.write_u1 = &Impl::cb_write_u1;
    state_.write_u2 = &Impl::cb_write_u2;
    state_.write_u4 = &Impl::cb_write_u4;
    state_.write_fp = &Impl::cb_write_fp;
    state_.write_str = &Impl::cb_write_str;
    state_.write_id = &Impl::cb_write_id;
    state_.begin_block = &Impl::cb_begin_block;
    state_.end_block = &Impl::cb_end_block;
    state_.depth = &Impl::cb_depth;
    state_.write_dp = &Impl::cb_write_dp;
}

SceneWriter::~SceneWriter() = default;
SceneForm SceneWriter::form() const { return impl_->form; }
const QvSaveState *SceneWriter::state() { return &state_; }
std::string SceneWriter::finish() { return impl_->finish(); }
bool SceneWriter::ok() const { return impl_->error.empty(); }
const std::string &SceneWriter::error() const { return impl_->error; }

// ---- Reader --------------------------------------------------------------

struct SceneReader::Impl {
    // Where reading is in one open block (the file itself at depth 0).
    struct Frame {
        const TextBlock *block = nullptr; // text
        size_t value = 0;                 // text: next value
        size_t child = 0;                 // text: next child
        size_t pos = 0;                   // binary: next byte
        size_t end = 0;                   // binary: end of the content
    };

    SceneForm form;
    std::string content;
    std::string source;
    std::string error;
    TextBlock text_root;
    std::vector<Frame> frames;

    Impl(SceneForm f, std::string c, std::string s) : form(f), content(std::move(c)), source(std::move(s)) {}

    bool text() const { return form == SceneForm::text; }
    bool ok() const { return error.empty(); }

    void fail(const std::string &message) {
        if (error.empty())
            error = message.empty() ? std::string("error") : message;
    }
    void fail_line(int line, const std::string &message) { fail(source + ":" + std::to_string(line) + ": " + message); }
    void fail_byte(size_t offset, const std::string &message) {
        fail(source + ": byte " + std::to_string(offset) + ": " + message);
    }

    void parse() {
        Frame root;
        root.block = &text_root;
        root.end = content.size();
        frames.push_back(root);
        if (text())
            parse_text();
        else
            check_binary_top();
    }

    // ---- text parsing ----

    // Splits one line [b, e) into words.  Returns false after recording an
    // error.
    bool split_words(size_t b, size_t e, int line, std::vector<TextValue> &words) {
        const std::string &s = content;
        size_t i = b;
        while (i < e) {
            unsigned char c = static_cast<unsigned char>(s[i]);
            if (c == ' ' || c == '\t') {
                ++i;
                continue;
            }
            TextValue w;
            if (c == '"') {
                w.quoted = true;
                w.text.clear();
                ++i;
                bool closed = false;
                while (i < e) {
                    unsigned char d = static_cast<unsigned char>(s[i]);
                    if (d == '"') {
                        closed = true;
                        ++i;
                        break;
                    }
                    if (d == '\\') {
                        if (i + 1 >= e) {
                            fail_line(line, "unterminated string");
                            return false;
                        }
                        char x = s[i + 1];
                        i += 2;
                        switch (x) {
                        case '"': w.text += '"'; break;
                        case '\\': w.text += '\\'; break;
                        case 'n': w.text += '\n'; break;
                        case 't': w.text += '\t'; break;
                        case 'r': w.text += '\r'; break;
                        case 'x': {
                            int v = 0;
                            for (int k = 0; k < 2; ++k) {
                                int h = i < e ? hex_value(s[i]) : -1;
                                if (h < 0) {
                                    fail_line(line, "\\x in a string needs two hex digits");
                                    return false;
                                }
                                v = v * 16 + h;
                                ++i;
                            }
                            w.text += static_cast<char>(v);
                            break;
                        }
                        default: {
                            std::string shown;
                            unsigned char xc = static_cast<unsigned char>(x);
                            if (xc >= 0x20 && xc < 0x7F)
                                shown = std::string(1, x);
                            else
                                append_hex_byte(shown, xc);
                            fail_line(line, "unknown escape \\" + shown + " in a string");
                            return false;
                        }
                        }
                        continue;
                    }
                    w.text += static_cast<char>(d);
                    ++i;
                }
                if (!closed) {
                    fail_line(line, "unterminated string");
                    return false;
                }
                if (i < e && s[i] != ' ' && s[i] != '\t') {
                    fail_line(line, "no space after a string");
                    return false;
                }
            } else {
                size_t start = i;
                while (i < e && s[i] != ' ' && s[i] != '\t') {
                    if (s[i] == '"') {
                        fail_line(line, "quote inside a word");
                        return false;
                    }
                    ++i;
                }
                w.text.assign(s, start, i - start);
            }
            words.push_back(std::move(w));
        }
        return true;
    }

    static int hex_value(char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    static bool valid_token(const TextValue &w) {
        if (w.quoted || w.text.empty())
            return false;
        for (char c : w.text)
            if (!is_token_char(static_cast<unsigned char>(c)))
                return false;
        return true;
    }

    void parse_text() {
        const std::string &s = content;
        std::vector<TextBlock *> stack{&text_root};
        size_t i = 0;
        if (s.compare(0, 3, "\xEF\xBB\xBF") == 0)
            i = 3;
        int line = 0;
        std::vector<TextValue> words;
        while (i < s.size()) {
            ++line;
            size_t eol = s.find('\n', i);
            if (eol == std::string::npos)
                eol = s.size();
            size_t e = eol;
            if (e > i && s[e - 1] == '\r')
                --e;
            for (size_t k = i; k < e; ++k) {
                unsigned char c = static_cast<unsigned char>(s[k]);
                if (!is_text_byte(c) || c == '\r') {
                    std::string hex;
                    append_hex_byte(hex, c);
                    fail_line(line, "control byte " + hex + " in a text file");
                    return;
                }
            }
            words.clear();
            if (!split_words(i, e, line, words))
                return;
            i = eol + 1;
            if (words.empty())
                continue;
            const TextValue &first = words[0];
            if (!first.quoted && first.text == "}") {
                if (words.size() > 1) {
                    fail_line(line, "text after \"}\"");
                    return;
                }
                if (stack.size() == 1) {
                    fail_line(line, "\"}\" without a matching \"{\"");
                    return;
                }
                stack.pop_back();
                continue;
            }
            bool leaf = true;
            size_t t = 0;
            if (!first.quoted && first.text == "{") {
                leaf = false;
                t = 1;
                if (words.size() < 2) {
                    fail_line(line, "\"{\" without a block token");
                    return;
                }
            }
            if (!valid_token(words[t])) {
                fail_line(line, words[t].quoted ? "a string where a block token belongs"
                                                : "\"" + words[t].text + "\" is not a block token");
                return;
            }
            if (static_cast<int>(stack.size()) > kMaxSceneDepth) {
                fail_line(line, "blocks nested deeper than " + std::to_string(kMaxSceneDepth));
                return;
            }
            std::unique_ptr<TextBlock> b(new TextBlock);
            b->token = words[t].text;
            b->leaf = leaf;
            b->line = line;
            b->values.assign(std::make_move_iterator(words.begin() + static_cast<std::ptrdiff_t>(t) + 1),
                             std::make_move_iterator(words.end()));
            TextBlock *raw = b.get();
            stack.back()->children.push_back(std::move(b));
            if (!leaf)
                stack.push_back(raw);
        }
        if (stack.size() > 1) {
            const TextBlock *b = stack.back();
            fail_line(b->line, "block " + quoted_name(b->token) + " is not closed by the end of the file");
        }
    }

    // ---- binary checks ----

    void check_binary_top() {
        size_t pos = 0;
        const size_t end = content.size();
        while (pos < end) {
            uint32_t id;
            size_t c, ce, after;
            ChainProblem p;
            if (!check_header(content, pos, end, true, id, c, ce, after, p)) {
                fail_byte(p.offset, p.message);
                return;
            }
            pos = after;
        }
    }

    // ---- reading ----

    Frame &top() { return frames.back(); }

    const TextValue *peek() {
        Frame &f = top();
        return f.value < f.block->values.size() ? &f.block->values[f.value] : nullptr;
    }

    bool may_read(const void *dst, int count) const { return ok() && dst && count > 0; }

    template <class T> int read_numbers(T *dst, int count) {
        if (!may_read(dst, count))
            return 0;
        Frame &f = top();
        int n = 0;
        if (text()) {
            while (n < count) {
                const TextValue *v = peek();
                if (!v || v->quoted)
                    break;
                T x{};
                bool good;
                if constexpr (std::is_floating_point<T>::value)
                    good = parse_real(v->text, x);
                else
                    good = parse_int(v->text, x);
                if (!good)
                    break;
                dst[n++] = x;
                ++f.value;
            }
        } else {
            size_t avail = (f.end - f.pos) / sizeof(T);
            n = avail < static_cast<size_t>(count) ? static_cast<int>(avail) : count;
            for (int i = 0; i < n; ++i) {
                dst[i] = from_bits<T>(get_be(content, f.pos, static_cast<int>(sizeof(T))));
                f.pos += sizeof(T);
            }
        }
        return n;
    }

    int read_raw(char *dst, int bytes) {
        if (!may_read(dst, bytes))
            return 0;
        if (text()) {
            Frame &f = top();
            int n = 0;
            while (n < bytes) {
                const TextValue *v = peek();
                uint8_t x;
                if (!v || v->quoted || !parse_int(v->text, x))
                    break;
                dst[n++] = static_cast<char>(x);
                ++f.value;
            }
            return n;
        }
        Frame &f = top();
        size_t avail = f.end - f.pos;
        int n = avail < static_cast<size_t>(bytes) ? static_cast<int>(avail) : bytes;
        if (n > 0)
            std::memcpy(dst, content.data() + f.pos, static_cast<size_t>(n));
        f.pos += static_cast<size_t>(n);
        return n;
    }

    int read_str(char *dst, int max) {
        if (!may_read(dst, max))
            return 0;
        Frame &f = top();
        const char *src;
        size_t len;
        if (text()) {
            const TextValue *v = peek();
            if (!v || !v->quoted)
                return 0;
            src = v->text.data();
            len = v->text.size();
            ++f.value;
        } else {
            const void *nul = f.pos < f.end ? std::memchr(content.data() + f.pos, 0, f.end - f.pos) : nullptr;
            if (!nul)
                return 0;
            src = content.data() + f.pos;
            len = static_cast<size_t>(static_cast<const char *>(nul) - src);
            f.pos += len + 1;
            if (((len + 1) & 1u) && f.pos < f.end)
                ++f.pos;
        }
        size_t keep = len < static_cast<size_t>(max) - 1 ? len : static_cast<size_t>(max) - 1;
        std::memcpy(dst, src, keep);
        dst[keep] = '\0';
        return 1;
    }

    uint32_t read_id(const QvBlockIdent *table) {
        if (!ok())
            return 0;
        Frame &f = top();
        if (text()) {
            const TextValue *v = peek();
            if (!v || v->quoted)
                return 0;
            ++f.value;
            return find_by_token(table, v->text);
        }
        if (f.end - f.pos < 4)
            return 0;
        uint32_t id = static_cast<uint32_t>(get_be(content, f.pos, 4));
        f.pos += 4;
        return find_by_id(table, id);
    }

    uint32_t find_block(const QvBlockIdent *table) {
        if (!ok())
            return 0;
        if (text()) {
            Frame &f = top();
            while (f.child < f.block->children.size()) {
                const TextBlock *c = f.block->children[f.child++].get();
                uint32_t id = find_by_token(table, c->token);
                if (id) {
                    Frame n;
                    n.block = c;
                    frames.push_back(n);
                    return id;
                }
            }
            return 0;
        }
        for (;;) {
            Frame &f = top();
            if (f.pos >= f.end)
                return 0;
            uint32_t id;
            size_t c, ce, after;
            ChainProblem p;
            if (!check_header(content, f.pos, f.end, frames.size() == 1, id, c, ce, after, p)) {
                fail_byte(p.offset, p.message);
                return 0;
            }
            size_t header = f.pos;
            f.pos = after;
            if (find_by_id(table, id)) {
                if (static_cast<int>(frames.size()) > kMaxSceneDepth) {
                    fail_byte(header, "blocks nested deeper than " + std::to_string(kMaxSceneDepth));
                    return 0;
                }
                Frame n;
                n.pos = c;
                n.end = ce;
                frames.push_back(n);
                return id;
            }
        }
    }

    void end_block() {
        if (frames.size() > 1)
            frames.pop_back();
    }

    int depth() const { return static_cast<int>(frames.size()) - 1; }

    static Impl &of(void *ctx) { return *static_cast<SceneReader *>(ctx)->impl_; }

    // Runs a read inside the callback boundary: nothing escapes into the
    // module's C code.
    template <class R, class F> static R guard(void *ctx, F &&f) {
        if (!ctx)
            return R();
        Impl &r = of(ctx);
        try {
            return f(r);
        } catch (const std::bad_alloc &) {
            r.fail(r.source + ": out of memory");
        } catch (...) {
            r.fail(r.source + ": internal error while reading");
        }
        return R();
    }

    static int cb_read(void *ctx, char *dst, int bytes) {
        return guard<int>(ctx, [&](Impl &r) { return r.read_raw(dst, bytes); });
    }
    static int cb_read_i1(void *ctx, int8_t *dst, int count) {
        return guard<int>(ctx, [&](Impl &r) { return r.read_numbers(dst, count); });
    }
    static int cb_read_i2(void *ctx, int16_t *dst, int count) {
        return guard<int>(ctx, [&](Impl &r) { return r.read_numbers(dst, count); });
    }
    static int cb_read_i4(void *ctx, int32_t *dst, int count) {
        return guard<int>(ctx, [&](Impl &r) { return r.read_numbers(dst, count); });
    }
    static int cb_read_u1(void *ctx, uint8_t *dst, int count) {
        return guard<int>(ctx, [&](Impl &r) { return r.read_numbers(dst, count); });
    }
    static int cb_read_u2(void *ctx, uint16_t *dst, int count) {
        return guard<int>(ctx, [&](Impl &r) { return r.read_numbers(dst, count); });
    }
    static int cb_read_u4(void *ctx, uint32_t *dst, int count) {
        return guard<int>(ctx, [&](Impl &r) { return r.read_numbers(dst, count); });
    }
    static int cb_read_fp(void *ctx, float *dst, int count) {
        return guard<int>(ctx, [&](Impl &r) { return r.read_numbers(dst, count); });
    }
    static int cb_read_dp(void *ctx, double *dst, int count) {
        return guard<int>(ctx, [&](Impl &r) { return r.read_numbers(dst, count); });
    }
    static int cb_read_str(void *ctx, char *dst, int max) {
        return guard<int>(ctx, [&](Impl &r) { return r.read_str(dst, max); });
    }
    static uint32_t cb_read_id(void *ctx, const QvBlockIdent *table) {
        return guard<uint32_t>(ctx, [&](Impl &r) { return r.read_id(table); });
    }
    static uint32_t cb_find_block(void *ctx, const QvBlockIdent *table) {
        return guard<uint32_t>(ctx, [&](Impl &r) { return r.find_block(table); });
    }
    static void cb_end_block(void *ctx) {
        if (ctx)
            of(ctx).end_block();
    }
    static int cb_depth(void *ctx) { return ctx ? of(ctx).depth() : 0; }
};

SceneReader::SceneReader(SceneForm form, std::string content, std::string source_name)
    : impl_(new Impl(form, std::move(content), std::move(source_name))), state_() {
    state_.io_mode = form == SceneForm::text ? QV_IO_TEXT : QV_IO_BINARY;
    state_.context = this;
    state_.read = &Impl::cb_read;
    state_.read_i1 = &Impl::cb_read_i1;
    state_.read_i2 = &Impl::cb_read_i2;
    state_.read_i4 = &Impl::cb_read_i4;
    state_.read_u1 = &Impl::cb_read_u1;
    state_.read_u2 = &Impl::cb_read_u2;
    state_.read_u4 = &Impl::cb_read_u4;
    state_.read_fp = &Impl::cb_read_fp;
    state_.read_str = &Impl::cb_read_str;
    state_.read_id = &Impl::cb_read_id;
    state_.find_block = &Impl::cb_find_block;
    state_.end_block = &Impl::cb_end_block;
    state_.depth = &Impl::cb_depth;
    state_.read_dp = &Impl::cb_read_dp;
    impl_->parse();
}

SceneReader::~SceneReader() = default;
SceneForm SceneReader::form() const { return impl_->form; }
const QvLoadState *SceneReader::state() { return &state_; }
bool SceneReader::ok() const { return impl_->ok(); }
const std::string &SceneReader::error() const { return impl_->error; }

// ---- Form detection --------------------------------------------------------

SceneForm detect_scene_form(const std::string &content) {
    if (content.empty())
        return SceneForm::text;
    for (char ch : content)
        if (!is_text_byte(static_cast<unsigned char>(ch)))
            return SceneForm::binary;
    // Only text bytes: binary when it is exactly a chain of top-level blocks
    // with printable ids and zero padding.
    size_t pos = 0;
    const size_t end = content.size();
    while (pos < end) {
        uint32_t id;
        size_t c, ce, after;
        ChainProblem p;
        if (!check_header(content, pos, end, true, id, c, ce, after, p))
            return SceneForm::text;
        for (int k = 0; k < 4; ++k) {
            unsigned char b = static_cast<unsigned char>(content[pos + static_cast<size_t>(k)]);
            if (b < 0x20 || b >= 0x7F)
                return SceneForm::text;
        }
        if (after != ce && content[ce] != '\0')
            return SceneForm::text;
        pos = after;
    }
    return SceneForm::binary;
}

} // namespace refhost
