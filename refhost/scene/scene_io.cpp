// Scene block files: the load and save state adapter.  It hands the module
// its callback tables, keeps exceptions out of the module's code, keeps the
// stack of open blocks and the checks both forms share, and leaves the layout
// of the content to the form object of the file's form (scene_text.cpp,
// scene_binary.cpp, through scene_form.h).  Both forms are specified in
// scene_io.h.
#include "refhost/scene/scene_io.h"

#include "refhost/scene/scene_form.h"

#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace refhost {

using support::append_hex_byte;
using support::quoted;

// ---- Helpers of both forms --------------------------------------------------

namespace scene {

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

bool is_text_byte(unsigned char c) { return (c >= 0x20 && c != 0x7F) || c == '\t' || c == '\n' || c == '\r'; }

void ReadStatus::fail(const std::string &message) {
    if (error.empty()) error = message.empty() ? std::string("error") : message;
}

}  // namespace scene

// ---- Writer --------------------------------------------------------------

struct SceneWriter::Impl {
    // A block begun and not yet ended.
    struct Open {
        std::string name;  // for messages
        bool leaf = false;
        bool drop = false;  // a block begun in error: left out of the file
    };

    SceneForm form;
    std::unique_ptr<scene::FormWriter> out;
    std::string error;
    std::vector<Open> open;

    explicit Impl(SceneForm f)
        : form(f), out(f == SceneForm::text ? scene::make_text_writer() : scene::make_binary_writer()) {}

    void fail(const std::string &message) {
        if (error.empty()) error = message;
    }

    int depth() const { return static_cast<int>(open.size()); }

    // Whether count values from src can be written here.
    bool may_write(const void *src, int count, const char *what) {
        if (count <= 0) return false;
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

    template <class T>
    void write_numbers(const T *src, int count, const char *what) {
        if (may_write(src, count, what)) out->write_values(src, count);
    }

    void write_raw(const char *src, int bytes) {
        if (may_write(src, bytes, "raw byte")) out->write_raw(src, bytes);
    }

    void write_str(const char *src) {
        if (may_write(src, 1, "string")) out->write_str(src);
    }

    void write_id(const QvBlockIdent *ident) {
        if (!may_write(ident, 1, "id")) return;
        std::string problem = out->write_id(*ident);
        if (!problem.empty()) fail(problem);
    }

    void begin_block(const QvBlockIdent *ident, int leaf) {
        Open o;
        o.leaf = leaf != 0;
        if (!ident) {
            o.name = "?";
            o.drop = true;
            fail("begin_block with no block ident");
        } else {
            std::string problem;
            o.name = out->block_name(*ident, problem);
            if (!problem.empty()) {
                o.drop = true;
                fail(problem);
            }
        }
        if (!open.empty() && open.back().leaf) {
            o.drop = true;
            fail("block " + quoted(o.name) + " begun inside leaf block " + quoted(open.back().name));
        }
        if (depth() >= kMaxSceneDepth) {
            o.drop = true;
            fail("blocks nested deeper than " + std::to_string(kMaxSceneDepth));
        }
        // The form opens every block the adapter keeps on its stack, so that
        // the two stacks stay in step.
        open.push_back(o);
        try {
            out->begin_block(ident ? ident->id : 0, o.name, o.leaf);
        } catch (...) {
            open.pop_back();
            throw;
        }
    }

    void end_block() {
        if (open.empty()) {
            fail("end_block with no block open");
            return;
        }
        Open o = std::move(open.back());
        open.pop_back();
        std::string problem = out->end_block(o.name, !o.drop);
        if (!problem.empty()) fail(problem);
    }

    std::string finish() {
        while (!open.empty()) {
            fail("block " + quoted(open.back().name) + " is not closed");
            end_block();
        }
        return out->content();
    }

    static Impl &of(void *ctx) { return *static_cast<SceneWriter *>(ctx)->impl_; }

    // Runs a write inside the callback boundary: nothing escapes into the
    // module's C code.
    template <class F>
    static void guard(void *ctx, F &&f) {
        if (!ctx) return;
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
    SceneForm form;
    scene::ReadStatus status;
    std::unique_ptr<scene::FormReader> in;

    Impl(SceneForm f, std::string content, std::string source) : form(f) {
        status.source = std::move(source);
        in = f == SceneForm::text ? scene::make_text_reader(std::move(content), status)
                                  : scene::make_binary_reader(std::move(content), status);
    }

    bool ok() const { return status.ok(); }

    bool may_read(const void *dst, int count) const { return ok() && dst && count > 0; }

    template <class T>
    int read_numbers(T *dst, int count) {
        return may_read(dst, count) ? in->read_values(dst, count) : 0;
    }

    int read_raw(char *dst, int bytes) { return may_read(dst, bytes) ? in->read_raw(dst, bytes) : 0; }

    int read_str(char *dst, int max) {
        if (!may_read(dst, max)) return 0;
        std::string_view text;
        if (!in->read_str(text)) return 0;
        size_t keep = text.size() < static_cast<size_t>(max) - 1 ? text.size() : static_cast<size_t>(max) - 1;
        std::memcpy(dst, text.data(), keep);
        dst[keep] = '\0';
        return 1;
    }

    uint32_t read_id(const QvBlockIdent *table) { return ok() ? in->read_id(table) : 0; }

    uint32_t find_block(const QvBlockIdent *table) { return ok() ? in->find_block(table) : 0; }

    void end_block() {
        if (in->depth() > 0) in->end_block();
    }

    int depth() const { return in->depth(); }

    static Impl &of(void *ctx) { return *static_cast<SceneReader *>(ctx)->impl_; }

    // Runs a read inside the callback boundary: nothing escapes into the
    // module's C code.
    template <class R, class F>
    static R guard(void *ctx, F &&f) {
        if (!ctx) return R();
        Impl &r = of(ctx);
        try {
            return f(r);
        } catch (const std::bad_alloc &) {
            r.status.fail(r.status.source + ": out of memory");
        } catch (...) {
            r.status.fail(r.status.source + ": internal error while reading");
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
        if (ctx) of(ctx).end_block();
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
}

SceneReader::~SceneReader() = default;
SceneForm SceneReader::form() const { return impl_->form; }
const QvLoadState *SceneReader::state() { return &state_; }
bool SceneReader::ok() const { return impl_->ok(); }
const std::string &SceneReader::error() const { return impl_->status.error; }
std::string SceneReader::where() const { return impl_->status.source + impl_->in->where(); }

}  // namespace refhost
