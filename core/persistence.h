// Copying a node and carrying its stored values through the host's scene
// files.  Three sets exist: the standard set (what the option flags select),
// the vector set (standard copy, two stored vectors), and the empty set.
//
// Saved blocks, one value list each; an older file may lack any of them, and a
// missing block leaves what create set:
//   "VAL0".."VAL6" (val0..val6)  one float: stored default i (standard set),
//                                 or three floats: a stored vector (vector set)
//   "LGIC" (Logic)               three integers: the logic operator words
//   "INT2" (Int2)                two integers: first and second option words
//   "INT1" (Int1)                one integer: first option word
//   "VALD" (valD)                one float: the stored extra value
// Doubles are saved as single-precision floats and widened back on load.
// Standard save writes the "VAL" blocks in slot order, then at most one of
// "LGIC", "INT2", "INT1", then "VALD".  Load takes blocks in any order and
// fills only storage that the node's option flags say is in use (the "VAL"
// blocks always fill their stored default; "VAL6" is never read).
#pragma once

#include "core/node_instance.h"

namespace qv {

extern const QvBlockIdent kBlockIdents[];

QvError standard_copy(void *to, void *from);
QvError standard_load(void *inst, const QvLoadState *ls);
QvError standard_save(void *inst, const QvSaveState *ss);

QvError vector_load(void *inst, const QvLoadState *ls);
QvError vector_save(void *inst, const QvSaveState *ss);

QvError empty_copy(void *to, void *from);
QvError empty_load(void *inst, const QvLoadState *ls);
QvError empty_save(void *inst, const QvSaveState *ss);

}  // namespace qv
