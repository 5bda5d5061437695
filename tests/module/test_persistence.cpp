// Copying nodes and carrying their stored values through scene files, in
// both forms, including files the module never writes.
#include "tests/fixtures/module_fixture.h"

#include "refhost/scene/scene_io.h"

#include <fstream>

using namespace qvtest;
using refhost::SceneForm;

namespace {

class Persistence : public NetworkTest {
protected:
    // Saves the network and loads it into a fresh one on the same module.
    std::unique_ptr<refhost::Network> round_trip(SceneForm form) {
        std::string content, error;
        EXPECT_TRUE(net->save(form, content, error)) << error;
        auto loaded = std::make_unique<refhost::Network>(shared_module());
        EXPECT_TRUE(loaded->load(content, "round-trip", error)) << error;
        return loaded;
    }
    double eval_in(refhost::Network &network, int id, const std::string &output = "Out") {
        network.render_init();
        refhost::Value v;
        std::string error;
        EXPECT_TRUE(network.evaluate(id, output, v, error)) << error;
        return v.as_scalar();
    }
};

const SceneForm kForms[] = {SceneForm::text, SceneForm::binary};

// A host whose reads fill the whole destination but count only what the block
// held: what lies past that count is not the file's.
class OverwritingReads {
public:
    explicit OverwritingReads(const QvLoadState *real) : real_(real) {
        state_.io_mode = real->io_mode;
        state_.context = this;
        state_.read_i4 = read_i4;
        state_.read_fp = read_fp;
        state_.find_block = find_block;
        state_.end_block = end_block;
    }
    const QvLoadState *state() const { return &state_; }

private:
    static int read_i4(void *ctx, int32_t *dst, int count) {
        const QvLoadState *r = static_cast<OverwritingReads *>(ctx)->real_;
        const int got = r->read_i4(r->context, dst, count);
        for (int i = got; i < count; ++i) dst[i] = -99;
        return got;
    }
    static int read_fp(void *ctx, float *dst, int count) {
        const QvLoadState *r = static_cast<OverwritingReads *>(ctx)->real_;
        const int got = r->read_fp(r->context, dst, count);
        for (int i = got; i < count; ++i) dst[i] = -99.0f;
        return got;
    }
    static uint32_t find_block(void *ctx, const QvBlockIdent *table) {
        const QvLoadState *r = static_cast<OverwritingReads *>(ctx)->real_;
        return r->find_block(r->context, table);
    }
    static void end_block(void *ctx) {
        const QvLoadState *r = static_cast<OverwritingReads *>(ctx)->real_;
        r->end_block(r->context);
    }

    const QvLoadState *real_;
    QvLoadState state_{};
};

}  // namespace

TEST_F(Persistence, StandardSaveWritesWhatTheFlagsSelect) {
    struct Case {
        const char *server;
        const char *setup;
        const char *saved;
    };
    const Case cases[] = {
        {"QvMs_SIN", "", "val0 0\n"},
        {"QvMs_ATAN2", "", "val0 1\nval1 0\n"},
        {"QvMs_POW", "val1 0.1\n", "val0 1\nval1 0.1\n"},
        {"QvMs_ABS", "Int1 1\n", "Int1 1\n"},
        {"QvT_LGC2", "val5 6\nval4 5\nval3 4\nval2 3\nval1 2\nval0 1\n",
         "val0 1\nval1 2\nval2 3\nval3 4\nval4 5\nval5 6\nLogic 0 0 0\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.server);
        refhost::HostNode *n = make(c.server);
        load_text(n, c.setup);
        EXPECT_EQ(save_text(n), c.saved);
    }
}

TEST_F(Persistence, EveryStoredValueSurvivesBothForms) {
    for (SceneForm form : kForms) {
        SCOPED_TRACE(form == SceneForm::text ? "text" : "binary");
        net = std::make_unique<refhost::Network>(shared_module());
        refhost::HostNode *pow = make("QvMs_POW");
        refhost::HostNode *cos = make("QvMs_COS");
        refhost::HostNode *abs = make("QvMs_ABS");
        refhost::HostNode *atan2 = make("QvMs_ATAN2");
        load_text(pow, "val0 0.1\nval1 3\n");
        load_text(cos, "val0 -2.5\n");
        load_text(abs, "Int1 -7\n");
        load_text(atan2, "val0 -1\nval1 1e-30\n");
        feed(abs, "In", 4.0);
        auto loaded = round_trip(form);
        ASSERT_EQ(loaded->nodes().size(), 4u);
        // 0.1 travels as a float: the nearest float, widened.
        EXPECT_TRUE(same_double(std::pow(0.10000000149011612, 3.0), eval_in(*loaded, pow->id)));
        EXPECT_TRUE(same_double(std::cos(-2.5), eval_in(*loaded, cos->id)));
        EXPECT_TRUE(same_double(-4.0, eval_in(*loaded, abs->id))) << "mode and host feed come back";
        EXPECT_TRUE(same_double(std::atan2(static_cast<double>(1e-30f), -1.0), eval_in(*loaded, atan2->id)));
        // Saving the loaded network again gives the same file.
        std::string first, second, error;
        ASSERT_TRUE(net->save(form, first, error));
        ASSERT_TRUE(loaded->save(form, second, error));
        EXPECT_EQ(first, second);
    }
}

TEST_F(Persistence, ConnectionsSurviveBothForms) {
    refhost::HostNode *pow = make("QvMs_POW");
    refhost::HostNode *sqrt = make("QvMs_SQRT");
    feed(pow, "In", 2.0);
    feed(pow, "Pow", 6.0);
    std::string error;
    ASSERT_TRUE(net->connect(pow->id, "Out", sqrt->id, "In", error)) << error;
    for (SceneForm form : kForms) {
        auto loaded = round_trip(form);
        EXPECT_TRUE(same_double(8.0, eval_in(*loaded, sqrt->id)));
    }
}

TEST_F(Persistence, CopyCarriesStoredValuesAndModes) {
    refhost::HostNode *pow = make("QvMs_POW");
    load_text(pow, "val0 2\nval1 5\n");
    refhost::HostNode *abs = make("QvMs_ABS");
    load_text(abs, "Int1 1\n");
    std::string error;
    refhost::HostNode *pow2 = net->copy(pow->id, error);
    refhost::HostNode *abs2 = net->copy(abs->id, error);
    ASSERT_NE(pow2, nullptr);
    ASSERT_NE(abs2, nullptr);
    EXPECT_TRUE(same_double(32.0, eval(pow2)));
    feed(abs2, "In", 2.0);
    EXPECT_TRUE(same_double(-2.0, eval(abs2)));
    EXPECT_EQ(save_text(pow2), "val0 2\nval1 5\n");
}

// Blocks that no file of this module holds for the node, in any order, or
// cut short, leave the node working and its function intact.
TEST_F(Persistence, HostileBlocksLeaveTheFunctionIntact) {
    const char *const kFiles[] = {
        "Logic 1 2 3\n",
        "Int1 5\n",
        "Int2 5 6\n",
        "valD 3\n",
        "val6 9\n",
        "Int2 1 2\nLogic 7 7 7\nval0 0.5\nInt1 1234567\nvalD -1\nval6 2\n",
        "val0\n",
        "Int1\nInt2 1\nLogic 1\n",
        "val0 0.5 0.25 1\n",
        "val0 \"text\"\nInt1 0.5\n",
        "{ val0\n  Int1 3\n}\n",
    };
    for (const char *file : kFiles) {
        SCOPED_TRACE(file);
        refhost::HostNode *n = make("QvMs_SIN");
        load_text(n, file);
        feed(n, "In", 0.5);
        EXPECT_TRUE(same_double(std::sin(0.5), eval(n)));
        std::string error;
        ASSERT_TRUE(net->disconnect(n->id, "In", error));
        const double d = eval(n);
        EXPECT_TRUE(same_double(std::sin(0.0), d) || same_double(std::sin(0.5), d)) << d;
        EXPECT_TRUE(save_text(n) == "val0 0\n" || save_text(n) == "val0 0.5\n") << save_text(n);
    }
}

// A block holding fewer values than the node reads, in a file read by this
// host and by one whose reads overwrite what they do not count: the values
// the block lacks stay as they were.
TEST_F(Persistence, ShortBlocksKeepTheValuesTheyLack) {
    struct Case {
        const char *server;
        const char *before;
        const char *short_blocks;
        const char *saved;
    };
    const Case cases[] = {
        {"QvMs_POW", "val0 2\nval1 3\n", "val1\n", "val0 2\nval1 3\n"},
        {"QvMs_ABS", "Int1 1\n", "Int1\n", "Int1 1\n"},
        {"QvT_MAPR", "Int2 2 3\n", "Int2 5\nInt1\n", "val0 0\nval1 0\nval2 1\nval3 0\nval4 1\nInt2 5 3\n"},
        {"QvT_LGC1", "Logic 1 2 3\n", "Logic 4 5\n", "val0 0\nval1 0\nval2 1\nval3 0\nLogic 4 5 3\n"},
        {"QvMv_ADD", "val0 1 2 3\nval1 4 5 6\n", "val0 7\nval1 8 9\n", "val0 7 2 3\nval1 8 9 6\n"},
        {"QvMv_QROT", "val0 1 0 0\nvalD 45\n", "val0\nvalD\n", "val0 1 0 0\nvalD 45\n"},
    };
    for (bool overwriting : {false, true}) {
        for (const Case &c : cases) {
            SCOPED_TRACE(std::string(c.server) + (overwriting ? " overwriting reads: " : ": ") + c.short_blocks);
            refhost::HostNode *n = make(c.server);
            load_text(n, c.before);
            refhost::SceneReader reader(SceneForm::text, c.short_blocks, "short");
            ASSERT_TRUE(reader.ok()) << reader.error();
            const OverwritingReads host(reader.state());
            n->inst.load(n->instance, overwriting ? host.state() : reader.state());
            EXPECT_EQ(save_text(n), c.saved);
        }
    }
}

TEST_F(Persistence, OptionBlocksReachOnlyWordsTheNodeHas) {
    refhost::HostNode *abs = make("QvMs_ABS");
    load_text(abs, "Int2 1 2\nLogic 1 2 3\nvalD 5\n");  // Abs keeps one option word
    EXPECT_EQ(save_text(abs), "Int1 0\n");
    load_text(abs, "Int1 1\n");
    EXPECT_EQ(save_text(abs), "Int1 1\n");
}

TEST_F(Persistence, AFailedLoadLeavesTheNetworkAsItWas) {
    refhost::Application::get().config().build = 1164;  // too old for the material nodes
    refhost::HostNode *pow = make("QvMs_POW");
    feed(pow, "In", 3.0);
    std::string good, error;
    ASSERT_TRUE(net->save(SceneForm::binary, good, error));
    struct Bad {
        std::string content;
        std::string message;  // part of the error
    };
    const Bad bad[] = {
        {"Version 1\n{ Node\n  Id 1\n  Server \"QvMs_NOPE\"\n}\n", "QvMs_NOPE"},
        {"Version 1\n{ Node\n  Id 1\n  Server \"QvC_MTL\"\n}\n", "not available"},
        {"Version 2\n", "version"},
        {"Version 1\n{ Node\n  Id 1\n", "bad.qvn"},
        {"Version 1\n{ Node\n  Id 1\n  Server \"QvMs_SIN\"\n}\n{ Connect\n  From 1 \"Out\"\n  To 1 \"In\"\n}\n",
         "loop"},
        {"Version 1\n{ Node\n  Id 1\n  Server \"QvMs_SIN\"\n}\n{ Connect\n  From 1 \"Out\"\n  To 9 \"In\"\n}\n", "9"},
        {"Version 1\n{ Node\n  Id 1\n  Server \"QvMs_SIN\"\n}\n{ Node\n  Id 1\n  Server \"QvMs_SIN\"\n}\n", "twice"},
        {good.substr(0, good.size() - 3), "bad.qvn"},
        {std::string("\x00\x01garbage", 9), "bad.qvn"},
    };
    for (const Bad &b : bad) {
        SCOPED_TRACE(b.content);
        error.clear();
        EXPECT_FALSE(net->load(b.content, "bad.qvn", error));
        EXPECT_NE(error.find(b.message), std::string::npos) << error;
        EXPECT_NE(error.find("bad.qvn"), std::string::npos) << error;
        ASSERT_EQ(net->nodes().size(), 1u);
        ASSERT_EQ(net->nodes()[0].get(), pow) << "the node is the one made before";
        EXPECT_TRUE(same_double(3.0, eval(pow)));
    }
}

TEST_F(Persistence, SaveFileReplacesTheFileWhole) {
    refhost::HostNode *pow = make("QvMs_POW");
    load_text(pow, "val0 2\n");
    const std::string path = "persistence-test.qvn";
    std::string error;
    ASSERT_TRUE(net->save_file(path, SceneForm::text, error)) << error;
    ASSERT_TRUE(net->save_file(path, SceneForm::text, error)) << error;
    refhost::Network loaded(shared_module());
    ASSERT_TRUE(loaded.load_file(path, error)) << error;
    EXPECT_TRUE(same_double(2.0, eval_in(loaded, pow->id)));
    std::ifstream leftover(path + ".saving");
    EXPECT_FALSE(leftover.good());
    std::remove(path.c_str());
    EXPECT_FALSE(loaded.load_file(path, error));
    EXPECT_NE(error.find(path), std::string::npos);
}
