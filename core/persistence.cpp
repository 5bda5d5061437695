#include "core/persistence.h"

namespace qv {

namespace {

constexpr uint32_t kVal0 = QV_BLOCK_ID('V', 'A', 'L', '0');
constexpr uint32_t kLogic = QV_BLOCK_ID('L', 'G', 'I', 'C');
constexpr uint32_t kInt2 = QV_BLOCK_ID('I', 'N', 'T', '2');
constexpr uint32_t kInt1 = QV_BLOCK_ID('I', 'N', 'T', '1');
constexpr uint32_t kValD = QV_BLOCK_ID('V', 'A', 'L', 'D');

// Entries of kBlockIdents, for begin block.
enum BlockEntry { kEntryVal0 = 0, kEntryLogic = 7, kEntryInt2 = 8, kEntryInt1 = 9, kEntryValD = 10 };

void write_block_floats(const QvSaveState *ss, int entry, const double *values, int count) {
    float f[3];
    for (int i = 0; i < count; ++i) f[i] = static_cast<float>(values[i]);
    ss->begin_block(ss->context, &kBlockIdents[entry], 1);
    ss->write_fp(ss->context, f, count);
    ss->end_block(ss->context);
}

void write_block_ints(const QvSaveState *ss, int entry, const int32_t *values, int count) {
    ss->begin_block(ss->context, &kBlockIdents[entry], 1);
    ss->write_i4(ss->context, values, count);
    ss->end_block(ss->context);
}

// The reads below take up to count (at most 3) values into locals and copy
// only as many as the host says it read: what the block lacks stays as it
// was, whatever the host left in the rest of the buffer.
int values_read(int got, int count) { return got < 0 ? 0 : got > count ? count : got; }

void read_floats(const QvLoadState *ls, double *values, int count) {
    float f[3];
    const int got = values_read(ls->read_fp(ls->context, f, count), count);
    for (int i = 0; i < got; ++i) values[i] = f[i];
}

void read_ints(const QvLoadState *ls, int32_t *values, int count) {
    int32_t v[3];
    const int got = values_read(ls->read_i4(ls->context, v, count), count);
    for (int i = 0; i < got; ++i) values[i] = v[i];
}

}  // namespace

const QvBlockIdent kBlockIdents[] = {
    {QV_BLOCK_ID('V', 'A', 'L', '0'), "val0"},
    {QV_BLOCK_ID('V', 'A', 'L', '1'), "val1"},
    {QV_BLOCK_ID('V', 'A', 'L', '2'), "val2"},
    {QV_BLOCK_ID('V', 'A', 'L', '3'), "val3"},
    {QV_BLOCK_ID('V', 'A', 'L', '4'), "val4"},
    {QV_BLOCK_ID('V', 'A', 'L', '5'), "val5"},
    {QV_BLOCK_ID('V', 'A', 'L', '6'), "val6"},
    {kLogic, "Logic"},
    {kInt2, "Int2"},
    {kInt1, "Int1"},
    {kValD, "valD"},
    {0, nullptr},
};

QvError standard_copy(void *to, void *from) {
    auto *d = static_cast<NodeInstance *>(to);
    const auto *s = static_cast<const NodeInstance *>(from);
    for (int i = 0; i < kSlots; ++i)
        if (s->flags & default_flag(i)) d->defaults[i] = s->defaults[i];
    if (s->flags & kFlagLogic) {
        // Only logic instances carry operator words; both must be one.
        if (d->flags & kFlagLogic)
            for (int k = 0; k < 3; ++k)
                reinterpret_cast<LogicInstance *>(d)->operators[k] =
                    reinterpret_cast<const LogicInstance *>(s)->operators[k];
    } else if (s->flags & kFlagValD) {
        d->extra.value = s->extra.value;
    } else if (s->flags & kFlagInt2) {
        d->extra.words[0] = s->extra.words[0];
        d->extra.words[1] = s->extra.words[1];
    } else if (s->flags & kFlagInt1) {
        d->extra.words[0] = s->extra.words[0];
    }
    return nullptr;
}

QvError standard_save(void *inst, const QvSaveState *ss) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    for (int i = 0; i < kSlots; ++i)
        if (n->flags & default_flag(i)) write_block_floats(ss, kEntryVal0 + i, &n->defaults[i], 1);
    if (n->flags & kFlagLogic)
        write_block_ints(ss, kEntryLogic, reinterpret_cast<const LogicInstance *>(n)->operators, 3);
    else if (n->flags & kFlagInt2)
        write_block_ints(ss, kEntryInt2, n->extra.words, 2);
    else if (n->flags & kFlagInt1)
        write_block_ints(ss, kEntryInt1, n->extra.words, 1);
    if (n->flags & kFlagValD) write_block_floats(ss, kEntryValD, &n->extra.value, 1);
    return nullptr;
}

QvError standard_load(void *inst, const QvLoadState *ls) {
    auto *n = static_cast<NodeInstance *>(inst);
    while (uint32_t id = ls->find_block(ls->context, kBlockIdents)) {
        // A block is read only into storage the node has: the extra slot of a
        // one-input node holds its function, and only a logic instance has
        // operator words.
        if (id >= kVal0 && id <= kVal0 + 5)
            read_floats(ls, &n->defaults[id - kVal0], 1);
        else if (id == kValD && (n->flags & kFlagValD))
            read_floats(ls, &n->extra.value, 1);
        else if (id == kInt1 && (n->flags & (kFlagInt1 | kFlagInt2)))
            read_ints(ls, n->extra.words, 1);
        else if (id == kInt2 && (n->flags & kFlagInt2))
            read_ints(ls, n->extra.words, 2);
        else if (id == kLogic && (n->flags & kFlagLogic))
            read_ints(ls, reinterpret_cast<LogicInstance *>(n)->operators, 3);
        ls->end_block(ls->context);
    }
    return nullptr;
}

QvError vector_save(void *inst, const QvSaveState *ss) {
    const auto *n = static_cast<const NodeInstance *>(inst);
    write_block_floats(ss, kEntryVal0, &n->defaults[0], 3);
    if (n->flags & kFlagValD)
        write_block_floats(ss, kEntryValD, &n->extra.value, 1);
    else
        write_block_floats(ss, kEntryVal0 + 1, &n->defaults[3], 3);
    return nullptr;
}

QvError vector_load(void *inst, const QvLoadState *ls) {
    auto *n = static_cast<NodeInstance *>(inst);
    while (uint32_t id = ls->find_block(ls->context, kBlockIdents)) {
        if (id == kVal0)
            read_floats(ls, &n->defaults[0], 3);
        else if (id == kVal0 + 1)
            read_floats(ls, &n->defaults[3], 3);
        else if (id == kValD)
            read_floats(ls, &n->extra.value, 1);
        ls->end_block(ls->context);
    }
    return nullptr;
}

QvError empty_copy(void *, void *) { return nullptr; }
QvError empty_load(void *, const QvLoadState *) { return nullptr; }
QvError empty_save(void *, const QvSaveState *) { return nullptr; }

}  // namespace qv
