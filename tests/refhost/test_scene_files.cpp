// Scene block files, driven through the load and save records exactly as a
// module's callbacks use them.
#include "refhost/scene/scene_io.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

using refhost::SceneForm;
using refhost::SceneReader;
using refhost::SceneWriter;

namespace {

constexpr uint32_t kNode = QV_BLOCK_ID('N', 'O', 'D', 'E');
constexpr uint32_t kValue = QV_BLOCK_ID('V', 'A', 'L', '0');
constexpr uint32_t kName = QV_BLOCK_ID('N', 'A', 'M', 'E');
constexpr uint32_t kSub = QV_BLOCK_ID('S', 'U', 'B', ' ');
constexpr uint32_t kOther = QV_BLOCK_ID('O', 'T', 'H', 'R');
constexpr uint32_t kAdd = QV_BLOCK_ID('A', 'D', 'D', ' ');
constexpr uint32_t kMul = QV_BLOCK_ID('M', 'U', 'L', ' ');

const QvBlockIdent kNodeId = {kNode, "Node"};
const QvBlockIdent kValueId = {kValue, "Value"};
const QvBlockIdent kNameId = {kName, "Name"};
const QvBlockIdent kSubId = {kSub, "Sub"};
const QvBlockIdent kOtherId = {kOther, "Other"};
const QvBlockIdent kAddId = {kAdd, "Add"};
const QvBlockIdent kMulId = {kMul, "Mul"};

const QvBlockIdent kAllBlocks[] = {kNodeId, kValueId, kNameId, kSubId, kOtherId, {0, nullptr}};
const QvBlockIdent kNodeOnly[] = {kNodeId, {0, nullptr}};
const QvBlockIdent kValueOnly[] = {kValueId, {0, nullptr}};
const QvBlockIdent kOps[] = {kAddId, kMulId, {0, nullptr}};
const QvBlockIdent kAddOnly[] = {kAddId, {0, nullptr}};

const char *SourceFor(SceneForm form) { return form == SceneForm::text ? "scene.qvn" : "scene.qvb"; }

std::string FormName(const ::testing::TestParamInfo<SceneForm> &info) {
    return info.param == SceneForm::text ? "Text" : "Binary";
}

// Saves through the save record; expects no error.
std::string Save(SceneForm form, const std::function<void(const QvSaveState *)> &body) {
    SceneWriter w(form);
    body(w.state());
    std::string out = w.finish();
    EXPECT_TRUE(w.ok()) << w.error();
    return out;
}

void Begin(const QvSaveState *ss, const QvBlockIdent &id, bool leaf = true) {
    ss->begin_block(ss->context, &id, leaf ? 1 : 0);
}
void End(const QvSaveState *ss) { ss->end_block(ss->context); }

uint32_t Find(const QvLoadState *ls, const QvBlockIdent *table) { return ls->find_block(ls->context, table); }
void Leave(const QvLoadState *ls) { ls->end_block(ls->context); }

uint32_t Bits(float f) {
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}
uint64_t Bits(double d) {
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}
float FloatFromBits(uint32_t u) {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}
double DoubleFromBits(uint64_t u) {
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

std::string Be16(unsigned v) { return std::string{static_cast<char>(v >> 8), static_cast<char>(v & 0xFF)}; }

// A binary block by hand.
std::string BinBlock(const char *id, const std::string &content, bool pad = true) {
    std::string s(id, 4);
    s += Be16(static_cast<unsigned>(content.size()));
    s += content;
    if (pad && (content.size() & 1)) s += '\0';
    return s;
}

// Goes through every block the tables know, reading a bit of everything:
// what a careless module could do with any file.
void Walk(const QvLoadState *ls) {
    void *c = ls->context;
    while (uint32_t id = Find(ls, kAllBlocks)) {
        (void)id;
        int32_t i4[3];
        float fp[2];
        double dp;
        char str[8];
        uint8_t u1[3];
        char raw[5];
        ls->read_i4(c, i4, 3);
        ls->read_fp(c, fp, 2);
        ls->read_str(c, str, sizeof str);
        ls->read_dp(c, &dp, 1);
        ls->read_id(c, kOps);
        ls->read_u1(c, u1, 3);
        ls->read(c, raw, 5);
        Walk(ls);
        Leave(ls);
    }
}

// Goes through every block the tables know without reading values.
void WalkBlocks(const QvLoadState *ls) {
    while (Find(ls, kAllBlocks)) {
        WalkBlocks(ls);
        Leave(ls);
    }
}

class FormTest : public ::testing::TestWithParam<SceneForm> {
protected:
    SceneForm form() const { return GetParam(); }
};

INSTANTIATE_TEST_SUITE_P(BothForms, FormTest, ::testing::Values(SceneForm::text, SceneForm::binary), FormName);

// ---- Records --------------------------------------------------------------

TEST_P(FormTest, RecordsAreComplete) {
    SceneWriter w(form());
    const QvSaveState *ss = w.state();
    EXPECT_EQ(ss->io_mode, form() == SceneForm::text ? 1 : 0);  // the application's mode words: text 1, binary 0
    EXPECT_EQ(ss->context, static_cast<void *>(&w));
    EXPECT_TRUE(ss->write && ss->write_i1 && ss->write_i2 && ss->write_i4 && ss->write_u1 && ss->write_u2 &&
                ss->write_u4 && ss->write_fp && ss->write_str && ss->write_id && ss->begin_block && ss->end_block &&
                ss->depth && ss->write_dp);
    SceneReader r(form(), "", "empty");
    const QvLoadState *ls = r.state();
    EXPECT_EQ(ls->io_mode, form() == SceneForm::text ? 1 : 0);  // the application's mode words: text 1, binary 0
    EXPECT_EQ(ls->context, static_cast<void *>(&r));
    EXPECT_TRUE(ls->read && ls->read_i1 && ls->read_i2 && ls->read_i4 && ls->read_u1 && ls->read_u2 && ls->read_u4 &&
                ls->read_fp && ls->read_str && ls->read_id && ls->find_block && ls->end_block && ls->depth &&
                ls->read_dp);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(Find(ls, kAllBlocks), 0u);
    EXPECT_EQ(w.finish(), "");
}

// ---- Round trips ----------------------------------------------------------

TEST_P(FormTest, IntegersRoundTrip) {
    const int8_t i1[] = {0, 1, -1, 127, -128};
    const int16_t i2[] = {0, -1, 32767, -32768, 1234};
    const int32_t i4[] = {0, -1, INT32_MAX, INT32_MIN, 123456789};
    const uint8_t u1[] = {0, 1, 127, 128, 255};
    const uint16_t u2[] = {0, 1, 32768, 65535, 4660};
    const uint32_t u4[] = {0, 1, 0x80000000u, 0xFFFFFFFFu, 0xDEADBEEFu};
    std::string file = Save(form(), [&](const QvSaveState *ss) {
        Begin(ss, kValueId);
        ss->write_i1(ss->context, i1, 5);
        ss->write_i2(ss->context, i2, 5);
        ss->write_i4(ss->context, i4, 5);
        ss->write_u1(ss->context, u1, 5);
        ss->write_u2(ss->context, u2, 5);
        ss->write_u4(ss->context, u4, 5);
        End(ss);
    });
    SceneReader r(form(), file, SourceFor(form()));
    const QvLoadState *ls = r.state();
    ASSERT_EQ(Find(ls, kAllBlocks), kValue);
    int8_t ri1[5];
    int16_t ri2[5];
    int32_t ri4[5];
    uint8_t ru1[5];
    uint16_t ru2[5];
    uint32_t ru4[5];
    EXPECT_EQ(ls->read_i1(ls->context, ri1, 5), 5);
    EXPECT_EQ(ls->read_i2(ls->context, ri2, 5), 5);
    EXPECT_EQ(ls->read_i4(ls->context, ri4, 5), 5);
    EXPECT_EQ(ls->read_u1(ls->context, ru1, 5), 5);
    EXPECT_EQ(ls->read_u2(ls->context, ru2, 5), 5);
    EXPECT_EQ(ls->read_u4(ls->context, ru4, 5), 5);
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(ri1[k], i1[k]);
        EXPECT_EQ(ri2[k], i2[k]);
        EXPECT_EQ(ri4[k], i4[k]);
        EXPECT_EQ(ru1[k], u1[k]);
        EXPECT_EQ(ru2[k], u2[k]);
        EXPECT_EQ(ru4[k], u4[k]);
    }
    Leave(ls);
    EXPECT_EQ(Find(ls, kAllBlocks), 0u);
    EXPECT_TRUE(r.ok()) << r.error();
}

TEST_P(FormTest, FloatsRoundTripExactly) {
    const float values[] = {0.1f,
                            0.0f,
                            -0.0f,
                            1.0f,
                            -1.5f,
                            1.0f / 3.0f,
                            3.14159265f,
                            1e30f,
                            -2.5e-20f,
                            FLT_MIN,
                            FLT_MAX,
                            -FLT_MAX,
                            std::numeric_limits<float>::denorm_min(),
                            16777216.0f,
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN()};
    const int n = static_cast<int>(sizeof values / sizeof values[0]);
    std::string file = Save(form(), [&](const QvSaveState *ss) {
        Begin(ss, kValueId);
        ss->write_fp(ss->context, values, n);
        End(ss);
    });
    SceneReader r(form(), file, SourceFor(form()));
    const QvLoadState *ls = r.state();
    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    std::vector<float> back(static_cast<size_t>(n));
    ASSERT_EQ(ls->read_fp(ls->context, back.data(), n), n);
    for (int k = 0; k < n; ++k) {
        if (std::isnan(values[k]))
            EXPECT_TRUE(std::isnan(back[static_cast<size_t>(k)]));
        else
            EXPECT_EQ(Bits(back[static_cast<size_t>(k)]), Bits(values[k])) << "value " << k << " = " << values[k];
    }
    EXPECT_TRUE(r.ok()) << r.error();
}

TEST_P(FormTest, DoublesRoundTripExactly) {
    const double values[] = {0.1,
                             0.0,
                             -0.0,
                             0.1 + 0.2,
                             1.0 / 3.0,
                             -1e300,
                             5e-324,
                             DBL_MIN,
                             DBL_MAX,
                             123456789.123456789,
                             static_cast<double>(0.1f),
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
    const int n = static_cast<int>(sizeof values / sizeof values[0]);
    std::string file = Save(form(), [&](const QvSaveState *ss) {
        Begin(ss, kValueId);
        ss->write_dp(ss->context, values, n);
        End(ss);
    });
    SceneReader r(form(), file, SourceFor(form()));
    const QvLoadState *ls = r.state();
    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    std::vector<double> back(static_cast<size_t>(n));
    ASSERT_EQ(ls->read_dp(ls->context, back.data(), n), n);
    for (int k = 0; k < n; ++k) {
        if (std::isnan(values[k]))
            EXPECT_TRUE(std::isnan(back[static_cast<size_t>(k)]));
        else
            EXPECT_EQ(Bits(back[static_cast<size_t>(k)]), Bits(values[k])) << "value " << k << " = " << values[k];
    }
    EXPECT_TRUE(r.ok()) << r.error();
}

TEST_P(FormTest, StringsRoundTripExactly) {
    const std::vector<std::string> strings = {
        "",
        "plain",
        "two words",
        "say \"hi\"",
        "back\\slash\\",
        "line\nbreak\r\n",
        "tab\there",
        std::string("\x01\x02\x1f\x7f end"),
        "\"",
        "\\",
        "{ Node",
        "}",
        "caf\xC3\xA9 \xE2\x82\xAC",
        "\\x41 is not an escape here",
        std::string(300, 'z'),
        "odd",
        "even",
    };
    std::string file = Save(form(), [&](const QvSaveState *ss) {
        Begin(ss, kValueId);
        for (const std::string &s : strings) ss->write_str(ss->context, s.c_str());
        int32_t after = 42;
        ss->write_i4(ss->context, &after, 1);
        End(ss);
    });
    SceneReader r(form(), file, SourceFor(form()));
    const QvLoadState *ls = r.state();
    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    for (const std::string &s : strings) {
        char buf[512];
        ASSERT_EQ(ls->read_str(ls->context, buf, sizeof buf), 1) << s;
        EXPECT_EQ(std::string(buf), s);
    }
    int32_t after = 0;
    EXPECT_EQ(ls->read_i4(ls->context, &after, 1), 1);
    EXPECT_EQ(after, 42);
    EXPECT_TRUE(r.ok()) << r.error();
}

TEST_P(FormTest, ReadStrCutsToMaxAndConsumesTheWholeString) {
    std::string file = Save(form(), [&](const QvSaveState *ss) {
        Begin(ss, kValueId);
        ss->write_str(ss->context, "hello world");
        ss->write_str(ss->context, "next");
        End(ss);
    });
    SceneReader r(form(), file, SourceFor(form()));
    const QvLoadState *ls = r.state();
    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    char buf[6];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(ls->read_str(ls->context, buf, 6), 1);
    EXPECT_STREQ(buf, "hello");
    char one[1] = {'x'};
    EXPECT_EQ(ls->read_str(ls->context, one, 1), 1);
    EXPECT_EQ(one[0], '\0');
    char none[2] = {'x', 'y'};
    EXPECT_EQ(ls->read_str(ls->context, none, 0), 0);
    EXPECT_EQ(none[0], 'x');
    EXPECT_EQ(ls->read_str(ls->context, none, sizeof none), 0);  // nothing left
    EXPECT_EQ(none[0], 'x');
    EXPECT_EQ(none[1], 'y');
    EXPECT_TRUE(r.ok()) << r.error();
}

TEST_P(FormTest, RawBytesRoundTripAndReadAsU1) {
    std::string all;
    for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
    std::string file = Save(form(), [&](const QvSaveState *ss) {
        Begin(ss, kValueId);
        ss->write(ss->context, all.data(), static_cast<int>(all.size()));
        ss->write(ss->context, "\x05\xFA", 2);
        End(ss);
    });
    SceneReader r(form(), file, SourceFor(form()));
    const QvLoadState *ls = r.state();
    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    std::string back(256, '\0');
    ASSERT_EQ(ls->read(ls->context, &back[0], 256), 256);
    EXPECT_EQ(back, all);
    uint8_t u1[2];
    ASSERT_EQ(ls->read_u1(ls->context, u1, 2), 2);
    EXPECT_EQ(u1[0], 5);
    EXPECT_EQ(u1[1], 0xFA);
    EXPECT_TRUE(r.ok()) << r.error();
}

TEST_P(FormTest, IdsRoundTrip) {
    std::string file = Save(form(), [&](const QvSaveState *ss) {
        Begin(ss, kValueId);
        ss->write_id(ss->context, &kMulId);
        ss->write_id(ss->context, &kAddId);
        ss->write_id(ss->context, &kMulId);
        int32_t tail = -7;
        ss->write_i4(ss->context, &tail, 1);
        End(ss);
    });
    SceneReader r(form(), file, SourceFor(form()));
    const QvLoadState *ls = r.state();
    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    EXPECT_EQ(ls->read_id(ls->context, kOps), kMul);
    EXPECT_EQ(ls->read_id(ls->context, kOps), kAdd);
    EXPECT_EQ(ls->read_id(ls->context, kAddOnly), 0u);  // Mul is not in this table: read, not known
    int32_t tail = 0;
    EXPECT_EQ(ls->read_i4(ls->context, &tail, 1), 1);
    EXPECT_EQ(tail, -7);
    EXPECT_EQ(ls->read_id(ls->context, kOps), 0u);  // nothing left
    EXPECT_TRUE(r.ok()) << r.error();
}

// ---- Blocks ---------------------------------------------------------------

TEST_P(FormTest, NestedBlocksAndDepth) {
    std::string file = Save(form(), [&](const QvSaveState *ss) {
        void *c = ss->context;
        EXPECT_EQ(ss->depth(c), 0);
        Begin(ss, kNodeId, false);
        EXPECT_EQ(ss->depth(c), 1);
        int32_t version = 3;
        ss->write_i4(c, &version, 1);
        Begin(ss, kSubId, false);
        EXPECT_EQ(ss->depth(c), 2);
        Begin(ss, kValueId);
        EXPECT_EQ(ss->depth(c), 3);
        float f = 2.5f;
        ss->write_fp(c, &f, 1);
        End(ss);
        Begin(ss, kNameId);
        ss->write_str(c, "inner");
        End(ss);
        End(ss);
        Begin(ss, kValueId);
        f = -1.0f;
        ss->write_fp(c, &f, 1);
        End(ss);
        End(ss);
        EXPECT_EQ(ss->depth(c), 0);
        Begin(ss, kNodeId, false);
        End(ss);
    });
    SceneReader r(form(), file, SourceFor(form()));
    const QvLoadState *ls = r.state();
    void *c = ls->context;
    EXPECT_EQ(ls->depth(c), 0);
    ASSERT_EQ(Find(ls, kAllBlocks), kNode);
    EXPECT_EQ(ls->depth(c), 1);
    int32_t version = 0;
    EXPECT_EQ(ls->read_i4(c, &version, 1), 1);
    EXPECT_EQ(version, 3);
    ASSERT_EQ(Find(ls, kAllBlocks), kSub);
    EXPECT_EQ(ls->depth(c), 2);
    ASSERT_EQ(Find(ls, kAllBlocks), kValue);
    EXPECT_EQ(ls->depth(c), 3);
    float f = 0;
    EXPECT_EQ(ls->read_fp(c, &f, 1), 1);
    EXPECT_EQ(f, 2.5f);
    Leave(ls);
    ASSERT_EQ(Find(ls, kAllBlocks), kName);
    char name[16];
    EXPECT_EQ(ls->read_str(c, name, sizeof name), 1);
    EXPECT_STREQ(name, "inner");
    Leave(ls);
    EXPECT_EQ(Find(ls, kAllBlocks), 0u);
    EXPECT_EQ(ls->depth(c), 2);
    Leave(ls);
    ASSERT_EQ(Find(ls, kAllBlocks), kValue);
    EXPECT_EQ(ls->read_fp(c, &f, 1), 1);
    EXPECT_EQ(f, -1.0f);
    Leave(ls);
    EXPECT_EQ(Find(ls, kAllBlocks), 0u);
    Leave(ls);
    EXPECT_EQ(ls->depth(c), 0);
    ASSERT_EQ(Find(ls, kAllBlocks), kNode);
    EXPECT_EQ(Find(ls, kAllBlocks), 0u);
    Leave(ls);
    EXPECT_EQ(Find(ls, kAllBlocks), 0u);
    Leave(ls);  // at the top: nothing to leave
    EXPECT_EQ(ls->depth(c), 0);
    EXPECT_TRUE(r.ok()) << r.error();
}

std::string FileWithUnknownBlocks(SceneForm form) {
    return Save(form, [&](const QvSaveState *ss) {
        void *c = ss->context;
        Begin(ss, kNodeId, false);
        Begin(ss, kOtherId, false);  // unknown to the reader, with children named like known ones
        Begin(ss, kValueId);
        int32_t wrong = -1;
        ss->write_i4(c, &wrong, 1);
        End(ss);
        Begin(ss, kNameId);
        ss->write_str(c, "wrong");
        End(ss);
        End(ss);
        Begin(ss, kValueId);
        int32_t right = 10;
        ss->write_i4(c, &right, 1);
        End(ss);
        Begin(ss, kSubId);
        ss->write_str(c, "skipped too");
        End(ss);
        Begin(ss, kNameId);
        ss->write_str(c, "right");
        End(ss);
        End(ss);
    });
}

TEST_P(FormTest, FindBlockSkipsUnknownBlocksWithTheirChildren) {
    const QvBlockIdent known[] = {kNodeId, kValueId, kNameId, {0, nullptr}};
    SceneReader r(form(), FileWithUnknownBlocks(form()), SourceFor(form()));
    const QvLoadState *ls = r.state();
    void *c = ls->context;
    ASSERT_EQ(Find(ls, known), kNode);
    ASSERT_EQ(Find(ls, known), kValue);
    EXPECT_EQ(ls->depth(c), 2);
    int32_t v = 0;
    EXPECT_EQ(ls->read_i4(c, &v, 1), 1);
    EXPECT_EQ(v, 10);
    Leave(ls);
    ASSERT_EQ(Find(ls, known), kName);
    char s[16];
    EXPECT_EQ(ls->read_str(c, s, sizeof s), 1);
    EXPECT_STREQ(s, "right");
    Leave(ls);
    EXPECT_EQ(Find(ls, known), 0u);
    Leave(ls);
    EXPECT_EQ(Find(ls, known), 0u);
    EXPECT_TRUE(r.ok()) << r.error();
}

TEST_P(FormTest, FindBlockWithNullOrEmptyTableSkipsEverything) {
    SceneReader r(form(), FileWithUnknownBlocks(form()), SourceFor(form()));
    const QvLoadState *ls = r.state();
    const QvBlockIdent empty[] = {{0, nullptr}};
    EXPECT_EQ(Find(ls, empty), 0u);
    EXPECT_EQ(Find(ls, nullptr), 0u);
    EXPECT_EQ(Find(ls, kAllBlocks), 0u);  // the level is used up
    EXPECT_TRUE(r.ok()) << r.error();
}

TEST_P(FormTest, BlocksReadInAnyOrder) {
    // A module reads whichever of its blocks comes next.
    std::string file = Save(form(), [&](const QvSaveState *ss) {
        void *c = ss->context;
        Begin(ss, kNodeId, false);
        Begin(ss, kNameId);
        ss->write_str(c, "n");
        End(ss);
        Begin(ss, kValueId);
        int32_t v = 5;
        ss->write_i4(c, &v, 1);
        End(ss);
        End(ss);
    });
    SceneReader r(form(), file, SourceFor(form()));
    const QvLoadState *ls = r.state();
    void *c = ls->context;
    ASSERT_EQ(Find(ls, kNodeOnly), kNode);
    int32_t v = 0;
    std::string name;
    int seen = 0;
    while (uint32_t id = Find(ls, kAllBlocks)) {
        switch (id) {
        case kValue: ls->read_i4(c, &v, 1); break;
        case kName: {
            char buf[8];
            if (ls->read_str(c, buf, sizeof buf)) name = buf;
            break;
        }
        default: ADD_FAILURE() << "unexpected block";
        }
        ++seen;
        Leave(ls);
    }
    Leave(ls);
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(v, 5);
    EXPECT_EQ(name, "n");
    EXPECT_TRUE(r.ok()) << r.error();
}

TEST_P(FormTest, EndBlockSkipsUnreadValuesAndChildren) {
    std::string file = Save(form(), [&](const QvSaveState *ss) {
        void *c = ss->context;
        Begin(ss, kNodeId, false);
        const int32_t many[] = {1, 2, 3, 4};
        ss->write_i4(c, many, 4);
        Begin(ss, kSubId, false);
        Begin(ss, kValueId);
        ss->write_str(c, "deep");
        End(ss);
        End(ss);
        End(ss);
        Begin(ss, kValueId);
        int32_t v = 99;
        ss->write_i4(c, &v, 1);
        End(ss);
    });
    SceneReader r(form(), file, SourceFor(form()));
    const QvLoadState *ls = r.state();
    void *c = ls->context;
    ASSERT_EQ(Find(ls, kAllBlocks), kNode);
    int32_t first = 0;
    EXPECT_EQ(ls->read_i4(c, &first, 1), 1);
    EXPECT_EQ(first, 1);
    Leave(ls);  // three values and a nested block unread
    EXPECT_EQ(ls->depth(c), 0);
    ASSERT_EQ(Find(ls, kAllBlocks), kValue);
    int32_t v = 0;
    EXPECT_EQ(ls->read_i4(c, &v, 1), 1);
    EXPECT_EQ(v, 99);
    Leave(ls);
    EXPECT_TRUE(r.ok()) << r.error();
}

TEST_P(FormTest, ValuesWrittenAfterChildrenReadBackInWriteOrder) {
    std::string file = Save(form(), [&](const QvSaveState *ss) {
        void *c = ss->context;
        Begin(ss, kNodeId, false);
        int32_t before = 1, after = 2;
        ss->write_i4(c, &before, 1);
        Begin(ss, kValueId);
        End(ss);
        ss->write_i4(c, &after, 1);
        End(ss);
    });
    SceneReader r(form(), file, SourceFor(form()));
    const QvLoadState *ls = r.state();
    void *c = ls->context;
    ASSERT_EQ(Find(ls, kNodeOnly), kNode);
    int32_t v = 0;
    EXPECT_EQ(ls->read_i4(c, &v, 1), 1);
    EXPECT_EQ(v, 1);
    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    Leave(ls);
    EXPECT_EQ(ls->read_i4(c, &v, 1), 1);
    EXPECT_EQ(v, 2);
    Leave(ls);
    EXPECT_TRUE(r.ok()) << r.error();
}

TEST_P(FormTest, DeepestNestingWrittenAndRead) {
    const int deepest = refhost::kMaxSceneDepth;
    std::string file = Save(form(), [&](const QvSaveState *ss) {
        for (int k = 0; k < deepest; ++k) Begin(ss, kNodeId, k + 1 == deepest);
        int32_t v = 64;
        ss->write_i4(ss->context, &v, 1);
        for (int k = 0; k < deepest; ++k) End(ss);
    });
    SceneReader r(form(), file, SourceFor(form()));
    const QvLoadState *ls = r.state();
    for (int k = 0; k < deepest; ++k) ASSERT_EQ(Find(ls, kNodeOnly), kNode) << k;
    EXPECT_EQ(ls->depth(ls->context), deepest);
    int32_t v = 0;
    EXPECT_EQ(ls->read_i4(ls->context, &v, 1), 1);
    EXPECT_EQ(v, 64);
    EXPECT_TRUE(r.ok()) << r.error();
}

// ---- Short blocks -----------------------------------------------------------

// Each read asks for more than the block holds: what is there is read and the
// rest of the destination keeps what it had.
TEST_P(FormTest, ShortBlockLeavesTheRestOfTheDestinationUntouched) {
    std::string file = Save(form(), [&](const QvSaveState *ss) {
        void *c = ss->context;
        const int32_t i4[] = {1, 2};
        const float fp[] = {0.5f};
        const double dp[] = {0.25};
        const int8_t i1[] = {-3};
        const int16_t i2[] = {-4};
        const uint8_t u1[] = {5};
        const uint16_t u2[] = {6};
        const uint32_t u4[] = {7};
        Begin(ss, kValueId);
        ss->write_i4(c, i4, 2);
        End(ss);
        Begin(ss, kValueId);
        ss->write_fp(c, fp, 1);
        End(ss);
        Begin(ss, kValueId);
        ss->write_dp(c, dp, 1);
        End(ss);
        Begin(ss, kValueId);
        ss->write_i1(c, i1, 1);
        ss->write_i2(c, i2, 1);
        End(ss);
        Begin(ss, kValueId);
        ss->write_u1(c, u1, 1);
        End(ss);
        Begin(ss, kValueId);
        ss->write_u2(c, u2, 1);
        ss->write_u4(c, u4, 1);
        End(ss);
        Begin(ss, kValueId);  // empty
        End(ss);
    });
    SceneReader r(form(), file, SourceFor(form()));
    const QvLoadState *ls = r.state();
    void *c = ls->context;

    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    int32_t i4[4] = {-9, -9, -9, -9};
    EXPECT_EQ(ls->read_i4(c, i4, 4), 2);
    EXPECT_EQ(i4[0], 1);
    EXPECT_EQ(i4[1], 2);
    EXPECT_EQ(i4[2], -9);
    EXPECT_EQ(i4[3], -9);
    EXPECT_EQ(ls->read_i4(c, i4, 1), 0);
    EXPECT_EQ(i4[0], 1);
    Leave(ls);

    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    float fp[3] = {7.0f, 7.0f, 7.0f};
    EXPECT_EQ(ls->read_fp(c, fp, 3), 1);
    EXPECT_EQ(fp[0], 0.5f);
    EXPECT_EQ(fp[1], 7.0f);
    EXPECT_EQ(fp[2], 7.0f);
    Leave(ls);

    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    double dp[2] = {8.0, 8.0};
    EXPECT_EQ(ls->read_dp(c, dp, 2), 1);
    EXPECT_EQ(dp[0], 0.25);
    EXPECT_EQ(dp[1], 8.0);
    Leave(ls);

    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    int8_t i1[1] = {0};
    EXPECT_EQ(ls->read_i1(c, i1, 1), 1);
    EXPECT_EQ(i1[0], -3);
    int16_t i2[3] = {9, 9, 9};
    EXPECT_EQ(ls->read_i2(c, i2, 3), 1);
    EXPECT_EQ(i2[0], -4);
    EXPECT_EQ(i2[1], 9);
    EXPECT_EQ(i2[2], 9);
    Leave(ls);

    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    uint8_t u1[2] = {9, 9};
    EXPECT_EQ(ls->read_u1(c, u1, 2), 1);
    EXPECT_EQ(u1[0], 5);
    EXPECT_EQ(u1[1], 9);
    Leave(ls);

    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    uint16_t u2[1] = {0};
    EXPECT_EQ(ls->read_u2(c, u2, 1), 1);
    EXPECT_EQ(u2[0], 6);
    uint32_t u4[2] = {9, 9};
    EXPECT_EQ(ls->read_u4(c, u4, 2), 1);
    EXPECT_EQ(u4[0], 7u);
    EXPECT_EQ(u4[1], 9u);
    Leave(ls);

    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    char raw[2] = {'r', 'r'};
    EXPECT_EQ(ls->read(c, raw, 2), 0);
    EXPECT_EQ(raw[0], 'r');
    char str[4] = {'s', 's', 's', 's'};
    EXPECT_EQ(ls->read_str(c, str, 4), 0);
    EXPECT_EQ(str[0], 's');
    EXPECT_EQ(ls->read_id(c, kOps), 0u);
    EXPECT_EQ(ls->read_i4(c, i4, 0), 0);
    EXPECT_EQ(ls->read_i4(c, i4, -5), 0);
    EXPECT_EQ(ls->read_i4(c, nullptr, 5), 0);
    Leave(ls);
    EXPECT_TRUE(r.ok()) << r.error();
}

// ---- Writer errors -------------------------------------------------------------

TEST_P(FormTest, WriterReportsEndBlockWithNothingOpen) {
    SceneWriter w(form());
    const QvSaveState *ss = w.state();
    End(ss);
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(w.error(), "end_block with no block open");
}

TEST_P(FormTest, WriterClosesAndReportsOpenBlocksAtFinish) {
    SceneWriter w(form());
    const QvSaveState *ss = w.state();
    Begin(ss, kNodeId, false);
    Begin(ss, kValueId);
    int32_t v = 1;
    ss->write_i4(ss->context, &v, 1);
    std::string file = w.finish();
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(w.error(), form() == SceneForm::text ? "block \"Value\" is not closed" : "block \"VAL0\" is not closed");
    SceneReader r(form(), file, SourceFor(form()));
    EXPECT_TRUE(r.ok()) << r.error();  // the file itself is whole
    const QvLoadState *ls = r.state();
    EXPECT_EQ(Find(ls, kNodeOnly), kNode);
    EXPECT_EQ(Find(ls, kValueOnly), kValue);
    EXPECT_EQ(ls->read_i4(ls->context, &v, 1), 1);
}

TEST_P(FormTest, WriterRejectsValuesOutsideBlocks) {
    SceneWriter w(form());
    const QvSaveState *ss = w.state();
    int32_t v = 1;
    ss->write_i4(ss->context, &v, 1);
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(w.error(), "i4 values written outside any block");
    EXPECT_EQ(w.finish(), "");
}

TEST_P(FormTest, WriterRejectsBlockInsideLeafAndLeavesItOut) {
    SceneWriter w(form());
    const QvSaveState *ss = w.state();
    Begin(ss, kValueId, true);
    Begin(ss, kNameId, true);
    End(ss);
    End(ss);
    EXPECT_FALSE(w.ok());
    EXPECT_NE(w.error().find("begun inside leaf block"), std::string::npos) << w.error();
    SceneReader r(form(), w.finish(), SourceFor(form()));
    EXPECT_TRUE(r.ok()) << r.error();
    const QvLoadState *ls = r.state();
    EXPECT_EQ(Find(ls, kAllBlocks), kValue);
    EXPECT_EQ(Find(ls, kAllBlocks), 0u);
}

TEST_P(FormTest, WriterRejectsNestingTooDeep) {
    SceneWriter w(form());
    const QvSaveState *ss = w.state();
    for (int k = 0; k <= refhost::kMaxSceneDepth; ++k) Begin(ss, kNodeId, false);
    EXPECT_EQ(ss->depth(ss->context), refhost::kMaxSceneDepth + 1);
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(w.error(), "blocks nested deeper than 64");
}

TEST_P(FormTest, WriterRejectsNullArguments) {
    SceneWriter w(form());
    const QvSaveState *ss = w.state();
    Begin(ss, kValueId);
    ss->write_str(ss->context, nullptr);
    EXPECT_FALSE(w.ok());
    SceneWriter w2(form());
    w2.state()->begin_block(w2.state()->context, nullptr, 1);
    w2.state()->end_block(w2.state()->context);
    EXPECT_EQ(w2.error(), "begin_block with no block ident");
    EXPECT_EQ(w2.finish(), "");
}

// ---- Reader errors common to both forms ---------------------------------------------

TEST_P(FormTest, GarbageNeverCrashes) {
    std::mt19937 rng(12345);
    for (int round = 0; round < 300; ++round) {
        std::string junk(static_cast<size_t>(rng() % 200), '\0');
        for (char &ch : junk) ch = static_cast<char>(rng() & 0xFF);
        if (round % 3 == 0)  // mostly printable, to get further into the text parser
            for (char &ch : junk) ch = "{} \"\\\nAVnx0.1-e"[rng() % 16];
        SceneReader r(form(), junk, "junk.bin");
        Walk(r.state());
        if (!r.ok()) {
            EXPECT_EQ(r.error().rfind("junk.bin:", 0), 0u) << r.error();
        }
    }
}

TEST_P(FormTest, MutatedFilesNeverCrash) {
    std::string file = Save(form(), [&](const QvSaveState *ss) {
        void *c = ss->context;
        for (int n = 0; n < 3; ++n) {
            Begin(ss, kNodeId, false);
            int32_t v = n;
            ss->write_i4(c, &v, 1);
            Begin(ss, kValueId);
            const float f[] = {0.1f, -2.0f};
            ss->write_fp(c, f, 2);
            ss->write_str(c, "a \"b\"\n");
            double d = 1e-300;
            ss->write_dp(c, &d, 1);
            ss->write_id(c, &kAddId);
            End(ss);
            Begin(ss, kSubId, false);
            Begin(ss, kNameId);
            ss->write(c, "xyz", 3);
            End(ss);
            End(ss);
            End(ss);
        }
    });
    std::mt19937 rng(777);
    for (int round = 0; round < 2000; ++round) {
        std::string m = file;
        int edits = 1 + static_cast<int>(rng() % 4);
        for (int e = 0; e < edits && !m.empty(); ++e) {
            size_t at = rng() % m.size();
            switch (rng() % 4) {
            case 0: m[at] = static_cast<char>(rng() & 0xFF); break;
            case 1: m.erase(at, 1 + rng() % 8); break;
            case 2: m.insert(at, 1, static_cast<char>(rng() & 0xFF)); break;
            case 3: m.resize(at); break;
            }
        }
        SceneReader r(form(), m, "fuzz.scene");
        Walk(r.state());
        if (!r.ok()) {
            EXPECT_EQ(r.error().rfind("fuzz.scene:", 0), 0u) << r.error();
            // After an error everything reads nothing.
            const QvLoadState *ls = r.state();
            int32_t v = 5;
            EXPECT_EQ(ls->read_i4(ls->context, &v, 1), 0);
            EXPECT_EQ(v, 5);
            EXPECT_EQ(Find(ls, kAllBlocks), 0u);
        }
    }
}

// ---- Text form --------------------------------------------------------------------

TEST(SceneTextTest, LayoutOfBlocksAndValues) {
    std::string file = Save(SceneForm::text, [&](const QvSaveState *ss) {
        void *c = ss->context;
        Begin(ss, kNodeId, false);
        int32_t three = 3;
        ss->write_i4(c, &three, 1);
        Begin(ss, kValueId);
        int32_t one = 1;
        float tenth = 0.1f;
        ss->write_i4(c, &one, 1);
        ss->write_fp(c, &tenth, 1);
        ss->write_str(c, "a\"b");
        End(ss);
        Begin(ss, kSubId, false);
        Begin(ss, kNameId);
        ss->write_id(c, &kAddId);
        End(ss);
        End(ss);
        int32_t seven = 7;
        ss->write_i4(c, &seven, 1);
        Begin(ss, kOtherId, false);
        End(ss);
        End(ss);
        Begin(ss, kValueId);
        End(ss);
    });
    EXPECT_EQ(file,
              "{ Node 3 7\n"
              "  Value 1 0.1 \"a\\\"b\"\n"
              "  { Sub\n"
              "    Name Add\n"
              "  }\n"
              "  { Other\n"
              "  }\n"
              "}\n"
              "Value\n");
}

TEST(SceneTextTest, NumbersAreWrittenShortest) {
    struct Case {
        float f;
        const char *text;
    };
    const Case floats[] = {
        {0.1f, "0.1"},
        {-0.0f, "-0"},
        {0.0f, "0"},
        {100.0f, "100"},
        {1.5f, "1.5"},
        {1e30f, "1e+30"},
        {std::numeric_limits<float>::infinity(), "inf"},
        {-std::numeric_limits<float>::infinity(), "-inf"},
        {std::numeric_limits<float>::quiet_NaN(), "nan"},
        {-std::numeric_limits<float>::quiet_NaN(), "nan"},
    };
    for (const Case &k : floats) {
        std::string file = Save(SceneForm::text, [&](const QvSaveState *ss) {
            Begin(ss, kValueId);
            ss->write_fp(ss->context, &k.f, 1);
            End(ss);
        });
        EXPECT_EQ(file, std::string("Value ") + k.text + "\n");
    }
    std::string file = Save(SceneForm::text, [&](const QvSaveState *ss) {
        Begin(ss, kValueId);
        const double d[] = {0.1, 0.1 + 0.2, static_cast<double>(0.1f), -std::numeric_limits<double>::infinity()};
        ss->write_dp(ss->context, d, 4);
        const int32_t i[] = {INT32_MIN, INT32_MAX};
        ss->write_i4(ss->context, i, 2);
        const uint32_t u = 0xFFFFFFFFu;
        ss->write_u4(ss->context, &u, 1);
        const int8_t b = -128;
        ss->write_i1(ss->context, &b, 1);
        ss->write(ss->context, "\x01\xFF", 2);
        ss->write_str(ss->context, "\x01\t\n\r\x7f\\\xC3\xA9");
        End(ss);
    });
    EXPECT_EQ(file,
              "Value 0.1 0.30000000000000004 0.10000000149011612 -inf -2147483648 2147483647 4294967295 "
              "-128 1 255 \"\\x01\\t\\n\\r\\x7F\\\\\xC3\xA9\"\n");
}

// Reads the first value of "Value <values>" with one read call.
template <class T>
int ReadFirst(const std::string &values, int (*QvLoadState::*read)(void *, T *, int), T *dst, int count = 1) {
    SceneReader r(SceneForm::text, "Value " + values + "\n", "t.qvn");
    EXPECT_TRUE(r.ok()) << r.error();
    const QvLoadState *ls = r.state();
    EXPECT_EQ(Find(ls, kValueOnly), kValue);
    return (ls->*read)(ls->context, dst, count);
}

TEST(SceneTextTest, IntegerTokensAcceptedAndRejected) {
    struct Case {
        const char *token;
        int read;
        int32_t value;
    };
    const Case cases[] = {
        {"5", 1, 5},
        {"-0", 1, 0},
        {"-2147483648", 1, INT32_MIN},
        {"2147483647", 1, INT32_MAX},
        {"2147483648", 0, 0},
        {"99999999999999999999999", 0, 0},
        {"1.5", 0, 0},
        {"1.0", 0, 0},
        {"1e3", 0, 0},
        {"inf", 0, 0},
        {"nan", 0, 0},
        {"0x10", 0, 0},
        {"+5", 0, 0},
        {"12abc", 0, 0},
        {"\"5\"", 0, 0},
        {"Add", 0, 0},
    };
    for (const Case &k : cases) {
        int32_t v = -77;
        EXPECT_EQ(ReadFirst<int32_t>(k.token, &QvLoadState::read_i4, &v), k.read) << k.token;
        EXPECT_EQ(v, k.read ? k.value : -77) << k.token;
    }
}

TEST(SceneTextTest, IntegerRangesPerType) {
    int8_t i1 = 1;
    EXPECT_EQ(ReadFirst<int8_t>("300", &QvLoadState::read_i1, &i1), 0);
    EXPECT_EQ(ReadFirst<int8_t>("-129", &QvLoadState::read_i1, &i1), 0);
    EXPECT_EQ(i1, 1);
    EXPECT_EQ(ReadFirst<int8_t>("-128", &QvLoadState::read_i1, &i1), 1);
    EXPECT_EQ(i1, -128);
    uint8_t u1 = 1;
    EXPECT_EQ(ReadFirst<uint8_t>("256", &QvLoadState::read_u1, &u1), 0);
    EXPECT_EQ(ReadFirst<uint8_t>("-1", &QvLoadState::read_u1, &u1), 0);
    EXPECT_EQ(u1, 1);
    int16_t i2 = 1;
    EXPECT_EQ(ReadFirst<int16_t>("32768", &QvLoadState::read_i2, &i2), 0);
    EXPECT_EQ(ReadFirst<int16_t>("-32768", &QvLoadState::read_i2, &i2), 1);
    EXPECT_EQ(i2, -32768);
    uint16_t u2 = 1;
    EXPECT_EQ(ReadFirst<uint16_t>("65536", &QvLoadState::read_u2, &u2), 0);
    EXPECT_EQ(u2, 1);
    uint32_t u4 = 1;
    EXPECT_EQ(ReadFirst<uint32_t>("-1", &QvLoadState::read_u4, &u4), 0);
    EXPECT_EQ(ReadFirst<uint32_t>("4294967296", &QvLoadState::read_u4, &u4), 0);
    EXPECT_EQ(u4, 1u);
    EXPECT_EQ(ReadFirst<uint32_t>("4294967295", &QvLoadState::read_u4, &u4), 1);
    EXPECT_EQ(u4, 0xFFFFFFFFu);
    // A read stops at the first value that does not fit and leaves it unread.
    int32_t four[4] = {0, 0, 0, 0};
    EXPECT_EQ(ReadFirst<int32_t>("1 2 2.5 4", &QvLoadState::read_i4, four, 4), 2);
    EXPECT_EQ(four[0], 1);
    EXPECT_EQ(four[1], 2);
    EXPECT_EQ(four[2], 0);
    EXPECT_EQ(four[3], 0);
}

TEST(SceneTextTest, RealTokensAcceptedAndRejected) {
    struct Case {
        const char *token;
        int read;
        double value;  // compared as float for floats
    };
    const Case cases[] = {
        {"5", 1, 5.0},
        {"-7", 1, -7.0},
        {"0.1", 1, 0.1},
        {"1e3", 1, 1000.0},
        {"1E-2", 1, 0.01},
        {"-0", 1, -0.0},
        {".5", 1, 0.5},
        {"inf", 1, std::numeric_limits<double>::infinity()},
        {"-inf", 1, -std::numeric_limits<double>::infinity()},
        {"abc", 0, 0},
        {"1.5x", 0, 0},
        {"\"1.5\"", 0, 0},
        {"+1", 0, 0},
        {"0x1p3", 0, 0},
    };
    for (const Case &k : cases) {
        float f = 42.0f;
        EXPECT_EQ(ReadFirst<float>(k.token, &QvLoadState::read_fp, &f), k.read) << k.token;
        EXPECT_EQ(Bits(f), Bits(k.read ? static_cast<float>(k.value) : 42.0f)) << k.token;
        double d = 42.0;
        EXPECT_EQ(ReadFirst<double>(k.token, &QvLoadState::read_dp, &d), k.read) << k.token;
        EXPECT_EQ(Bits(d), Bits(k.read ? k.value : 42.0)) << k.token;
    }
    float f = 42.0f;
    EXPECT_EQ(ReadFirst<float>("nan", &QvLoadState::read_fp, &f), 1);
    EXPECT_TRUE(std::isnan(f));
    // Beyond the range of float, but a double.
    f = 42.0f;
    EXPECT_EQ(ReadFirst<float>("1e300", &QvLoadState::read_fp, &f), 0);
    EXPECT_EQ(f, 42.0f);
    double d = 0;
    EXPECT_EQ(ReadFirst<double>("1e300", &QvLoadState::read_dp, &d), 1);
    EXPECT_EQ(d, 1e300);
    EXPECT_EQ(ReadFirst<double>("1e999", &QvLoadState::read_dp, &d), 0);
    EXPECT_EQ(d, 1e300);
    // A double written shortest reads as the nearest float.
    EXPECT_EQ(ReadFirst<float>("0.30000000000000004", &QvLoadState::read_fp, &f), 1);
    EXPECT_EQ(f, 0.3f);
}

TEST(SceneTextTest, ReaderIsLenientAboutLayout) {
    const std::string file =
        "\xEF\xBB\xBF"
        "\r\n"
        "{ Node\t 3   4\r\n"
        "\n"
        "Value \"x y\"\t\"\"\r\n"
        "        }\r\n";
    SceneReader r(SceneForm::text, file, "lenient.qvn");
    ASSERT_TRUE(r.ok()) << r.error();
    const QvLoadState *ls = r.state();
    void *c = ls->context;
    ASSERT_EQ(Find(ls, kAllBlocks), kNode);
    int32_t v[2] = {0, 0};
    EXPECT_EQ(ls->read_i4(c, v, 2), 2);
    EXPECT_EQ(v[0], 3);
    EXPECT_EQ(v[1], 4);
    ASSERT_EQ(Find(ls, kAllBlocks), kValue);
    char s[8];
    EXPECT_EQ(ls->read_str(c, s, sizeof s), 1);
    EXPECT_STREQ(s, "x y");
    EXPECT_EQ(ls->read_str(c, s, sizeof s), 1);
    EXPECT_STREQ(s, "");
}

TEST(SceneTextTest, FindBlockSkipsUnreadValues) {
    SceneReader r(SceneForm::text, "{ Node 1 2 3\n  Value 4\n}\n", "s.qvn");
    const QvLoadState *ls = r.state();
    ASSERT_EQ(Find(ls, kNodeOnly), kNode);
    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    int32_t v = 0;
    EXPECT_EQ(ls->read_i4(ls->context, &v, 1), 1);
    EXPECT_EQ(v, 4);
    EXPECT_TRUE(r.ok());
}

TEST(SceneTextTest, ReadIdLeavesStringsUnread) {
    SceneReader r(SceneForm::text, "Value \"Add\" Add 12\n", "s.qvn");
    const QvLoadState *ls = r.state();
    void *c = ls->context;
    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    EXPECT_EQ(ls->read_id(c, kOps), 0u);
    char s[8];
    EXPECT_EQ(ls->read_str(c, s, sizeof s), 1);
    EXPECT_STREQ(s, "Add");
    EXPECT_EQ(ls->read_id(c, kOps), kAdd);
    EXPECT_EQ(ls->read_id(c, kOps), 0u);  // "12" is read as an id that is not known
    int32_t v = 0;
    EXPECT_EQ(ls->read_i4(c, &v, 1), 0);
    EXPECT_TRUE(r.ok());
}

TEST(SceneTextTest, MalformedFilesNameTheSourceAndLine) {
    struct Case {
        std::string text;
        const char *error;
    };
    const Case cases[] = {
        {"Value \"abc\n", "scene.qvn:1: unterminated string"},
        {"Value 1\nValue \"abc\\\"\n", "scene.qvn:2: unterminated string"},
        {"Value \"abc\\", "scene.qvn:1: unterminated string"},
        {"{ Node\n  Value 1\n", "scene.qvn:1: block \"Node\" is not closed by the end of the file"},
        {"{ Node\n  { Sub\n  }\n\n", "scene.qvn:1: block \"Node\" is not closed by the end of the file"},
        {"{ Node\n  { Sub\n", "scene.qvn:2: block \"Sub\" is not closed by the end of the file"},
        {"Value 1\n}\n", "scene.qvn:2: \"}\" without a matching \"{\""},
        {"{ Node\n} 5\n", "scene.qvn:2: text after \"}\""},
        {"{\n}\n", "scene.qvn:1: \"{\" without a block token"},
        {"{ \"Node\"\n}\n", "scene.qvn:1: a string where a block token belongs"},
        {"\"Value\" 1\n", "scene.qvn:1: a string where a block token belongs"},
        {"Val{ue 1\n", "scene.qvn:1: \"Val{ue\" is not a block token"},
        {"{ {\n}\n", "scene.qvn:1: \"{\" is not a block token"},
        {"Value \"a\\q\"\n", "scene.qvn:1: unknown escape \\q in a string"},
        {"Value \"\\x4\"\n", "scene.qvn:1: \\x in a string needs two hex digits"},
        {"Value \"\\xG0\"\n", "scene.qvn:1: \\x in a string needs two hex digits"},
        {"Value \"a\"b\n", "scene.qvn:1: no space after a string"},
        {"Value ab\"c\"\n", "scene.qvn:1: quote inside a word"},
        {std::string("Value 1\n\nValue\x01 2\n"), "scene.qvn:3: control byte \\x01 in a text file"},
        {std::string("Value 1\0 2\n", 10), "scene.qvn:1: control byte \\x00 in a text file"},
        {"Value 1\rValue 2\n", "scene.qvn:1: control byte \\x0D in a text file"},
        {"Value \"\x7f\"\n", "scene.qvn:1: control byte \\x7F in a text file"},
    };
    for (const Case &k : cases) {
        SceneReader r(SceneForm::text, k.text, "scene.qvn");
        EXPECT_FALSE(r.ok()) << k.text;
        EXPECT_EQ(r.error(), k.error) << k.text;
        const QvLoadState *ls = r.state();
        EXPECT_EQ(Find(ls, kAllBlocks), 0u);
        Walk(ls);
    }
}

TEST(SceneTextTest, DeepNestingIsRefused) {
    std::string file;
    for (int k = 0; k < 100000; ++k) file += "{ Node\n";
    SceneReader r(SceneForm::text, file, "deep.qvn");
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.error(), "deep.qvn:65: blocks nested deeper than 64");
    Walk(r.state());

    // A leaf one level below the deepest block is too deep as well.
    std::string leaf;
    for (int k = 0; k < 64; ++k) leaf += "{ Node\n";
    leaf += "Value 1\n";
    SceneReader r2(SceneForm::text, leaf, "deep.qvn");
    EXPECT_EQ(r2.error(), "deep.qvn:65: blocks nested deeper than 64");
}

TEST(SceneTextTest, WriterRejectsTokensThatCannotBeRead) {
    const char *bad[] = {"", "two words", "brace{", "quo\"te", "tab\t", nullptr};
    for (const char *token : bad) {
        SceneWriter w(SceneForm::text);
        QvBlockIdent id = {kValue, token};
        w.state()->begin_block(w.state()->context, &id, 1);
        w.state()->end_block(w.state()->context);
        EXPECT_FALSE(w.ok()) << (token ? token : "(null)");
        EXPECT_EQ(w.finish(), "");
    }
    SceneWriter w(SceneForm::text);
    const QvSaveState *ss = w.state();
    Begin(ss, kValueId);
    QvBlockIdent id = {kAdd, "A d d"};
    ss->write_id(ss->context, &id);
    End(ss);
    EXPECT_EQ(w.error(), "id written with an invalid token");
}

// ---- Binary form --------------------------------------------------------------------

TEST(SceneBinaryTest, LayoutIsBigEndianIff) {
    std::string file = Save(SceneForm::binary, [&](const QvSaveState *ss) {
        void *c = ss->context;
        Begin(ss, kNodeId, false);
        const int32_t i4 = 0x01020304;
        ss->write_i4(c, &i4, 1);
        Begin(ss, kValueId);
        const uint16_t u2 = 0xABCD;
        ss->write_u2(c, &u2, 1);
        const int16_t i2 = -2;
        ss->write_i2(c, &i2, 1);
        const float f = 1.0f;
        ss->write_fp(c, &f, 1);
        const double d = -2.0;
        ss->write_dp(c, &d, 1);
        ss->write_str(c, "ab");   // 3 bytes with the 0: padded to 4
        ss->write_str(c, "abc");  // 4 bytes with the 0: no padding
        ss->write_id(c, &kAddId);
        const uint8_t odd = 0x7E;
        ss->write_u1(c, &odd, 1);  // makes the block odd
        End(ss);
        End(ss);
    });
    const std::string value_content = std::string("\xAB\xCD\xFF\xFE", 4) + std::string("\x3F\x80\x00\x00", 4) +
                                      std::string("\xC0\x00\x00\x00\x00\x00\x00\x00", 8) + std::string("ab\0\0", 4) +
                                      std::string("abc\0", 4) + "ADD " + "\x7E";
    ASSERT_EQ(value_content.size(), 29u);
    const std::string value = std::string("VAL0\x00\x1D", 6) + value_content + std::string(1, '\0');
    const std::string node = std::string("NODE\x00\x28", 6) + std::string("\x01\x02\x03\x04", 4) + value;
    EXPECT_EQ(file, node);
    EXPECT_EQ(file.size(), 46u);
}

TEST(SceneBinaryTest, NanPayloadAndSignKept) {
    const float f = FloatFromBits(0xFFC12345u);
    const double d = DoubleFromBits(0x7FF8000000ABCDEFull);
    std::string file = Save(SceneForm::binary, [&](const QvSaveState *ss) {
        Begin(ss, kValueId);
        ss->write_fp(ss->context, &f, 1);
        ss->write_dp(ss->context, &d, 1);
        End(ss);
    });
    SceneReader r(SceneForm::binary, file, "n.qvb");
    const QvLoadState *ls = r.state();
    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    float bf = 0;
    double bd = 0;
    EXPECT_EQ(ls->read_fp(ls->context, &bf, 1), 1);
    EXPECT_EQ(ls->read_dp(ls->context, &bd, 1), 1);
    EXPECT_EQ(Bits(bf), 0xFFC12345u);
    EXPECT_EQ(Bits(bd), 0x7FF8000000ABCDEFull);
}

TEST(SceneBinaryTest, PartialValuesAtTheEndOfABlockStayUnread) {
    // 9 bytes: two i4 and one odd byte.
    const std::string file = BinBlock("VAL0", std::string("\0\0\0\x01\0\0\0\x02\x09", 9));
    SceneReader r(SceneForm::binary, file, "p.qvb");
    const QvLoadState *ls = r.state();
    void *c = ls->context;
    ASSERT_EQ(Find(ls, kValueOnly), kValue);
    int32_t v[3] = {-1, -1, -1};
    EXPECT_EQ(ls->read_i4(c, v, 3), 2);
    EXPECT_EQ(v[0], 1);
    EXPECT_EQ(v[1], 2);
    EXPECT_EQ(v[2], -1);
    double d = 3.0;
    EXPECT_EQ(ls->read_dp(c, &d, 1), 0);
    EXPECT_EQ(d, 3.0);
    uint8_t b = 0;
    EXPECT_EQ(ls->read_u1(c, &b, 1), 1);
    EXPECT_EQ(b, 9);
    // A string without its 0 before the block ends is not read.
    SceneReader r2(SceneForm::binary, BinBlock("VAL0", "abc"), "p.qvb");
    const QvLoadState *ls2 = r2.state();
    ASSERT_EQ(Find(ls2, kValueOnly), kValue);
    char s[8] = "keep";
    EXPECT_EQ(ls2->read_str(ls2->context, s, sizeof s), 0);
    EXPECT_STREQ(s, "keep");
    char raw[4] = {0, 0, 0, 'k'};
    EXPECT_EQ(ls2->read(ls2->context, raw, 4), 3);
    EXPECT_EQ(std::string(raw, 4), "abck");
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(r2.ok());
}

TEST(SceneBinaryTest, BlockLargerThanTheSizeFieldIsAnError) {
    SceneWriter w(SceneForm::binary);
    const QvSaveState *ss = w.state();
    Begin(ss, kNodeId, false);
    Begin(ss, kValueId);
    std::vector<uint8_t> big(70000, 1);
    ss->write_u1(ss->context, big.data(), static_cast<int>(big.size()));
    End(ss);
    End(ss);
    EXPECT_FALSE(w.ok());
    EXPECT_EQ(w.error(), "block \"VAL0\" holds 70000 bytes; a block holds at most 65535");
    // Exactly the largest size is fine.
    SceneWriter w2(SceneForm::binary);
    Begin(w2.state(), kValueId);
    w2.state()->write_u1(w2.state()->context, big.data(), 65535);
    End(w2.state());
    std::string file = w2.finish();
    EXPECT_TRUE(w2.ok()) << w2.error();
    EXPECT_EQ(file.size(), 6u + 65535u + 1u);
    SceneReader r(SceneForm::binary, file, "big.qvb");
    EXPECT_TRUE(r.ok()) << r.error();
}

TEST(SceneBinaryTest, WriterRejectsIdZero) {
    SceneWriter w(SceneForm::binary);
    QvBlockIdent zero = {0, "Zero"};
    w.state()->begin_block(w.state()->context, &zero, 1);
    w.state()->end_block(w.state()->context);
    EXPECT_EQ(w.error(), "block with id 0");
}

TEST(SceneBinaryTest, TruncatedFilesAreReportedWhenRead) {
    std::string file = Save(SceneForm::binary, [&](const QvSaveState *ss) {
        for (int n = 0; n < 2; ++n) {
            Begin(ss, kNodeId, false);
            Begin(ss, kValueId);
            const int32_t v[] = {1, 2, 3};
            ss->write_i4(ss->context, v, 3);
            ss->write_str(ss->context, "odd");
            End(ss);
            End(ss);
        }
    });
    const size_t half = file.size() / 2;
    for (size_t cut = 0; cut < file.size(); ++cut) {
        SceneReader r(SceneForm::binary, file.substr(0, cut), "cut.qvb");
        if (cut == 0 || cut == half) {
            EXPECT_TRUE(r.ok()) << cut;  // ends on a block boundary
        } else {
            EXPECT_FALSE(r.ok()) << cut;
            EXPECT_EQ(r.error().rfind("cut.qvb: byte ", 0), 0u) << r.error();
        }
        Walk(r.state());
    }
    SceneReader r(SceneForm::binary, file.substr(0, 10), "cut.qvb");
    EXPECT_EQ(r.error(), "cut.qvb: byte 0: block \"NODE\" of 22 bytes runs past the end of the file");
    SceneReader r2(SceneForm::binary, file.substr(0, half + 3), "cut.qvb");
    EXPECT_EQ(r2.error(), "cut.qvb: byte 28: block header cut short by the end of the file");
}

TEST(SceneBinaryTest, NestedBlockPastItsParentIsReportedWhenReached) {
    // NODE holds 10 bytes, but its VAL0 claims 5 of content where 4 remain.
    std::string file = std::string("NODE\x00\x0A", 6) + std::string("VAL0\x00\x05", 6) + std::string("\0\0\0\x01", 4);
    SceneReader r(SceneForm::binary, file, "scene.qvb");
    EXPECT_TRUE(r.ok()) << r.error();  // the top level is whole
    const QvLoadState *ls = r.state();
    void *c = ls->context;
    ASSERT_EQ(Find(ls, kNodeOnly), kNode);
    EXPECT_EQ(Find(ls, kValueOnly), 0u);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.error(), "scene.qvb: byte 6: block \"VAL0\" of 5 bytes runs past the end of its parent");
    // Everything reads nothing from now on; leaving still unwinds.
    int32_t v = 9;
    EXPECT_EQ(ls->read_i4(c, &v, 1), 0);
    EXPECT_EQ(v, 9);
    EXPECT_EQ(ls->depth(c), 1);
    Leave(ls);
    EXPECT_EQ(ls->depth(c), 0);
    EXPECT_EQ(Find(ls, kAllBlocks), 0u);
}

TEST(SceneBinaryTest, HeaderProblemsNameTheByte) {
    struct Case {
        std::string bytes;
        bool top_ok;
        const char *error;
    };
    const Case cases[] = {
        {"NOD", false, "b.qvb: byte 0: block header cut short by the end of the file"},
        {BinBlock("VAL0", "x", false), false,
         "b.qvb: byte 0: padding byte of block \"VAL0\" runs past the end of the file"},
        {BinBlock("VAL0", "ab") + std::string("\xFF\x00\x01\x02\x00\x10", 6), false,
         "b.qvb: byte 8: block \"\\xFF\\x00\\x01\\x02\" of 16 bytes runs past the end of the file"},
        {BinBlock("NODE", "VAL0"), true, "b.qvb: byte 6: block header cut short by the end of its parent"},
        {BinBlock("NODE", BinBlock("VAL0", "x", false)), true,
         "b.qvb: byte 6: padding byte of block \"VAL0\" runs past the end of its parent"},
    };
    for (const Case &k : cases) {
        SceneReader r(SceneForm::binary, k.bytes, "b.qvb");
        EXPECT_EQ(r.ok(), k.top_ok) << k.error;
        WalkBlocks(r.state());
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.error(), k.error);
    }
}

TEST(SceneBinaryTest, DeepNestingIsRefused) {
    std::string file;
    for (int k = 0; k < 70; ++k) file = BinBlock("NODE", file);
    SceneReader r(SceneForm::binary, file, "deep.qvb");
    ASSERT_TRUE(r.ok());
    const QvLoadState *ls = r.state();
    int found = 0;
    while (Find(ls, kNodeOnly)) ++found;
    EXPECT_EQ(found, 64);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.error(), "deep.qvb: byte 384: blocks nested deeper than 64");
    EXPECT_EQ(ls->depth(ls->context), 64);
    while (ls->depth(ls->context) > 0) Leave(ls);
}

// ---- Telling the forms apart ----------------------------------------------------------

TEST(SceneFormTest, DetectsBothForms) {
    auto body = [&](const QvSaveState *ss) {
        Begin(ss, kNodeId, false);
        int32_t v = 1;
        ss->write_i4(ss->context, &v, 1);
        Begin(ss, kValueId);
        ss->write_str(ss->context, "x");
        End(ss);
        End(ss);
    };
    EXPECT_EQ(refhost::detect_scene_form(Save(SceneForm::text, body)), SceneForm::text);
    EXPECT_EQ(refhost::detect_scene_form(Save(SceneForm::binary, body)), SceneForm::binary);
    EXPECT_EQ(refhost::detect_scene_form(""), SceneForm::text);
    EXPECT_EQ(refhost::detect_scene_form("VAL0 1 2\n"), SceneForm::text);
    EXPECT_EQ(refhost::detect_scene_form("NODE"), SceneForm::text);
    // A binary file that happens to hold text bytes only: a big block of text.
    std::string big = "DATA" + Be16(0x2020) + std::string(0x2020, 'a');
    EXPECT_EQ(refhost::detect_scene_form(big), SceneForm::binary);
    EXPECT_EQ(refhost::detect_scene_form(big + "x"), SceneForm::text);
    // Truncated binary files are still binary.
    std::string bin = Save(SceneForm::binary, body);
    EXPECT_EQ(refhost::detect_scene_form(bin.substr(0, 7)), SceneForm::binary);
}

}  // namespace
