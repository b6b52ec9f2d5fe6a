// connection.hpp - RAII owners of libpq's connection and result handles and
// the few ways the backend talks to the server: one statement with
// parameters, a batch of simple statements in one round trip, and a batch
// guarded by a savepoint so that a failure leaves the transaction usable.
// Statements that nothing waits for (BEGIN) can be sent ahead: they travel
// in the round trip of the next statement instead of one of their own, and
// statements that follow each other can go together in one pipeline. A
// query's rows can be taken one at a time while the server sends the next.
#pragma once

#include <libpq-fe.h>

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "db_interface/client.hpp"

namespace kestrel::db::pg {

struct result_deleter {
    void operator()(PGresult* r) const noexcept { PQclear(r); }
};
using result = std::unique_ptr<PGresult, result_deleter>;

// True when the result holds an error (or is missing).
bool failed(const PGresult* r);

// One statement parameter. A null value is SQL NULL; type 0 lets the server
// infer the type from the statement.
struct param {
    std::string value;
    bool is_null = false;
    bool binary = false;
    Oid type = 0;
};

inline constexpr Oid bytea_oid = 17;

// One statement of a pipeline: a single statement, values as parameters.
struct pipelined_statement {
    std::string sql;
    std::span<const param> params{};
    bool binary_results = false;
};

// Why a logon failed: the server's message and its SQLSTATE when it sent one.
struct connect_failure {
    std::string message;
    std::string sqlstate;
};

class connection {
  public:
    connection() = default;
    connection(const connection&) = delete;
    connection& operator=(const connection&) = delete;
    connection(connection&& other) noexcept;
    connection& operator=(connection&& other) noexcept;
    ~connection();

    // Connects with the connection string (expanded as a libpq conninfo) and
    // the user and password kept apart. On failure returns false and fills why.
    bool open(const logon_request& who, connect_failure& why);
    void close() noexcept;
    bool is_open() const;
    // Whether an idle session can be lent again, without a round trip.
    bool is_alive() const;

    // Simple statements without parameters to run before the next statement,
    // in its round trip (a pipeline); their results go to on_results first.
    // When one fails, the next statement is not run and that failure is
    // returned as its result.
    using ahead_results = std::function<void(const std::vector<result>&)>;
    void send_ahead(std::vector<std::string> statements, ahead_results on_results);
    // Runs what was sent ahead on its own; the first failure, or none.
    result flush_ahead();

    // One statement; values travel as parameters. Text results unless binary.
    result exec(std::string_view sql, const std::vector<param>& params = {},
                bool binary_results = false);

    // Statements that go together in one round trip (a pipeline), after what
    // was sent ahead: one result each, in order. After a failure the rest do
    // not run and their results are failures too; a failure of what was sent
    // ahead is the first statement's result.
    std::vector<result> exec_pipeline(std::span<const pipelined_statement> statements);

    // Simple statements separated by ';' in one round trip; the results of
    // each, in order. Stops at the first error, which is the last result.
    std::vector<result> exec_batch(const std::string& sql);

    // Runs sql (simple statements, values already quoted) under a savepoint:
    // on failure the transaction is rolled back to the savepoint and stays
    // usable. Returns the last result of sql, or its error.
    result exec_guarded(std::string_view sql);
    // As exec_guarded for a single statement, with next in the same round
    // trip when sql succeeds; next's result goes to next_result.
    result exec_guarded_then(std::string sql, const pipelined_statement& next, result& next_result);

    // A query whose rows are taken one at a time (single-row mode): the
    // server goes on sending the next ones, as far as the socket holds them,
    // while the caller works on the last. False, with error (or none: see
    // error_message), when it could not start. Every other statement first
    // reads and drops the rows left, so the session is ready for it.
    bool start_rows(std::string_view sql, const std::vector<param>& params, bool binary_results,
                    result& error);
    // The next row (PGRES_SINGLE_TUPLE), else what ends them: the query's
    // last result (no row) or its error; then no row is pending.
    result next_row();
    bool rows_pending() const { return rows_pending_; }

    // COPY ... FROM STDIN: after exec of the COPY statement gave
    // PGRES_COPY_IN, copy_put sends data (libpq keeps no more than a
    // buffer's worth) and copy_end finishes, returning the COPY's result;
    // with an abort text the COPY fails and stores nothing.
    bool copy_put(std::string_view data);
    result copy_end(const char* abort_text = nullptr);

    // A literal quoted by libpq ('...' or E'...'); none when libpq refuses
    // the value (not valid in the client encoding). A bytea literal for raw bytes.
    std::optional<std::string> literal(std::string_view value);
    std::optional<std::string> bytea_literal(std::string_view bytes);

    // True while a transaction is open on the server, failed or not.
    bool in_transaction() const;

    // The role the session logged on as.
    std::string user() const;

    // The server_encoding the server reported; "" when not connected.
    std::string server_encoding() const;

    // The connection's own error text (lost connection and the like).
    std::string error_message() const;

  private:
    // Waits until a result can be taken without blocking; cancels the
    // statement, once, when the watched client has gone.
    void await_result();
    // The results of the statement sent, the last one kept as PQexec does.
    result last_result();
    // Queues what was sent ahead and statements; the number queued.
    std::size_t queue_pipeline(const std::vector<std::string>& ahead,
                               std::span<const pipelined_statement> statements);
    result next_pipeline_result();
    // Reads and drops the rows of start_rows not taken yet.
    void finish_rows();

    PGconn* conn_ = nullptr;
    std::vector<std::string> ahead_;
    ahead_results on_ahead_results_;
    bool rows_pending_ = false;
};

}  // namespace kestrel::db::pg
