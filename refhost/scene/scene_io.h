// Scene block files: the load and save states the reference host hands to a
// module's load and save callbacks, in the application's two file forms.
//
// Text form.  One block per line, indented two spaces per level:
//
//     { Node 3              a block with children: "{ token", its own values,
//       Value 1 0.1 "a\"b"  then its children one level deeper,
//       Mode Add            a leaf block: "token values..."
//     }                     and "}" closing the block with children
//
//   - Values are separated by single spaces.  A block's own values always sit
//     on its first line, also those written after some of its children (the
//     reader keeps values and children apart, so reading them back in the order
//     they were written works in both forms).
//   - Integers are decimal.  Floats and doubles are the shortest text that reads
//     back as the same value ("0.1", "-0", "1e+30"); infinities are "inf" and
//     "-inf", and every NaN is written "nan" (the payload and sign of a NaN are
//     kept only by the binary form).  An integer token reads as a float or
//     double; a token with a point or exponent never reads as an integer.
//   - Strings are double-quoted.  `"` and `\` are escaped as \" and \\, newline,
//     tab and carriage return as \n \t \r, other bytes below 0x20 and 0x7F as
//     \xHH; all other bytes, UTF-8 included, are written as they are.
//   - Ids (write_id) are the ident's token, unquoted.
//   - Raw bytes (write) are written like u1 values: one decimal 0..255 each.
//   - Tokens are ASCII 0x21..0x7E without `"`, `{` and `}`.
//   - Reading accepts blank lines, any indentation, runs of spaces and tabs
//     between words, CR LF line ends and a leading UTF-8 byte order mark.
//
// Binary form (IFF style).  A block is its 4-byte id, a 2-byte size and that
// many bytes of content, plus one 0 byte after the content when the size is
// odd (the padding is not counted in the size but is part of the parent's
// content).  Children sit inside the parent's content, after or between the
// parent's own values, exactly in the order they were written.  Numbers are
// big-endian, floats and doubles IEEE 754.  A string is its bytes and a 0,
// plus one more 0 when that makes an odd length.  A block holds at most 65535
// bytes.
//
// In both forms a file is a sequence of top-level blocks: values can only be
// written inside a block (a host opens a block around a module's callback).
// Blocks nest at most kMaxSceneDepth deep.  A text file holds at most
// kMaxTextBlocks blocks and kMaxTextValues values, and a block at most
// kMaxBlockValues values (as a binary block holds at most as many bytes):
// the text reader keeps the whole file as a tree, and these bound it to a
// few hundred megabytes.  Writing and reading refuse a file beyond them
// alike, naming the line and the limit.
//
// Reading.  Every read returns how many values it read, and stops at the
// first value that is missing or is not of the asked type, leaving the rest
// of the destination untouched.  read_str returns 1 for a string read (cut to
// max-1 bytes and always terminated) and 0 for none.  read_id returns the id
// when the value read is in the table, else 0; the value is consumed either
// way (in text a quoted string is not an id and is left unread).  Tables end
// at the first entry whose id is 0; text matches tokens, binary matches ids.
// find_block skips, in text, any unread values of the current block; in
// binary it reads the next block header at the current position, so a
// block's values must be read (or skipped with end_block) in the order they
// were written.
//
// Errors.  The first problem is kept, named with the source and the line
// (text: "scene.qvn:12: unterminated string") or the byte offset (binary:
// "scene.qvb: byte 40: block \"VAL0\" runs past the end of its parent").  After
// an error every read and find_block returns 0.  The text form is checked as a
// whole when the reader is made.  The binary form is not self-describing below
// the top level (a block's bytes are values or children as its reader takes
// them), so the reader checks the chain of top-level blocks when it is made
// and each nested block header when find_block reaches it: after a load, ok()
// tells that everything the module went through was well formed.
//
// The adapter that hands these states to a module is scene_io.cpp; the two
// forms are scene_text.cpp and scene_binary.cpp.
#ifndef QV_REFHOST_SCENE_IO_H
#define QV_REFHOST_SCENE_IO_H

#include <cstddef>
#include <memory>
#include <string>

#include "host/host_api.h"

namespace refhost {

enum class SceneForm { text, binary };

// The deepest nesting of blocks that is written or read.
constexpr int kMaxSceneDepth = 64;

// The largest content of a binary block.
constexpr int kMaxBinaryBlockSize = 65535;

// The most values of one block, the most blocks and the most values of a
// file in the text form.
constexpr std::size_t kMaxBlockValues = 65535;
constexpr std::size_t kMaxTextBlocks = std::size_t{1} << 23;
constexpr std::size_t kMaxTextValues = std::size_t{1} << 24;

class SceneWriter {
public:
    explicit SceneWriter(SceneForm form);
    ~SceneWriter();
    SceneWriter(const SceneWriter &) = delete;
    SceneWriter &operator=(const SceneWriter &) = delete;

    SceneForm form() const;

    // The record to hand to a module's save callback; its context is this
    // writer, which must outlive every use of the record.
    const QvSaveState *state();

    // The file content.  Blocks still open are reported and closed.
    std::string finish();

    bool ok() const;
    const std::string &error() const;  // empty while ok()

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    QvSaveState state_;
};

class SceneReader {
public:
    // Parses content; source_name names the file in error messages.
    SceneReader(SceneForm form, std::string content, std::string source_name);
    ~SceneReader();
    SceneReader(const SceneReader &) = delete;
    SceneReader &operator=(const SceneReader &) = delete;

    SceneForm form() const;

    // The record to hand to a module's load callback; its context is this
    // reader, which must outlive every use of the record.
    const QvLoadState *state();

    bool ok() const;
    const std::string &error() const;  // empty while ok()

    // The source and where the innermost open block starts, for messages:
    // "scene.qvs:12" in text, "scene.qvb: byte 40" in binary.
    std::string where() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    QvLoadState state_;
};

// Which form a file's content is in.  Text files hold no control bytes other
// than tab, line feed and carriage return, and no byte 0x7F, so any such byte
// means binary (a first block of less than 8224 bytes always puts one in its
// size).  A file of text bytes only is binary when
// it is exactly a chain of top-level blocks with printable ids and zero
// padding, and text otherwise.  Empty content is text.
SceneForm detect_scene_form(const std::string &content);

}  // namespace refhost

#endif  // QV_REFHOST_SCENE_IO_H
