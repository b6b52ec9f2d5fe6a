// pg_client.hpp - the PostgreSQL backend of db::client (internal header).
// oparse maps the gateway's statement onto its PostgreSQL form by its kind
// (statement_map), binds and defines are remembered, and oexec/oexfet run
// the mapped form: values as parameters or libpq-quoted literals, never as
// SQL text. One transaction per request: BEGIN after logon; after a commit,
// a rollback or a package reset only with the next statement that needs the
// server, so that a kept session does not sit idle inside a transaction.
// The start date and the session user are known here and cost no round trip.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "db_interface/client.hpp"
#include "db_interface/postgres/connection.hpp"
#include "db_interface/postgres/description_cache.hpp"
#include "db_interface/postgres/page_reader.hpp"
#include "db_interface/postgres/piece_reader.hpp"
#include "db_interface/postgres/routines.hpp"
#include "db_interface/postgres/statement_map.hpp"

namespace kestrel::db::pg {

class pg_client final : public client {
  public:
    int olog(logon_area& lda, const logon_request& who) override;
    int oopen(cursor_area& cda, logon_area& lda) override;
    using client::oparse;
    int oparse(cursor_area& cda, const statement& what) override;
    int obndrv(cursor_area& cda, const scalar_bind& bind) override;
    int obndra(cursor_area& cda, const array_bind& bind) override;
    int odefin(cursor_area& cda, const column_define& define) override;
    int oexec(cursor_area& cda) override;
    int oexfet(cursor_area& cda) override;
    int oflng(cursor_area& cda, int position, std::span<std::byte> piece, std::size_t offset,
              std::size_t& returned) override;
    void plan_oflng(cursor_area& cda, int position, std::size_t offset,
                    std::size_t length) override;
    int ocom(logon_area& lda) override;
    int orol(logon_area& lda) override;
    int commit_and_reset(logon_area& lda, cursor_area& cda,
                         const statement& reset_statement) override;
    int oclose(cursor_area& cda) override;
    int ologof(logon_area& lda) override;
    std::string oerhms(logon_area& lda, int code) override;
    std::string server_encoding() const override;

  private:
    // Failure bookkeeping: the code goes to the cursor and the text is kept
    // for oerhms.
    int fail(cursor_area& cda, int code, std::string text);
    // With the code's standard message.
    int fail(cursor_area& cda, int code);
    // 0 when r holds exactly one row, else the failure (no data, too many rows).
    int one_row(cursor_area& cda, const PGresult* r);
    // A statement's result as oexec sees it (success) or oexfet (exactly one
    // row, delivered into the defines).
    int answer(cursor_area& cda, const PGresult* r, bool fetch);
    int fail_result(cursor_area& cda, const PGresult* r);
    int succeed(cursor_area& cda, const PGresult* r = nullptr);
    int end_transaction(logon_area& lda, const char* statement);
    // Sends BEGIN (and the read of the DDL generation, when descriptions may
    // be cached) ahead of the next statement, in its round trip.
    void leave_idle();
    // The session reset after "prefix" (COMMIT or ROLLBACK), in one round trip.
    // prefix_failed, when given, tells whether the prefix statement failed.
    int reset_session(cursor_area& cda, const char* prefix, bool* prefix_failed = nullptr);
    // The description of a routine, from the cache when it may serve.
    // schemas: where a request may look (none: any schema, uncached).
    std::optional<routine_description> describe(std::string_view name,
                                                const std::optional<std::string>& schemas,
                                                result& error);

    // Bound values, looked up by name without regard to ':' or case.
    const scalar_bind* find_scalar(std::string_view name) const;
    const array_bind* find_array(std::string_view name) const;
    // The value of a bind as a statement parameter; none when not bound.
    std::optional<param> bound_param(std::string_view name) const;
    // The bytes of a long raw bind, in place.
    static std::span<const char> raw_value(const scalar_bind& bind);
    // The value of a bind as a quoted SQL literal; none when not bound, and
    // an empty text when libpq refuses the value.
    std::optional<std::string> bound_literal(std::string_view name);
    void write_integer(std::string_view name, std::int32_t value);
    void write_text(std::string_view name, std::string_view value);
    void deliver_row(const PGresult* r, int first_column, bool binary);
    // A one-column answer known without asking the server.
    int answer_locally(cursor_area& cda, bool fetch, std::string_view value);

    int run_select(cursor_area& cda, bool fetch);
    int run_cgi_env(cursor_area& cda);
    int run_describe(cursor_area& cda);
    int run_call(cursor_area& cda);
    int run_written(cursor_area& cda, bool fetch);
    int run_routine_block(cursor_area& cda);
    int run_generic_arg(cursor_area& cda);
    int run_get_page(cursor_area& cda);
    int run_document_insert(cursor_area& cda);
    // Streams the row with COPY; try_insert when the table takes no COPY.
    static constexpr int try_insert = -1;
    int copy_document(cursor_area& cda, const std::vector<param>& params,
                      std::span<const char> image);
    int run_document_select(cursor_area& cda);
    int run_timing_insert(cursor_area& cda);
    int run_reset(cursor_area& cda);
    int run_text(cursor_area& cda, bool fetch);
    int run_guarded(cursor_area& cda, const std::string& sql, bool fetch);
    // The statement, with the first page piece in its round trip when the
    // page follows it: the piece waits in the page reader. The statement's
    // result; after a failure nothing was fetched.
    result exec_before_page(const std::string& sql, const std::vector<param>& params);
    result exec_guarded_before_page(const std::string& sql);
    // The statement text with the bound placeholders as literals; none when
    // libpq refused a value (the failure is recorded).
    std::optional<std::string> spliced(cursor_area& cda, std::string_view text);
    int check_document_table(cursor_area& cda);

    connection conn_;
    bool idle_ = false;  // reset done, no transaction open
    mapped_statement statement_;
    bool parsed_ = false;
    std::vector<scalar_bind> scalars_;
    std::vector<array_bind> arrays_;
    std::vector<column_define> defines_;
    std::optional<routine_description> described_;
    bool described_from_cache_ = false;
    description_cache descriptions_;
    bool generation_readable_ = false;  // learnt at each reset
    std::string exposed_schemas_;       // of the logon: what a request may describe
    page_reader page_;
    piece_reader pieces_;  // of the document row last fetched
    int last_code_ = 0;
    std::string last_text_;
};

}  // namespace kestrel::db::pg
