// Node ids and names through the reference host's API: the ends of the id
// range, the one name rule kept by saving as by loading, and the text
// form's counts refused alike when written and read.
#include "tests/fixtures/module_fixture.h"

#include "refhost/network/network.h"

using namespace qvtest;

namespace {

const char *const kLastId = "Version 1\n{ Node\n  Id 2147483647\n  Server \"QvMs_PI\"\n  { Data\n  }\n}\n";

}  // namespace

TEST(NetworkIds, TheLastIdLoadsAndLeavesNoneForANewNode) {
    refhost::Network net(shared_module());
    std::string error;
    ASSERT_TRUE(net.load(kLastId, "last.qvs", error)) << error;
    ASSERT_NE(net.node(refhost::Network::max_id), nullptr);
    EXPECT_EQ(net.create("QvMs_PI", error), nullptr);
    EXPECT_EQ(error, "no node id is left (ids go up to 2147483647)");
    EXPECT_EQ(net.copy(refhost::Network::max_id, error), nullptr);
    EXPECT_EQ(net.nodes().size(), 1u);
}

TEST(NetworkIds, NewNodesTakeTheIdAfterTheLargest) {
    refhost::Network net(shared_module());
    std::string error;
    ASSERT_TRUE(net.load("Version 1\n{ Node\n  Id 2147483646\n  Server \"QvMs_PI\"\n}\n", "high.qvs", error)) << error;
    const refhost::HostNode *made = net.create("QvMs_PI", error);
    ASSERT_NE(made, nullptr) << error;
    EXPECT_EQ(made->id, refhost::Network::max_id);
}

// What the loader refuses is never written: a save of a name that breaks
// the rule fails in both forms and says which node.
TEST(NetworkNames, SavingRefusesWhatLoadingWould) {
    const struct {
        std::vector<std::string> names;
        const char *error;
    } cases[] = {
        {{"a.b"}, "node 1: node name \"a.b\" holds \".\", so NAME.OUTPUT cannot name its outputs"},
        {{std::string(1025, 'n')}, "node 1: a node name is at most 1024 bytes; this one is longer"},
        {{"pi", "pi"}, "node 2: name \"pi\" is node 1's too"},
        {{"n2", ""}, "node 2: name \"n2\" is node 1's too"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.error);
        refhost::Network net(shared_module());
        std::string error;
        for (const std::string &name : c.names) {
            refhost::HostNode *n = net.create("QvMs_PI", error);
            ASSERT_NE(n, nullptr) << error;
            n->name = name;
        }
        for (refhost::SceneForm form : {refhost::SceneForm::text, refhost::SceneForm::binary}) {
            std::string content;
            EXPECT_FALSE(net.save(form, content, error));
            EXPECT_EQ(error, c.error);
        }
    }
}

// A text block holds no more values than a binary block holds bytes, on
// writing as on reading.
TEST(SceneTextLimits, ABlockOfMoreValuesThanTheLimitIsRefusedBothWays) {
    const std::size_t limit = refhost::kMaxBlockValues;
    refhost::SceneWriter writer(refhost::SceneForm::text);
    const QvSaveState *ss = writer.state();
    const QvBlockIdent ident{QV_BLOCK_ID('V', 'A', 'L', '0'), "val0"};
    const std::vector<uint8_t> values(limit + 1, 7);
    ss->begin_block(ss->context, &ident, 1);
    ss->write_u1(ss->context, values.data(), static_cast<int>(values.size()));
    ss->end_block(ss->context);
    writer.finish();
    EXPECT_EQ(writer.error(), "block \"val0\" holds 65536 values; a block holds at most 65535");

    std::string text = "val0";
    for (std::size_t k = 0; k <= limit; ++k) text += " 7";
    refhost::SceneReader reader(refhost::SceneForm::text, "\n" + text + "\n", "many.qvs");
    EXPECT_EQ(reader.error(), "many.qvs:2: a block holds more than 65535 values");
    refhost::SceneReader fits(refhost::SceneForm::text, text.substr(0, text.size() - 2) + "\n", "fits.qvs");
    EXPECT_TRUE(fits.ok()) << fits.error();
}
