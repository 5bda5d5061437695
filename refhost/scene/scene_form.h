// Inside the scene block files: the interface between the load and save state
// adapter (scene_io.cpp) and the two file forms (scene_text.cpp,
// scene_binary.cpp).  Both forms are specified in scene_io.h.  Only those
// three files include this header.
//
// The adapter owns what both forms share: the C callback tables and the guard
// that keeps exceptions out of the module's code, the stack of blocks being
// written and its checks (values outside any block, blocks inside leaf blocks,
// nesting depth, blocks left open), the first error, and the state checks of
// every read (nothing is read after an error).  A form object keeps the
// content: it lays out what the adapter lets through, and finds what is read.
#ifndef QV_REFHOST_SCENE_FORM_H
#define QV_REFHOST_SCENE_FORM_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "host/host_api.h"
#include "support/escaped_text.h"

namespace refhost {
namespace scene {

// ---- Helpers of both forms ------------------------------------------------

// A block id as its four characters, for messages; bytes that do not print,
// `"` and `\` as \xHH.
std::string id_text(uint32_t id);

// Whether a byte may appear as it is in a text file.
bool is_text_byte(unsigned char c);

// ---- Writing --------------------------------------------------------------

// One form's layout of the blocks and values written.  The adapter calls it
// only with a block open (for values), a source that is not null and a
// positive count.
class FormWriter {
public:
    virtual ~FormWriter() = default;

    // The block's name in messages.  Sets `problem` when the ident cannot name
    // a block in this form; the adapter then keeps the block out of the file.
    virtual std::string block_name(const QvBlockIdent &ident, std::string &problem) const = 0;

    // Opens a block inside the innermost open one, or at the top level.  Every
    // block begun is opened, also one the adapter keeps out of the file (its
    // values are taken and dropped with it).
    virtual void begin_block(uint32_t id, const std::string &name, bool leaf) = 0;

    // Closes the innermost open block and, when `keep`, puts it into its
    // parent.  Returns why a kept block could not be put there (it is then
    // dropped), empty when it was.
    virtual std::string end_block(const std::string &name, bool keep) = 0;

    virtual void write_values(const int8_t *src, int count) = 0;
    virtual void write_values(const int16_t *src, int count) = 0;
    virtual void write_values(const int32_t *src, int count) = 0;
    virtual void write_values(const uint8_t *src, int count) = 0;
    virtual void write_values(const uint16_t *src, int count) = 0;
    virtual void write_values(const uint32_t *src, int count) = 0;
    virtual void write_values(const float *src, int count) = 0;
    virtual void write_values(const double *src, int count) = 0;
    virtual void write_raw(const char *src, int bytes) = 0;
    virtual void write_str(const char *src) = 0;
    // Returns why the id cannot be written (nothing is written then), empty
    // when it was.
    virtual std::string write_id(const QvBlockIdent &ident) = 0;

    // The file: the top-level blocks, once every block is closed.
    virtual std::string content() const = 0;
};

std::unique_ptr<FormWriter> make_text_writer();
std::unique_ptr<FormWriter> make_binary_writer();

// ---- Reading --------------------------------------------------------------

// Where a reader's errors go: the source's name for messages and the first
// problem found.
struct ReadStatus {
    std::string source;
    std::string error;

    bool ok() const { return error.empty(); }
    void fail(const std::string &message);
};

// One form's reading of a file.  Made from the file's content, it checks what
// the form checks up front and reports problems to the status.  The adapter
// calls it only while the status is ok, with a destination that is not null
// and a positive count.
class FormReader {
public:
    virtual ~FormReader() = default;

    // Values of the innermost open block (the file itself at depth 0), up to
    // the first one that is missing or not of the type; returns how many.
    virtual int read_values(int8_t *dst, int count) = 0;
    virtual int read_values(int16_t *dst, int count) = 0;
    virtual int read_values(int32_t *dst, int count) = 0;
    virtual int read_values(uint8_t *dst, int count) = 0;
    virtual int read_values(uint16_t *dst, int count) = 0;
    virtual int read_values(uint32_t *dst, int count) = 0;
    virtual int read_values(float *dst, int count) = 0;
    virtual int read_values(double *dst, int count) = 0;
    virtual int read_raw(char *dst, int bytes) = 0;
    // The next value as a string, consumed; false when it is none.  The text
    // stays valid until the next call.
    virtual bool read_str(std::string_view &text) = 0;
    // The next value as an id, consumed; its id when it is in the table, else 0.
    virtual uint32_t read_id(const QvBlockIdent *table) = 0;

    // Enters the next block of the innermost open one whose id is in the
    // table and returns its id; 0 when none is left.
    virtual uint32_t find_block(const QvBlockIdent *table) = 0;
    // Leaves the innermost open block; called only with one open.
    virtual void end_block() = 0;
    // How many blocks are open.
    virtual int depth() const = 0;
    // Where the innermost open block starts, for messages: ":LINE" in text,
    // ": byte OFFSET" in binary; "" at the top level.
    virtual std::string where() const = 0;
};

std::unique_ptr<FormReader> make_text_reader(std::string content, ReadStatus &status);
std::unique_ptr<FormReader> make_binary_reader(std::string content, ReadStatus &status);

}  // namespace scene
}  // namespace refhost

#endif  // QV_REFHOST_SCENE_FORM_H
