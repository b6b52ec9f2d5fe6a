// include_block_test.cpp - placeholders of include blocks and what a block
// writes in its place.
#include "docs/include_block.hpp"

#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class IncludeBlock : public request_test {
  protected:
    void SetUp() override {
        request_test::SetUp();
        serve_documents("text/plain");
        request("page.html");
    }
};

TEST_F(IncludeBlock, BindsEachPlaceholderOutsideQuotes) {
    const std::string long_name(35, 'n');
    const std::string print = "begin htp.print(:greeting); end;";
    const struct {
        std::string block;
        pair_list args;
        pair_list binds;  // in order: name, value
    } cases[] = {
        {print, {{"greeting", "Hello"}}, {{"greeting", "Hello"}}},
        {print, {{"GREETING", "Hello"}}, {{"greeting", "Hello"}}},            // name ignores case
        {print, {{"greeting", "a"}, {"Greeting", "b"}}, {{"greeting", ""}}},  // two values
        {print, {{"other", "x"}}, {{"greeting", ""}}},
        {"begin htp.print('a:b'); end;", {{"b", "x"}}, {}},
        {"begin htp.print('a:b' || :c); end;", {{"c", "x"}}, {{"c", "x"}}},
        {"begin htp.print(:" + long_name + "); end;", {}, {{std::string(31, 'n'), ""}}},
        {"declare x text; begin x := '1'::text; end;", {}, {}},
        {"begin htp.print(1::text); end;", {{"text", "x"}}, {}},
        {"begin -- :c\n null; end;", {{"c", "v"}}, {{"c", "v"}}},
        {"begin p(:a, :b_2); end;", {{"b_2", "2"}, {"a", "1"}}, {{"a", "1"}, {"b_2", "2"}}},
        {"begin null; end; :", {}, {}},
    };
    for (const auto& c : cases) {
        set_args(c.args);
        ASSERT_EQ(db->oparse(ctx.cda, db::statement_kind::written, c.block), 0);
        do_binds(ctx, c.block);
        pair_list bound;
        for (const auto& b : db->statements.back().binds) {
            bound.emplace_back(b.name, b.text);
            EXPECT_EQ(b.type, db::data_type::string);
        }
        EXPECT_EQ(bound, c.binds) << c.block;
    }
}

// One long value among many of the same name used to cost its length times
// their number in the request pool.
TEST_F(IncludeBlock, RepeatedNamesCostNoMoreThanTheirValues) {
    pair_list args = {{"g", std::string(1 << 19, 'x')}};
    for (int i = 0; i < 200; ++i) {
        args.emplace_back("g", "");
    }
    set_args(args);
    const std::string block = "begin htp.print(:g); end;";
    ASSERT_EQ(db->oparse(ctx.cda, db::statement_kind::written, block), 0);
    do_binds(ctx, block);
    EXPECT_EQ(db->statements.back().binds.at(0).text, "");
    std::size_t pooled = 0;
    for (const pool::block* b = ctx.heap.head(); b != nullptr; b = b->next) {
        pooled += b->size;
    }
    EXPECT_LT(pooled, std::size_t{64} << 20);
}

TEST_F(IncludeBlock, FailureWritesOneEscapedErrorLineAndNoPage) {
    const struct {
        std::string block;
        const char* key;
        int parse_rc;
        int exec_rc;
        std::string message;
        std::string line;
    } cases[] = {
        {"begn :x; end;", "begn", 6550, 0, "syntax error at or near \"begn\"",
         "<pre><b>syntax error at or near \"begn\"</b></pre>"},
        {"begin raise exception 'boom'; end;", "raise", 0, 20001, "boom", "<pre><b>boom</b></pre>"},
        {"begin htp.print(to_number(:n)); end;", "to_number", 0, 1722,
         "invalid number: \"<script>x</script>&\"",
         "<pre><b>invalid number: \"&lt;script&gt;x&lt;/script&gt;&amp;\"</b></pre>"},
    };
    for (const auto& c : cases) {
        restart();
        auto& script = db->on(c.key);
        script.parse_rc = c.parse_rc;
        script.outcomes = {{.rc = c.exec_rc}};
        db->messages[c.parse_rc + c.exec_rc] = c.message;
        EXPECT_EQ(owassi_do_block(ctx, c.block), 0);
        EXPECT_EQ(client->written, c.line);
        EXPECT_EQ(db->statements.size(), 1u) << "no page fetch";
        if (c.parse_rc != 0) {
            EXPECT_EQ(db->count("obndrv") + db->count("oexec"), 0u) << "nothing runs";
        }
    }
}

}  // namespace
}  // namespace kestrel::test
