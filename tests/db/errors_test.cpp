// errors_test.cpp - database error texts and the form/procedure mismatch report.
#include "db/errors.hpp"

#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

constexpr const char* first_heading = "\nVARIABLES IN FORM NOT IN PROCEDURE: ";
constexpr const char* second_heading = "\nNON-DEFAULT VARIABLES IN PROCEDURE NOT IN FORM: ";

class Errors : public request_test {
  protected:
    void SetUp() override {
        request_test::SetUp();
        db->messages[6550] = "call failed";
        db->messages[942] = "no such table";
    }
    void described(std::vector<std::string> names, std::vector<bool> defaults) {
        ctx.proc_arg_names = std::move(names);
        ctx.proc_arg_has_default = std::move(defaults);
        ctx.proc_described = true;
    }
};

TEST_F(Errors, MismatchReportListsUnknownFieldsAndMissingArguments) {
    const struct {
        pair_list form;
        std::vector<std::string> names;
        std::vector<bool> defaults;
        std::string unknown;  // first list
        std::string missing;  // second list
    } cases[] = {
        {{{"colour", "red"}, {"size", "9"}, {"colour", "blue"}},
         {"p_width"},
         {false},
         "colour,size",
         "p_width"},
        {{{"a", "1"}, {"b", "2"}}, {"a", "b"}, {false, false}, "", ""},
        {{{"P_NAME", "x"}}, {"p_name", "p_age"}, {false, true}, "", ""},  // case is ignored
        {{}, {"a", "b", "c"}, {true, false, true}, "", "b"},  // defaults are never missing
    };
    for (const auto& c : cases) {
        set_args(c.form);
        described(c.names, c.defaults);
        ctx.cda.rc = 6550;
        EXPECT_EQ(oerr_cda(ctx), std::string("call failed") + first_heading + c.unknown +
                                     second_heading + c.missing + "\n")
            << c.unknown << "/" << c.missing;
    }
}

TEST_F(Errors, MessageAloneWithoutCompileErrorOrDescription) {
    set_args({{"x", "1"}});
    described({"a"}, {false});
    ctx.cda.rc = 942;
    EXPECT_EQ(oerr_cda(ctx), "no such table");

    ctx.cda.rc = 6550;
    ctx.proc_described = false;  // e.g. the environment block failed
    ctx.proc_arg_names.clear();
    EXPECT_EQ(oerr_cda(ctx), "call failed");
}

TEST_F(Errors, LongReportIsNeitherCutNorOverrun) {
    pair_list fields;
    std::string expected;
    for (int i = 0; i < 300; ++i) {
        const std::string name = "field_with_a_long_name_" + std::to_string(i);
        fields.emplace_back(name, "v");
        expected += (i == 0 ? "" : ",") + name;
    }
    set_args(fields);
    described({"p"}, {true});
    ctx.cda.rc = 6550;
    EXPECT_EQ(oerr_cda(ctx),
              std::string("call failed") + first_heading + expected + second_heading + "\n");
}

}  // namespace
}  // namespace kestrel::test
