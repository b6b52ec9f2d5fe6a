// connection.cpp - libpq behind RAII owners. Every statement of a request
// goes through here; the transaction is opened and ended by the client.
#include "db_interface/postgres/connection.hpp"

#include <poll.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <utility>

#include "db_interface/client_watch.hpp"
#include "db_interface/postgres/connect_options.hpp"

namespace kestrel::db::pg {
namespace {

constexpr const char* guard_open = "SAVEPOINT kestrel_guard";
constexpr const char* guard_release = "RELEASE SAVEPOINT kestrel_guard";
constexpr const char* guard_undo =
    "ROLLBACK TO SAVEPOINT kestrel_guard; RELEASE SAVEPOINT kestrel_guard";

using deadline = std::chrono::steady_clock::time_point;
constexpr deadline no_deadline = deadline::max();

// Waits until libpq's socket is ready for what PQconnectPoll asked, or the
// deadline passes (false).
bool wait_for(PGconn* conn, PostgresPollingStatusType want, deadline until) {
    pollfd fd{.fd = PQsocket(conn),
              .events = static_cast<short>(want == PGRES_POLLING_READING ? POLLIN : POLLOUT),
              .revents = 0};
    if (fd.fd < 0) {
        return false;
    }
    int timeout_ms = -1;
    if (until != no_deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        timeout_ms = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
    }
    return poll(&fd, 1, timeout_ms) > 0;
}

// Asks the server to cancel what the session is running. The request then
// fails as any cancelled statement does and rolls back; its later
// statements are no longer watched.
void cancel_statement(PGconn* conn) {
    watch_client(-1);
    PGcancel* cancel = PQgetCancel(conn);
    if (cancel == nullptr) {
        return;
    }
    std::array<char, 256> error{};
    PQcancel(cancel, error.data(), static_cast<int>(error.size()));
    PQfreeCancel(cancel);
}

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// With verbose errors the server's SQLSTATE follows the severity:
// "... FATAL:  28P01: password authentication failed ...". Takes it out.
connect_failure split_sqlstate(std::string message) {
    connect_failure why;
    for (const std::string_view severity : {"FATAL:  ", "ERROR:  "}) {
        const std::size_t at = message.find(severity);
        if (at == std::string::npos) {
            continue;
        }
        const std::size_t code = at + severity.size();
        if (message.size() > code + 7 && message.compare(code + 5, 2, ": ") == 0) {
            why.sqlstate = message.substr(code, 5);
            message.erase(code, 7);
        }
        break;
    }
    why.message = trimmed(std::move(message));
    if (!why.sqlstate.empty()) {
        why.message += " (SQLSTATE " + why.sqlstate + ")";
    }
    // A pooler (PgBouncer) refuses a password with a protocol error: it is
    // still a wrong user or password, which asks the browser again.
    if (why.sqlstate == "08P01" &&
        why.message.find("password authentication failed") != std::string::npos) {
        why.sqlstate = "28P01";
    }
    return why;
}

// The parallel arrays libpq takes for a statement's parameters.
struct param_arrays {
    explicit param_arrays(std::span<const param> params) {
        for (const auto& p : params) {
            values.push_back(p.is_null ? nullptr : p.value.c_str());
            lengths.push_back(static_cast<int>(p.value.size()));
            formats.push_back(p.binary ? 1 : 0);
            types.push_back(p.type);
        }
    }
    int count() const { return static_cast<int>(values.size()); }

    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    std::vector<Oid> types;
};

}  // namespace

bool failed(const PGresult* r) {
    if (r == nullptr) {
        return true;
    }
    const ExecStatusType status = PQresultStatus(r);
    return status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK;
}

connection::connection(connection&& other) noexcept
    : conn_(std::exchange(other.conn_, nullptr)),
      ahead_(std::move(other.ahead_)),
      on_ahead_results_(std::move(other.on_ahead_results_)),
      rows_pending_(std::exchange(other.rows_pending_, false)) {}

connection& connection::operator=(connection&& other) noexcept {
    if (this != &other) {
        close();
        conn_ = std::exchange(other.conn_, nullptr);
        ahead_ = std::move(other.ahead_);
        on_ahead_results_ = std::move(other.on_ahead_results_);
        rows_pending_ = std::exchange(other.rows_pending_, false);
    }
    return *this;
}

connection::~connection() {
    close();
}

void connection::close() noexcept {
    ahead_.clear();
    on_ahead_results_ = nullptr;
    rows_pending_ = false;
    if (conn_ != nullptr) {
        PQfinish(conn_);
        conn_ = nullptr;
    }
}

bool connection::is_open() const {
    return conn_ != nullptr && PQstatus(conn_) == CONNECTION_OK;
}

bool connection::is_alive() const {
    if (!is_open()) {
        return false;
    }
    // An idle session hears nothing unless the server is ending it (its
    // goodbye, then the end of the socket) or something rare such as a
    // changed setting: anything heard costs a fresh logon, never a failure.
    pollfd socket{PQsocket(conn_), POLLIN, 0};
    return poll(&socket, 1, 0) == 0;
}

bool connection::open(const logon_request& who, connect_failure& why) {
    close();
    if (!who.statement_timeout.empty() && !is_duration(who.statement_timeout)) {
        why = {"owa_statement_timeout is no duration: " + who.statement_timeout, ""};
        return false;
    }
    // dbname comes first so that user, password and options override
    // whatever the connection string says; empty values are left to libpq's
    // defaults. The options carry the statement timeout, which a session
    // reset (RESET ALL) keeps.
    const std::string options = session_options(who.connect, who.statement_timeout);
    const char* keywords[] = {"dbname",  "user", "password", "fallback_application_name",
                              "options", nullptr};
    const char* values[] = {who.connect.c_str(),
                            who.user.empty() ? nullptr : who.user.c_str(),
                            who.password.empty() ? nullptr : who.password.c_str(),
                            "kestrel",
                            options.empty() ? nullptr : options.c_str(),
                            nullptr};
    const auto timeout = connect_timeout(who.connect);
    const deadline until = timeout ? std::chrono::steady_clock::now() + *timeout : no_deadline;
    conn_ = PQconnectStartParams(keywords, values, 1);
    if (conn_ == nullptr) {
        why = {"out of memory", ""};
        return false;
    }
    // Verbose errors carry the SQLSTATE, which tells a refused password
    // from an unreachable server whatever the server's language.
    PQsetErrorVerbosity(conn_, PQERRORS_VERBOSE);
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED &&
           PQstatus(conn_) != CONNECTION_BAD) {
        if (!wait_for(conn_, state, until)) {
            break;
        }
        state = PQconnectPoll(conn_);
    }
    if (state != PGRES_POLLING_FAILED && PQstatus(conn_) != CONNECTION_OK &&
        PQstatus(conn_) != CONNECTION_BAD) {
        // 08001: the client could not establish the connection.
        why = {"could not connect: timeout expired (SQLSTATE 08001)", "08001"};
        close();
        return false;
    }
    if (PQstatus(conn_) != CONNECTION_OK) {
        why = split_sqlstate(PQerrorMessage(conn_));
        close();
        return false;
    }
    PQsetErrorVerbosity(conn_, PQERRORS_DEFAULT);
    return true;
}

void connection::send_ahead(std::vector<std::string> statements, ahead_results on_results) {
    ahead_ = std::move(statements);
    on_ahead_results_ = std::move(on_results);
}

result connection::flush_ahead() {
    if (ahead_.empty()) {
        return result(nullptr);
    }
    std::vector<result> results = exec_batch("");
    if (!results.empty() && failed(results.back().get())) {
        return std::move(results.back());
    }
    return result(nullptr);
}

result connection::exec(std::string_view sql, const std::vector<param>& params,
                        bool binary_results) {
    finish_rows();
    if (!ahead_.empty()) {
        const pipelined_statement one{std::string(sql), params, binary_results};
        return std::move(exec_pipeline({&one, 1}).front());
    }
    const std::string text(sql);
    const param_arrays p(params);
    if (PQsendQueryParams(conn_, text.c_str(), p.count(), p.types.data(), p.values.data(),
                          p.lengths.data(), p.formats.data(), binary_results ? 1 : 0) == 0) {
        return result(nullptr);
    }
    return last_result();
}

std::size_t connection::queue_pipeline(const std::vector<std::string>& ahead,
                                       std::span<const pipelined_statement> statements) {
    std::size_t queued = 0;
    for (const auto& statement : ahead) {
        if (PQsendQueryParams(conn_, statement.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) ==
            0) {
            return queued;
        }
        ++queued;
    }
    for (const auto& statement : statements) {
        const param_arrays p(statement.params);
        if (PQsendQueryParams(conn_, statement.sql.c_str(), p.count(), p.types.data(),
                              p.values.data(), p.lengths.data(), p.formats.data(),
                              statement.binary_results ? 1 : 0) == 0) {
            return queued;
        }
        ++queued;
    }
    return queued;
}

std::vector<result> connection::exec_pipeline(std::span<const pipelined_statement> statements) {
    finish_rows();
    const std::vector<std::string> ahead = std::exchange(ahead_, {});
    const ahead_results on_results = std::exchange(on_ahead_results_, nullptr);
    std::vector<result> results(statements.size());
    if (PQenterPipelineMode(conn_) == 0) {
        send_ahead(ahead, on_results);
        return results;
    }
    const std::size_t queued = queue_pipeline(ahead, statements);
    if (queued == 0) {  // nothing went: what was to go ahead waits for the next statement
        PQexitPipelineMode(conn_);
        send_ahead(ahead, on_results);
        return results;
    }
    if (queued < ahead.size() + statements.size() || PQpipelineSync(conn_) == 0) {
        // Part of it queued, perhaps run: a session in an unknown state is
        // not used again (the server rolls back what it ran).
        close();
        return results;
    }
    std::vector<result> ahead_results;
    for (std::size_t i = 0; i < ahead.size(); ++i) {
        ahead_results.push_back(next_pipeline_result());
    }
    for (auto& r : results) {
        r = next_pipeline_result();
    }
    await_result();
    const result sync(PQgetResult(conn_));  // PGRES_PIPELINE_SYNC, nothing to read
    PQexitPipelineMode(conn_);
    if (on_results) {
        on_results(ahead_results);
    }
    // After a failure the rest of the pipeline is skipped: report the cause.
    for (auto& r : ahead_results) {
        if (failed(r.get()) && !results.empty()) {
            results.front() = std::move(r);
            break;
        }
    }
    return results;
}

// One statement's result in a pipeline, and the end marker that follows it.
result connection::next_pipeline_result() {
    await_result();
    result r(PQgetResult(conn_));
    await_result();
    while (PGresult* more = PQgetResult(conn_)) {
        r.reset(more);
        await_result();
    }
    return r;
}

void connection::await_result() {
    while (PQisBusy(conn_) != 0) {
        const int client = watched_client();
        std::array<pollfd, 2> fds{{{.fd = PQsocket(conn_), .events = POLLIN, .revents = 0},
                                   {.fd = client, .events = POLLRDHUP, .revents = 0}}};
        if (poll(fds.data(), client >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;  // PQgetResult blocks instead
        }
        if (fds[1].revents != 0) {
            cancel_statement(conn_);
        }
        if (fds[0].revents != 0 && PQconsumeInput(conn_) == 0) {
            return;  // the connection failed: PQgetResult says so
        }
    }
}

result connection::last_result() {
    await_result();
    result last(PQgetResult(conn_));
    while (last && PQresultStatus(last.get()) != PGRES_COPY_IN) {
        await_result();
        PGresult* more = PQgetResult(conn_);
        if (more == nullptr) {
            break;
        }
        last.reset(more);
    }
    return last;
}

std::vector<result> connection::exec_batch(const std::string& sql) {
    finish_rows();
    const std::vector<std::string> statements = std::exchange(ahead_, {});
    const ahead_results on_results = std::exchange(on_ahead_results_, nullptr);
    std::string text;
    for (const auto& statement : statements) {
        text += statement + "; ";
    }
    text += sql;
    std::vector<result> results;
    if (PQsendQuery(conn_, text.c_str()) == 0) {
        send_ahead(statements, on_results);  // not sent: they go with the next one
        results.emplace_back(nullptr);
        return results;
    }
    await_result();
    while (PGresult* r = PQgetResult(conn_)) {
        results.emplace_back(r);
        await_result();
    }
    // What was sent ahead answers first; a failure there is the batch's.
    const auto answered = static_cast<std::ptrdiff_t>(std::min(statements.size(), results.size()));
    std::vector<result> ahead(std::make_move_iterator(results.begin()),
                              std::make_move_iterator(results.begin() + answered));
    results.erase(results.begin(), results.begin() + answered);
    if (on_results) {
        on_results(ahead);
    }
    if (!ahead.empty() && failed(ahead.back().get())) {
        results.clear();
        results.push_back(std::move(ahead.back()));
    }
    return results;
}

result connection::exec_guarded(std::string_view sql) {
    std::vector<result> results = exec_batch(
        std::string(guard_open).append("; ").append(sql).append("; ").append(guard_release));
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (failed(results[i].get())) {
            if (i > 0) {  // the savepoint exists: undo what sql did
                exec_batch(guard_undo);
            }
            return std::move(results[i]);
        }
    }
    // savepoint, the results of sql, release: the last of sql's is wanted
    if (results.size() < 3) {
        return result(nullptr);
    }
    return std::move(results[results.size() - 2]);
}

result connection::exec_guarded_then(std::string sql, const pipelined_statement& next,
                                     result& next_result) {
    const std::array<pipelined_statement, 4> statements{
        {{guard_open}, {std::move(sql)}, {guard_release}, next}};
    std::vector<result> results = exec_pipeline(statements);
    if (failed(results[0].get())) {
        return std::move(results[0]);
    }
    for (std::size_t i = 1; i < 3; ++i) {
        if (failed(results[i].get())) {  // the savepoint exists: undo what sql did
            exec_batch(guard_undo);
            return std::move(results[i]);
        }
    }
    next_result = std::move(results[3]);
    return std::move(results[1]);
}

bool connection::start_rows(std::string_view sql, const std::vector<param>& params,
                            bool binary_results, result& error) {
    finish_rows();
    if (result ahead = flush_ahead(); ahead) {
        error = std::move(ahead);
        return false;
    }
    const std::string text(sql);
    const param_arrays p(params);
    if (PQsendQueryParams(conn_, text.c_str(), p.count(), p.types.data(), p.values.data(),
                          p.lengths.data(), p.formats.data(), binary_results ? 1 : 0) == 0) {
        return false;
    }
    // Sent: whatever happens next, its results must be read before the
    // next statement.
    rows_pending_ = true;
    PQsetSingleRowMode(conn_);
    return true;
}

result connection::next_row() {
    if (!rows_pending_) {
        return result(nullptr);
    }
    await_result();
    result r(PQgetResult(conn_));
    if (r && PQresultStatus(r.get()) == PGRES_SINGLE_TUPLE) {
        return r;
    }
    rows_pending_ = false;
    await_result();
    while (PGresult* more = PQgetResult(conn_)) {  // none after the last result
        PQclear(more);
        await_result();
    }
    return r;
}

void connection::finish_rows() {
    while (rows_pending_) {
        next_row();
    }
}

bool connection::copy_put(std::string_view data) {
    return PQputCopyData(conn_, data.data(), static_cast<int>(data.size())) == 1;
}

result connection::copy_end(const char* abort_text) {
    if (PQputCopyEnd(conn_, abort_text) != 1) {
        return result(nullptr);
    }
    return last_result();
}

std::optional<std::string> connection::literal(std::string_view value) {
    char* quoted = PQescapeLiteral(conn_, value.data(), value.size());
    if (quoted == nullptr) {
        return std::nullopt;
    }
    std::string text(quoted);
    PQfreemem(quoted);
    return text;
}

std::optional<std::string> connection::bytea_literal(std::string_view bytes) {
    std::size_t length = 0;
    unsigned char* escaped = PQescapeByteaConn(
        conn_, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), &length);
    if (escaped == nullptr) {
        return std::nullopt;
    }
    // length counts the closing NUL. Appending into one reserved string
    // also keeps GCC's -O3 -Wrestrict from misreading operator+.
    const std::string_view body(reinterpret_cast<const char*>(escaped),
                                length > 0 ? length - 1 : 0);
    constexpr std::string_view suffix = "'::bytea";
    std::string text;
    text.reserve(1 + body.size() + suffix.size());
    text.append("'").append(body).append(suffix);
    PQfreemem(escaped);
    return text;
}

bool connection::in_transaction() const {
    const PGTransactionStatusType status = PQtransactionStatus(conn_);
    return status == PQTRANS_INTRANS || status == PQTRANS_INERROR || status == PQTRANS_ACTIVE;
}

std::string connection::user() const {
    const char* name = conn_ != nullptr ? PQuser(conn_) : nullptr;
    return name != nullptr ? name : "";
}

std::string connection::server_encoding() const {
    const char* name = conn_ != nullptr ? PQparameterStatus(conn_, "server_encoding") : nullptr;
    return name != nullptr ? name : "";
}

std::string connection::error_message() const {
    return conn_ == nullptr ? "not connected" : trimmed(PQerrorMessage(conn_));
}

}  // namespace kestrel::db::pg
