// client.hpp - the narrow database client interface of the gateway.
// The gateway builds its documented statement texts and drives them through
// these operations on one logon and one cursor; a backend (PostgreSQL in
// db/postgres, a recording double in the tests) turns them into real work.
// Each statement says what it is (its kind and the names it needs): the
// text travels for the trace and the error reports, and is run as written
// only where the kind says so.
//
// Contract shared by every operation: the result is 0 on success, otherwise a
// database return code, which is also left in the cursor's (or logon's) rc.
// Codes the gateway relies on:
//   942    table or view does not exist
//   1403   no data found
//   1017   invalid user name or password
//   6550   the call does not compile (unknown or missing arguments, syntax)
//   -6564, -20001, -20002, -20004   no such routine (oexec of a description)
//   1401   a bound value is too long (refused rather than cut)
// oerhms turns a code into the database's message text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace kestrel::db {

inline constexpr int no_such_table = 942;
inline constexpr int no_data_found = 1403;
inline constexpr int invalid_logon = 1017;
inline constexpr int call_does_not_compile = 6550;
inline constexpr int no_such_routine = -6564;
inline constexpr int value_too_long = 1401;

// External data types of binds and defines.
enum class data_type : std::uint8_t {
    integer = 3,       // native signed 32-bit integer
    string = 5,        // NUL-terminated text
    long_raw = 24,     // raw bytes, fetched piecewise with oflng
    long_varraw = 95,  // 32-bit host-order length, then that many bytes
};

// Logon data area: the session's last logon-level return code.
struct logon_area {
    int rc = 0;
};

// Cursor data area: return code and rows processed of the last cursor call.
struct cursor_area {
    int rc = 0;
    std::uint32_t rpc = 0;
};

// Who logs on. Kept apart rather than joined into "user/password@connect",
// so that any character works in each part. connect is a libpq connection
// string (may be empty).
struct logon_request {
    std::string user{};
    std::string password{};
    std::string connect{};
    // The schemas whose routines a request may name, comma separated; empty:
    // the session's search path without public, system and toolkit schemas.
    std::string exposed_schemas{};
    // The session's statement timeout (a PostgreSQL duration); empty: none.
    std::string statement_timeout{};
};

// obndrv: one placeholder bound to a caller buffer that stays valid until the
// cursor is parsed again. Output placeholders are written back at oexec.
//   integer:     buffer holds one int32_t
//   string:      buffer holds NUL-terminated text; its size is the room for output
//   long_varraw: buffer holds the 4-byte length and the bytes
struct scalar_bind {
    std::string_view name;  // as the gateway wrote it: ":ndata" or "ndata"
    std::span<std::byte> buffer;
    data_type type = data_type::string;
    std::int16_t* indicator = nullptr;  // -1 after oexec when an output is NULL
};

// obndra: an array of fixed-width NUL-terminated texts (data type string).
// On input current_count elements are sent; on output (the page fetch) the
// backend fills up to max_elements slots, their lengths, and current_count.
struct array_bind {
    std::string_view name;
    std::span<char> buffer;  // max_elements * element_size bytes
    std::size_t element_size = 0;
    std::span<std::int16_t> indicators;
    std::span<std::uint16_t> lengths;
    std::span<std::uint16_t> return_codes;
    std::uint32_t max_elements = 0;
    std::uint32_t* current_count = nullptr;
};

// odefin: an output column of the next oexfet.
struct column_define {
    int position = 1;
    std::span<std::byte> buffer;
    data_type type = data_type::string;
    std::int16_t* indicator = nullptr;
    std::uint16_t* returned_length = nullptr;
    std::uint16_t* return_code = nullptr;
};

// What a statement means. The binds of each kind are the placeholders of its
// documented text.
enum class statement_kind : std::uint8_t {
    native,           // a plain statement of the gateway, run as written
    written,          // written in configuration or a document (include blocks,
                      // post-actions): a block runs as a block (a lone routine
                      // call as that call), anything else as written
    start_date,       // the request's start date
    session_user,     // the reuse check's user
    clock,            // the timing clock, in hundredths of a second
    upload_sequence,  // the next number of an upload; relation: the owner
    document_select,  // a document's content; relation: the document table
    document_row,     // content, mime type, size, length and modification time
    document_insert,  // the row of an uploaded document; relation: the table
    timing_insert,    // one timing row; relation: the timing table
    cgi_env,          // the CGI environment, then the pre-action
    describe,         // the description of the routine bound as ObjectName
    call,             // a call of the routine described last, named arguments
    generic_arg,      // one field of the generic argument list
    get_page,         // the next batch of page lines
    reset_package,    // the session reset between kept requests
};

struct statement {
    statement_kind kind = statement_kind::native;
    std::string_view text{};  // as the gateway wrote it
    // The table (schema.name or name) or, for upload_sequence, the schema.
    std::string_view relation{};
    std::string_view routine{};                     // call
    std::span<const std::string_view> arguments{};  // call: each bound as :name
    std::string_view pre_action{};                  // cgi_env: trusted configuration
    // call and written: on success the page fetch follows (a timed request
    // logs its timing in between), so the backend may fetch the first page
    // piece in the same round trip and keep it for the page fetch.
    bool page_follows = false;
};

class client {
  public:
    virtual ~client() = default;

    virtual int olog(logon_area& lda, const logon_request& who) = 0;
    virtual int oopen(cursor_area& cda, logon_area& lda) = 0;
    // Parsing forgets the previous statement, its binds and its defines.
    virtual int oparse(cursor_area& cda, const statement& what) = 0;
    int oparse(cursor_area& cda, statement_kind kind, std::string_view text) {
        return oparse(cda, statement{.kind = kind, .text = text});
    }
    virtual int obndrv(cursor_area& cda, const scalar_bind& bind) = 0;
    virtual int obndra(cursor_area& cda, const array_bind& bind) = 0;
    virtual int odefin(cursor_area& cda, const column_define& define) = 0;
    virtual int oexec(cursor_area& cda) = 0;
    // Executes and fetches exactly one row into the defines; 1403 when the
    // query yields no row, non-zero too when it yields more than one.
    virtual int oexfet(cursor_area& cda) = 0;
    // Fetches the piece of a long column of the row last fetched, starting at
    // byte offset; returned is 0 past the end of the value.
    virtual int oflng(cursor_area& cda, int position, std::span<std::byte> piece,
                      std::size_t offset, std::size_t& returned) = 0;
    // Says that the next oflng calls read that column in order, piece after
    // piece, length bytes from offset (or to the end of the value): a backend
    // may fetch those pieces ahead, and no further. Reading otherwise still
    // works. Forgotten at the next parse.
    virtual void plan_oflng(cursor_area& /*cda*/, int /*position*/, std::size_t /*offset*/,
                            std::size_t /*length*/) {}
    virtual int ocom(logon_area& lda) = 0;
    virtual int orol(logon_area& lda) = 0;
    // Commits and readies a kept session for the next request, as ocom and
    // then reset_statement (a reset_package) on cda would; a backend may do
    // both in one round trip. 0 only when both succeeded; lda.rc is non-zero
    // only when the commit itself failed (the request's work is lost).
    virtual int commit_and_reset(logon_area& lda, cursor_area& cda,
                                 const statement& reset_statement) {
        if (const int rc = ocom(lda); rc != 0) {
            return rc;
        }
        if (const int rc = oparse(cda, reset_statement); rc != 0) {
            return rc;
        }
        return oexec(cda);
    }
    virtual int oclose(cursor_area& cda) = 0;
    virtual int ologof(logon_area& lda) = 0;
    // The message text of a return code, as the database words it.
    virtual std::string oerhms(logon_area& lda, int code) = 0;
    // The database's character set as the server names it (UTF8, LATIN1,
    // ...); "" when not logged on or not known.
    virtual std::string server_encoding() const { return ""; }
};

// The production backend (PostgreSQL over libpq).
std::unique_ptr<client> make_client();

}  // namespace kestrel::db
