// statement_map.hpp - recognises each statement form the gateway builds and
// says what it means on PostgreSQL. oparse runs the text through
// map_statement; the client then executes the mapped form at oexec/oexfet.
// Only what the text itself tells is decided here: identifiers are checked,
// names are folded to lower case, nothing touches the server.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/identifier.hpp"

namespace kestrel::db::pg {

enum class statement_kind {
    start_date,       // the request's start date
    session_user,     // the reuse check's user
    clock,            // sys.v_$timer
    cgi_env,          // owa.init_cgi_env and the pre-action
    describe,         // the procedure description block
    call,             // the call block of the routine described last
    routine_block,    // begin NAME; end; or begin NAME(...); end; (post-actions)
    generic_arg,      // one cgi_args field
    get_page,         // owa.get_page batch
    upload_sequence,  // IMG_SEQ value that numbers an upload
    document_insert,  // row of an uploaded document
    document_select,  // document content, mime type and size, or content only
    timing_insert,    // one timing row
    reset_package,    // session reset between reused requests
    anonymous_block,  // any other begin ... end; (include blocks, post-actions)
    native,           // anything else, sent as written
};

// A schema-qualified relation whose parts passed is_identifier, folded.
struct relation_name {
    std::string schema;  // empty: resolved through the search path
    std::string name;

    // "schema"."name" ready for a statement.
    std::string quoted() const;
};

// One named argument of a call block: the argument name and its placeholder.
struct call_argument {
    std::string name;         // folded to lower case
    std::string placeholder;  // as written after the colon
};

struct mapped_statement {
    statement_kind kind = statement_kind::native;
    std::string text;  // the statement as the gateway wrote it

    std::string pre_action;  // cgi_env: the boolean expression, trusted configuration
    relation_name relation;  // documents, timing table, upload sequence
    // document_select: image, mime_type, img_size, the content's length and its
    // modification time (microseconds since the epoch), not only image
    bool all_columns = false;
    // call: the routine as named in the block and its arguments; invalid is
    // set when an argument is not name=>:name with an identifier name.
    std::string routine;
    std::vector<call_argument> arguments;
    std::string argument_text;  // routine_block: what stands between the parentheses
    std::string invalid;        // why the text cannot be run (call and identifiers)
};

std::string fold_identifier(std::string_view name);

// Splits "schema.name" or "name" into folded parts; none when a part is not
// an identifier.
std::optional<relation_name> parse_relation(std::string_view text);

// described_routine: the name the last description found (empty when none);
// a "begin NAME...; end;" block calling that name is a call block.
mapped_statement map_statement(std::string_view text, std::string_view described_routine);

}  // namespace kestrel::db::pg
