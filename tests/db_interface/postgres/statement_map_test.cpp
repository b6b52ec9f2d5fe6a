// statement_map_test.cpp - which PostgreSQL form a statement takes where
// the text alone decides, and the names that may enter a statement. Every
// gateway statement runs through the map in the integration tests.
#include "db_interface/postgres/statement_map.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrel::db::pg {
namespace {

TEST(StatementMap, BlocksAreTakenApartOnlyWhereTheyAreBlocks) {
    const std::pair<std::string, statement_kind> cases[] = {
        {"begin demo.post_action; end;", statement_kind::routine_block},
        {"begin x := 1; end;", statement_kind::anonymous_block},
        {"begin perform htp.print('x'); perform htp.print('y'); end;",
         statement_kind::anonymous_block},
        {"\n  DECLARE n int; BEGIN NULL; END;", statement_kind::anonymous_block},
        {"beginning", statement_kind::native},
        {"select image from shop.docs where name = :name", statement_kind::document_select},
    };
    for (const auto& [text, kind] : cases) {
        EXPECT_EQ(map_statement(text, "").kind, kind) << text;
    }
    // A call block is a call only for the routine just described.
    EXPECT_EQ(map_statement("begin shop.homepage; end;", "shop.home").kind,
              statement_kind::routine_block);
}

TEST(StatementMap, RelationsAreFoldedOrRefused) {
    const auto insert = [](const std::string& table) {
        return map_statement("insert into " + table +
                                 " (name,mime_type,doc_size,content,file_name) values "
                                 "(:seqno,:mime_type,:length,:image,:file_name)",
                             "");
    };
    const auto good = insert("Shop.WWV_Document");
    EXPECT_EQ(good.relation.quoted(), "\"shop\".\"wwv_document\"");
    EXPECT_TRUE(good.invalid.empty());
    for (const char* bad : {"x;drop.t", "a.b.c", "\"q\".t", "1abc.t"}) {
        const auto m = insert(bad);
        EXPECT_EQ(m.kind, statement_kind::document_insert) << bad;
        EXPECT_FALSE(m.invalid.empty()) << bad;
    }
    const auto sequence = map_statement("select Shop.IMG_SEQ.NEXTVAL from dual", "");
    EXPECT_EQ(sequence.kind, statement_kind::upload_sequence);
    EXPECT_EQ(sequence.relation.quoted(), "\"shop\".\"img_seq\"");
    const auto hostile = map_statement("select x;drop.IMG_SEQ.NEXTVAL from dual", "");
    EXPECT_EQ(hostile.kind, statement_kind::upload_sequence);
    EXPECT_FALSE(hostile.invalid.empty());
}

TEST(StatementMap, Identifiers) {
    for (const std::string& name :
         std::vector<std::string>{"a", "_x", "Proc$1", std::string(63, 'a')}) {
        EXPECT_TRUE(is_identifier(name)) << name;
    }
    for (const std::string& name : std::vector<std::string>{"", "1a", "a-b", "a b", "a\"",
                                                            "\xc3\xa9", std::string(64, 'a')}) {
        EXPECT_FALSE(is_identifier(name)) << name;
    }
}

}  // namespace
}  // namespace kestrel::db::pg
