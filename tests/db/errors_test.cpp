// errors_test.cpp - database error texts and the form/procedure mismatch report.
#include "db/errors.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "frame/pool.hpp"
#include "support/recording_client.hpp"

namespace kestrel {
namespace {

constexpr const char* first_heading = "\nVARIABLES IN FORM NOT IN PROCEDURE: ";
constexpr const char* second_heading = "\nNON-DEFAULT VARIABLES IN PROCEDURE NOT IN FORM: ";

class ErrorsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        auto owned = std::make_unique<test::recording_client>();
        db = owned.get();
        ctx.db = std::move(owned);
        db->messages[6550] = "call failed";
        db->messages[942] = "no such table";
    }
    void TearDown() override { heap_release(ctx); }

    void form(const std::vector<std::pair<std::string, std::string>>& pairs) {
        for (const auto& [name, value] : pairs) {
            ctx.args.push_back({_xheap_strdup(ctx, name), _xheap_strdup(ctx, value)});
        }
    }
    void described(std::vector<std::string> names, std::vector<bool> defaults) {
        ctx.proc_arg_names = std::move(names);
        ctx.proc_arg_has_default = std::move(defaults);
        ctx.proc_described = true;
    }

    request_ctx ctx;
    test::recording_client* db = nullptr;
};

TEST_F(ErrorsTest, MismatchReportListsUnknownFieldsAndMissingArguments) {
    struct Case {
        const char* title;
        std::vector<std::pair<std::string, std::string>> form;
        std::vector<std::string> names;
        std::vector<bool> defaults;
        std::string unknown;  // first list
        std::string missing;  // second list
    };
    const std::vector<Case> cases = {
        {"documented example",
         {{"colour", "red"}, {"size", "9"}, {"colour", "blue"}},
         {"p_width"},
         {false},
         "colour,size",
         "p_width"},
        {"everything matches", {{"a", "1"}, {"b", "2"}}, {"a", "b"}, {false, false}, "", ""},
        {"case is ignored", {{"P_NAME", "x"}}, {"p_name", "p_age"}, {false, true}, "", ""},
        {"defaults are never missing", {}, {"a", "b", "c"}, {true, false, true}, "", "b"},
    };
    for (const auto& c : cases) {
        SetUp();
        ctx.args.clear();
        form(c.form);
        described(c.names, c.defaults);
        ctx.cda.rc = 6550;
        EXPECT_EQ(oerr_cda(ctx), std::string("call failed") + first_heading + c.unknown +
                                     second_heading + c.missing + "\n")
            << c.title;
    }
}

TEST_F(ErrorsTest, MessageAloneWithoutCompileErrorOrDescription) {
    form({{"x", "1"}});
    ctx.cda.rc = 942;
    described({"a"}, {false});
    EXPECT_EQ(oerr_cda(ctx), "no such table");

    ctx.cda.rc = 6550;
    ctx.proc_described = false;  // e.g. the environment block failed
    ctx.proc_arg_names.clear();
    EXPECT_EQ(oerr_cda(ctx), "call failed");
}

TEST_F(ErrorsTest, LongReportIsNeitherCutNorOverrun) {
    std::vector<std::pair<std::string, std::string>> fields;
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        const std::string name = "field_with_a_long_name_" + std::to_string(i);
        fields.emplace_back(name, "v");
        expected += (i == 0 ? "" : ",") + name;
    }
    form(fields);
    described({"p"}, {true});
    ctx.cda.rc = 6550;
    const std::string text = oerr_cda(ctx);
    EXPECT_GT(text.size(), 4096u);
    EXPECT_EQ(text, std::string("call failed") + first_heading + expected + second_heading + "\n");
}

TEST_F(ErrorsTest, MessagesAreCutToTheMessageBuffer) {
    db->messages[1] = std::string(5000, 'm');
    ctx.lda.rc = 1;
    EXPECT_EQ(oerr_lda(ctx), std::string(1023, 'm'));
}

}  // namespace
}  // namespace kestrel
