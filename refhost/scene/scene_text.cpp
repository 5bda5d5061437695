// Scene block files, text form: one block per line, values as words, blocks
// with children closed by "}".  The form is specified in scene_io.h; the
// adapter that drives it is scene_io.cpp.
#include "support/number_text.h"
#include "refhost/scene/scene_form.h"
#include "refhost/scene/scene_io.h"

#include <charconv>
#include <cmath>
#include <cstddef>
#include <iterator>
#include <limits>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

namespace refhost {

using support::append_hex_byte;
using support::escaped_text;
using support::number_text;
using support::quoted;
namespace scene {

namespace {

// ---- Words ---------------------------------------------------------------

bool is_token_char(unsigned char c) { return c > 0x20 && c < 0x7F && c != '"' && c != '{' && c != '}'; }

bool is_valid_token(const char *token) {
    if (!token || !*token) return false;
    for (const char *p = token; *p; ++p)
        if (!is_token_char(static_cast<unsigned char>(*p))) return false;
    return true;
}

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
template <class T>
std::string real_text(T v) {
    return std::isnan(v) ? std::string("nan") : number_text(v);
}

// A whole word as a number of type T.
template <class T>
bool parse_number(const std::string &s, T &out) {
    return support::read_number(s, out) == support::NumberRead::ok;
}

// Table look-up by token; a table ends at the first entry whose id is 0.
uint32_t find_by_token(const QvBlockIdent *table, const std::string &token) {
    if (!table) return 0;
    for (const QvBlockIdent *t = table; t->id != 0; ++t)
        if (t->token && token == t->token) return t->id;
    return 0;
}

// ---- Blocks ----------------------------------------------------------------

// Why a text file of so many blocks and values passes its limits, or "".
std::string text_limit_passed(std::size_t blocks, std::size_t values) {
    if (blocks > kMaxTextBlocks) return "a text file holds more than " + std::to_string(kMaxTextBlocks) + " blocks";
    if (values > kMaxTextValues) return "a text file holds more than " + std::to_string(kMaxTextValues) + " values";
    return std::string();
}

// A text block as written or read.
struct TextValue {
    std::string text;
    bool quoted = false;
};

struct TextBlock {
    std::string token;
    bool leaf = false;
    std::size_t line = 0;
    std::vector<TextValue> values;
    std::vector<std::unique_ptr<TextBlock>> children;
};

void emit_text(const TextBlock &b, int indent, std::string &out) {
    out.append(static_cast<size_t>(indent) * 2, ' ');
    if (!b.leaf) out += "{ ";
    out += b.token;
    for (const TextValue &v : b.values) {
        out += ' ';
        out += v.text;
    }
    out += '\n';
    if (!b.leaf) {
        for (const auto &c : b.children) emit_text(*c, indent + 1, out);
        out.append(static_cast<size_t>(indent) * 2, ' ');
        out += "}\n";
    }
}

// ---- Writer ----------------------------------------------------------------

// Blocks are kept as a tree while they are written, and a block's values
// collected on its first line, whenever they were written.
class TextWriter final : public FormWriter {
public:
    std::string block_name(const QvBlockIdent &ident, std::string &problem) const override {
        std::string name = ident.token ? ident.token : "";
        if (!is_valid_token(ident.token)) problem = "block token " + quoted(name) + " is not a valid token";
        return name;
    }

    void begin_block(uint32_t, const std::string &name, bool leaf) override {
        std::unique_ptr<TextBlock> b(new TextBlock);
        b->token = name;
        b->leaf = leaf;
        open_.push_back(std::move(b));
    }

    std::string end_block(const std::string &name, bool keep) override {
        std::unique_ptr<TextBlock> b = std::move(open_.back());
        open_.pop_back();
        if (!keep) return std::string();
        if (b->values.size() > kMaxBlockValues)
            return "block " + quoted(name) + " holds " + std::to_string(b->values.size()) +
                   " values; a block holds at most " + std::to_string(kMaxBlockValues);
        std::string limit = text_limit_passed(blocks_ + 1, values_ + b->values.size());
        if (!limit.empty()) return "block " + quoted(name) + ": " + limit;
        ++blocks_;
        values_ += b->values.size();
        TextBlock &parent = open_.empty() ? root_ : *open_.back();
        parent.children.push_back(std::move(b));
        return std::string();
    }

    void write_values(const int8_t *src, int count) override { add_numbers(src, count); }
    void write_values(const int16_t *src, int count) override { add_numbers(src, count); }
    void write_values(const int32_t *src, int count) override { add_numbers(src, count); }
    void write_values(const uint8_t *src, int count) override { add_numbers(src, count); }
    void write_values(const uint16_t *src, int count) override { add_numbers(src, count); }
    void write_values(const uint32_t *src, int count) override { add_numbers(src, count); }
    void write_values(const float *src, int count) override { add_numbers(src, count); }
    void write_values(const double *src, int count) override { add_numbers(src, count); }

    void write_raw(const char *src, int bytes) override {
        for (int i = 0; i < bytes; ++i) add(number_text(static_cast<unsigned>(static_cast<unsigned char>(src[i]))));
    }

    void write_str(const char *src) override {
        std::string q;
        append_quoted(q, src);
        add(std::move(q), true);
    }

    std::string write_id(const QvBlockIdent &ident) override {
        if (!is_valid_token(ident.token)) return "id written with an invalid token";
        add(ident.token);
        return std::string();
    }

    std::string content() const override {
        std::string out;
        for (const auto &c : root_.children) emit_text(*c, 0, out);
        return out;
    }

private:
    void add(std::string v, bool quoted = false) {
        TextValue tv;
        tv.text = std::move(v);
        tv.quoted = quoted;
        open_.back()->values.push_back(std::move(tv));
    }

    template <class T>
    void add_numbers(const T *src, int count) {
        for (int i = 0; i < count; ++i) {
            if constexpr (std::is_floating_point<T>::value)
                add(real_text(src[i]));
            else
                add(number_text(src[i]));
        }
    }

    TextBlock root_;
    std::vector<std::unique_ptr<TextBlock>> open_;
    std::size_t blocks_ = 0, values_ = 0;  // kept in the file so far
};

// ---- Reader ----------------------------------------------------------------

// The whole file is parsed into a tree when the reader is made; reading then
// walks the tree.
class TextReader final : public FormReader {
public:
    TextReader(const std::string &content, ReadStatus &status) : status_(status) {
        Frame root;
        root.block = &root_;
        frames_.push_back(root);
        parse(content);
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
        int n = 0;
        while (n < bytes) {
            const TextValue *v = peek();
            uint8_t x;
            if (!v || v->quoted || !parse_number(v->text, x)) break;
            dst[n++] = static_cast<char>(x);
            ++f.value;
        }
        return n;
    }

    bool read_str(std::string_view &text) override {
        const TextValue *v = peek();
        if (!v || !v->quoted) return false;
        text = v->text;
        ++top().value;
        return true;
    }

    uint32_t read_id(const QvBlockIdent *table) override {
        const TextValue *v = peek();
        if (!v || v->quoted) return 0;
        ++top().value;
        return find_by_token(table, v->text);
    }

    uint32_t find_block(const QvBlockIdent *table) override {
        Frame &f = top();
        while (f.child < f.block->children.size()) {
            const TextBlock *c = f.block->children[f.child++].get();
            uint32_t id = find_by_token(table, c->token);
            if (id) {
                Frame n;
                n.block = c;
                frames_.push_back(n);
                return id;
            }
        }
        return 0;
    }

    void end_block() override { frames_.pop_back(); }

    int depth() const override { return static_cast<int>(frames_.size()) - 1; }

    std::string where() const override {
        return frames_.size() > 1 ? ":" + std::to_string(frames_.back().block->line) : std::string();
    }

private:
    // Where reading is in one open block (the file itself at depth 0).
    struct Frame {
        const TextBlock *block = nullptr;
        size_t value = 0;  // next value
        size_t child = 0;  // next child
    };

    Frame &top() { return frames_.back(); }

    const TextValue *peek() {
        Frame &f = top();
        return f.value < f.block->values.size() ? &f.block->values[f.value] : nullptr;
    }

    template <class T>
    int take_numbers(T *dst, int count) {
        Frame &f = top();
        int n = 0;
        while (n < count) {
            const TextValue *v = peek();
            if (!v || v->quoted) break;
            T x{};
            if (!parse_number(v->text, x)) break;
            dst[n++] = x;
            ++f.value;
        }
        return n;
    }

    void fail_line(std::size_t line, const std::string &message) {
        status_.fail(status_.source + ":" + std::to_string(line) + ": " + message);
    }

    // Splits one line [b, e) of s into words.  Returns false after recording
    // an error.
    bool split_words(const std::string &s, size_t b, size_t e, std::size_t line, std::vector<TextValue> &words) {
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
                        default:
                            fail_line(line, "unknown escape \\" + escaped_text(std::string(1, x)) + " in a string");
                            return false;
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
            // "{", the token and the values: a line longer than any block
            // stops here, before its words fill the memory.
            if (words.size() > kMaxBlockValues + 2) {
                fail_line(line, too_many_values());
                return false;
            }
        }
        return true;
    }

    static std::string too_many_values() {
        return "a block holds more than " + std::to_string(kMaxBlockValues) + " values";
    }

    static int hex_value(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    static bool valid_token(const TextValue &w) {
        if (w.quoted || w.text.empty()) return false;
        for (char c : w.text)
            if (!is_token_char(static_cast<unsigned char>(c))) return false;
        return true;
    }

    void parse(const std::string &s) {
        std::vector<TextBlock *> stack{&root_};
        size_t i = 0;
        if (s.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
        std::size_t line = 0;
        std::vector<TextValue> words;
        while (i < s.size()) {
            ++line;
            size_t eol = s.find('\n', i);
            if (eol == std::string::npos) eol = s.size();
            size_t e = eol;
            if (e > i && s[e - 1] == '\r') --e;
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
            if (!split_words(s, i, e, line, words)) return;
            i = eol + 1;
            if (words.empty()) continue;
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
                                                : quoted(words[t].text) + " is not a block token");
                return;
            }
            if (static_cast<int>(stack.size()) > kMaxSceneDepth) {
                fail_line(line, "blocks nested deeper than " + std::to_string(kMaxSceneDepth));
                return;
            }
            const std::size_t values = words.size() - t - 1;
            if (values > kMaxBlockValues) {
                fail_line(line, too_many_values());
                return;
            }
            if (const std::string limit = count_limit(1, values); !limit.empty()) {
                fail_line(line, limit);
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
            if (!leaf) stack.push_back(raw);
        }
        if (stack.size() > 1) {
            const TextBlock *b = stack.back();
            fail_line(b->line, "block " + quoted(b->token) + " is not closed by the end of the file");
        }
    }

    // Counts a block and its values against the file's limits: why they
    // pass one, or "" when they do not.
    std::string count_limit(std::size_t blocks, std::size_t values) {
        blocks_ += blocks;
        values_ += values;
        return text_limit_passed(blocks_, values_);
    }

    ReadStatus &status_;
    TextBlock root_;
    std::vector<Frame> frames_;
    std::size_t blocks_ = 0, values_ = 0;
};

}  // namespace

std::unique_ptr<FormWriter> make_text_writer() { return std::unique_ptr<FormWriter>(new TextWriter); }

std::unique_ptr<FormReader> make_text_reader(std::string content, ReadStatus &status) {
    return std::unique_ptr<FormReader>(new TextReader(content, status));
}

}  // namespace scene
}  // namespace refhost
