// statement_map_test.cpp - how written text runs, and the relations that may
// enter a statement (the identifier rule itself: routine_names_test.cpp).
// Every gateway statement runs through the map in the integration tests.
#include "db_interface/postgres/statement_map.hpp"

#include <gtest/gtest.h>

#include <string>

namespace kestrel::db::pg {
namespace {

mapped_statement written(std::string_view text) {
    return map_statement({.kind = statement_kind::written, .text = text}, "");
}

TEST(StatementMap, WrittenTextIsTakenApartOnlyWhereItIsABlock) {
    const std::pair<std::string, written_form> cases[] = {
        {"begin demo.post_action; end;", written_form::routine_block},
        {"begin x := 1; end;", written_form::anonymous_block},
        {"begin perform htp.print('x'); perform htp.print('y'); end;",
         written_form::anonymous_block},
        {"\n  DECLARE n int; BEGIN NULL; END;", written_form::anonymous_block},
        {"beginning", written_form::plain},
        {"select image from shop.docs where name = :name", written_form::plain},
    };
    for (const auto& [text, form] : cases) {
        EXPECT_EQ(written(text).form, form) << text;
    }
    const auto call = written("begin Shop.Home(a => :a, b => 'x'); end;");
    EXPECT_EQ(call.routine, "Shop.Home");
    EXPECT_EQ(call.argument_text, "a => :a, b => 'x'");
}

TEST(StatementMap, RelationsAreFoldedOrRefused) {
    const auto insert = [](std::string_view table) {
        return map_statement(
            {.kind = statement_kind::document_insert, .text = "insert ...", .relation = table}, "");
    };
    const auto good = insert("Shop.WWV_Document");
    EXPECT_EQ(good.relation.quoted(), "\"shop\".\"wwv_document\"");
    EXPECT_TRUE(good.invalid.empty());
    for (const char* bad : {"x;drop.t", "a.b.c", "\"q\".t", "1abc.t", ""}) {
        const auto m = insert(bad);
        EXPECT_EQ(m.kind, statement_kind::document_insert) << bad;
        EXPECT_FALSE(m.invalid.empty()) << bad;
    }
    const auto sequence = [](std::string_view owner) {
        return map_statement(
            {.kind = statement_kind::upload_sequence, .text = "select ...", .relation = owner}, "");
    };
    EXPECT_EQ(sequence("Shop").relation.quoted(), "\"shop\".\"img_seq\"");
    EXPECT_FALSE(sequence("x;drop").invalid.empty());
    EXPECT_FALSE(sequence("a.b").invalid.empty());
}

}  // namespace
}  // namespace kestrel::db::pg
