// pg_statements.cpp - how each mapped statement runs on PostgreSQL: the
// native form of every statement the gateway builds (see statement_map.hpp).
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "db_interface/postgres/copy_text.hpp"
#include "db_interface/postgres/error_codes.hpp"
#include "db_interface/postgres/pg_client.hpp"
#include "db_interface/postgres/placeholders.hpp"

namespace kestrel::db::pg {
namespace {

constexpr const char* clock_query = "SELECT hsecs FROM sys.v_$timer";
constexpr const char* upload_sequence_query = "SELECT nextval($1::regclass)";
// The document select's columns after image: the length is the content's
// own (the stored size is no measure of it), the time in microseconds.
constexpr const char* document_details =
    ", mime_type::text, img_size::text, coalesce(octet_length(image), 0)::text, "
    "(extract(epoch FROM last_updated) * 1000000)::bigint::text";
constexpr const char* generic_arg_query = "SELECT cgi_args.add($1, $2)";
// Uploads from this size on stream to the server in pieces (COPY) rather
// than travel as one parameter, which would copy them twice more here.
constexpr std::size_t streamed_insert_bytes = 1 << 20;
constexpr std::size_t copy_piece_bytes = 1 << 19;

// Everything DISCARD ALL does except DISCARD PLANS: every session setting
// (the page buffer and cgi_args live there), the role, cursors, prepared
// statements, listens, advisory locks, temporary tables and sequence state
// go; the cached plans stay, since dropping them makes the next request plan
// the toolkit's functions again (half the throughput of a kept session).
// Last, whether the DDL generation can be read.
constexpr const char* session_reset =
    "CLOSE ALL; SET SESSION AUTHORIZATION DEFAULT; RESET ALL; DEALLOCATE ALL; UNLISTEN *; "
    "SELECT pg_advisory_unlock_all(); DISCARD TEMP; DISCARD SEQUENCES; "
    "SELECT to_regprocedure('owa.ddl_generation()') IS NOT NULL";

// The start date as the database would write it, from this machine's clock.
std::string local_start_date() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    static constexpr std::array<const char*, 7> days = {"Sun", "Mon", "Tue", "Wed",
                                                        "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> months = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<char, 40> text{};
    std::snprintf(text.data(), text.size(), "%s %s %02d %02d:%02d:%02d %04d",
                  days.at(static_cast<std::size_t>(local.tm_wday)),
                  months.at(static_cast<std::size_t>(local.tm_mon)), local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, local.tm_year + 1900);
    return text.data();
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        text += (i == 0 ? "" : "|") + names[i];
    }
    return text;
}

}  // namespace

int pg_client::run_select(cursor_area& cda, bool fetch) {
    result r;
    switch (statement_.kind) {
        case statement_kind::start_date:
            return answer_locally(cda, fetch, local_start_date());
        case statement_kind::session_user:
            // The role logged on; the reset restores it after every request.
            // Asked before a kept session is lent again: it must still be there.
            if (!conn_.is_alive()) {
                return fail(cda, connection_lost, conn_.error_message());
            }
            return answer_locally(cda, fetch, conn_.user());
        case statement_kind::clock:
            // Tolerated when it fails (timing is optional): keep the
            // transaction usable.
            r = conn_.exec_guarded(clock_query);
            break;
        case statement_kind::upload_sequence:
            r = conn_.exec(upload_sequence_query, {param{statement_.relation.quoted()}});
            break;
        case statement_kind::document_select:
        case statement_kind::document_row:
            return run_document_select(cda);
        default:
            return run_text(cda, fetch);
    }
    return answer(cda, r.get(), fetch);
}

int pg_client::answer_locally(cursor_area& cda, bool fetch, std::string_view value) {
    if (!fetch) {
        return succeed(cda);
    }
    for (const auto& d : defines_) {
        if (d.position != 1 || d.type != data_type::string || d.buffer.empty()) {
            continue;
        }
        const std::size_t kept = std::min(value.size(), d.buffer.size() - 1);
        std::memcpy(d.buffer.data(), value.data(), kept);
        d.buffer[kept] = std::byte{0};
        if (d.indicator != nullptr) {
            *d.indicator = 0;
        }
        if (d.returned_length != nullptr) {
            *d.returned_length = static_cast<std::uint16_t>(kept);
        }
        if (d.return_code != nullptr) {
            *d.return_code = 0;
        }
    }
    cda.rpc = 1;
    return cda.rc = 0;
}

std::optional<routine_description> pg_client::describe(std::string_view name,
                                                       const std::optional<std::string>& schemas,
                                                       result& error) {
    described_from_cache_ = false;
    // The cache can only answer once the request's generation is known.
    if (result begun = conn_.flush_ahead(); begun) {
        error = std::move(begun);
        return std::nullopt;
    }
    const std::string scope = schemas ? "only:" + *schemas : "any";
    if (const routine_description* cached = descriptions_.find(scope, name)) {
        described_from_cache_ = true;
        return *cached;
    }
    auto routine = describe_routine(conn_, name, schemas, error);
    if (routine) {
        descriptions_.store(scope, *routine);
    }
    return routine;
}

int pg_client::run_cgi_env(cursor_area& cda) {
    const auto count = bound_param("n");
    const auto names = bound_param("nm");
    const auto values = bound_param("v");
    if (!count || !names || !values) {
        return fail(cda, not_all_bound);
    }
    // The subquery sets the environment before the pre-action (trusted
    // configuration) is evaluated for its one row.
    const std::string sql = "SELECT CASE WHEN (" + statement_.pre_action +
                            ") THEN 1 ELSE 0 END, env.n FROM (SELECT owa.init_cgi_env($1::integer, "
                            "$2::text[], $3::text[]) AS n OFFSET 0) AS env";
    result r = conn_.exec(sql, {*count, *names, *values});
    if (failed(r.get())) {
        return fail_result(cda, r.get());
    }
    write_integer("rc", std::atoi(PQgetvalue(r.get(), 0, 0)));
    return succeed(cda);
}

int pg_client::run_describe(cursor_area& cda) {
    const auto name = bound_param("ObjectName");
    if (!name) {
        return fail(cda, not_all_bound);
    }
    result error;
    described_ = describe(name->value, exposed_schemas_, error);
    if (error) {
        return fail_result(cda, error.get());
    }
    // Pages are procedures: a function would commit its side effects before
    // the request found that it wrote no page.
    if (described_ && !described_->is_procedure) {
        described_.reset();
    }
    if (!described_) {
        return fail(cda, no_such_routine, standard_message(no_such_routine) + ": " + name->value);
    }
    std::string defaults;
    for (const bool has_default : described_->input_defaults) {
        defaults += has_default ? '1' : '0';
    }
    write_text("AllNames", joined(described_->input_names));
    write_text("HasDefault", defaults);
    write_text("CountOfTables", std::to_string(described_->table_names.size()));
    write_text("TableNames", joined(described_->table_names));
    return succeed(cda);
}

int pg_client::run_call(cursor_area& cda) {
    std::vector<param> params;
    for (const auto& argument : statement_.arguments) {
        auto value = bound_param(argument.placeholder);
        if (!value) {
            return fail(cda, not_all_bound,
                        standard_message(not_all_bound) + ": " + argument.placeholder);
        }
        params.push_back(std::move(*value));
    }
    result r = exec_before_page(call_statement(*described_, statement_.arguments), params);
    if (failed(r.get())) {
        if (described_from_cache_) {
            // Perhaps described before a change this request raced with:
            // the next request describes afresh.
            descriptions_.clear();
        }
        return fail_result(cda, r.get());
    }
    return succeed(cda, r.get());
}

int pg_client::run_generic_arg(cursor_area& cda) {
    const auto name = bound_param("name");
    const auto value = bound_param("val");
    if (!name || !value) {
        return fail(cda, not_all_bound);
    }
    result r = conn_.exec(generic_arg_query, {*name, *value});
    if (failed(r.get())) {
        return fail_result(cda, r.get());
    }
    return succeed(cda);
}

int pg_client::run_get_page(cursor_area& cda) {
    const scalar_bind* ndata = find_scalar("ndata");
    const array_bind* data = find_array("data");
    if (ndata == nullptr || data == nullptr || ndata->buffer.size() < sizeof(std::int32_t)) {
        return fail(cda, not_all_bound);
    }
    std::int32_t wanted = 0;
    std::memcpy(&wanted, ndata->buffer.data(), sizeof wanted);
    const auto want = static_cast<std::uint32_t>(
        std::clamp<std::int64_t>(wanted, 0, static_cast<std::int64_t>(data->max_elements)));
    result error;
    const int filled =
        page_.fill(conn_, want, data->buffer, data->element_size, data->lengths, error);
    if (filled < 0) {
        return fail_result(cda, error.get());
    }
    for (int i = 0; i < filled; ++i) {
        const auto slot = static_cast<std::size_t>(i);
        if (slot < data->indicators.size()) {
            data->indicators[slot] = 0;
        }
        if (slot < data->return_codes.size()) {
            data->return_codes[slot] = 0;
        }
    }
    if (data->current_count != nullptr) {
        *data->current_count = static_cast<std::uint32_t>(filled);
    }
    write_integer("ndata", filled);
    return succeed(cda);
}

int pg_client::run_document_insert(cursor_area& cda) {
    std::vector<param> params;
    for (const char* name : {"seqno", "mime_type", "length", "file_name"}) {
        auto value = bound_param(name);
        if (!value) {
            return fail(cda, not_all_bound, standard_message(not_all_bound) + ": " + name);
        }
        params.push_back(std::move(*value));
    }
    const scalar_bind* image = find_scalar("image");
    if (image == nullptr) {
        return fail(cda, not_all_bound, standard_message(not_all_bound) + ": image");
    }
    if (raw_value(*image).size() >= streamed_insert_bytes) {
        const int streamed = copy_document(cda, params, raw_value(*image));
        if (streamed != try_insert) {
            return streamed;
        }
    }
    params.push_back(*bound_param("image"));
    const std::string sql = "INSERT INTO " + statement_.relation.quoted() +
                            " (name, mime_type, doc_size, file_name, content) "
                            "VALUES ($1, $2, $3, $4, $5)";
    result r = conn_.exec(sql, params);
    if (failed(r.get())) {
        return fail_result(cda, r.get());
    }
    return succeed(cda, r.get());
}

int pg_client::copy_document(cursor_area& cda, const std::vector<param>& params,
                             std::span<const char> image) {
    // COPY reaches plain tables only; views and the like take the INSERT.
    result kind = conn_.exec(
        "SELECT relkind IN ('r', 'p') FROM pg_catalog.pg_class WHERE oid = to_regclass($1)",
        {param{statement_.relation.quoted()}});
    if (failed(kind.get())) {
        return fail_result(cda, kind.get());
    }
    if (PQntuples(kind.get()) != 1 || std::string_view(PQgetvalue(kind.get(), 0, 0)) != "t") {
        return try_insert;
    }
    result started = conn_.exec("COPY " + statement_.relation.quoted() +
                                " (name, mime_type, doc_size, file_name, content) FROM STDIN");
    if (PQresultStatus(started.get()) != PGRES_COPY_IN) {
        return fail_result(cda, started.get());
    }
    std::string fields;
    for (const param& p : params) {
        fields +=
            copy_text_field(p.is_null ? std::nullopt : std::optional<std::string_view>(p.value));
        fields += '\t';
    }
    const auto put = [&](std::string_view data) { return conn_.copy_put(data); };
    const bool sent = put(fields) && put_copy_bytea(image, copy_piece_bytes, put) && put("\n");
    result r = conn_.copy_end(sent ? nullptr : "upload not sent");
    if (failed(r.get())) {
        return fail_result(cda, r.get());
    }
    return succeed(cda, r.get());
}

int pg_client::run_document_select(cursor_area& cda) {
    const auto piece = std::find_if(defines_.begin(), defines_.end(),
                                    [](const column_define& d) { return d.position == 1; });
    const std::size_t piece_size = piece != defines_.end() ? piece->buffer.size() : 0;
    const auto name = bound_param("name");
    if (!name) {
        return fail(cda, not_all_bound);
    }
    // Column 1 of the gateway's select (image) is the first piece; the
    // content is never fetched whole.
    const std::string sql =
        std::string(
            "SELECT name::text, coalesce(octet_length(image), 0)::text, "
            "substring(image FROM 1 FOR $2::integer)") +
        (statement_.kind == statement_kind::document_row ? document_details : "") + " FROM " +
        statement_.relation.quoted() + " WHERE name = $1 LIMIT 2";
    result r = conn_.exec(sql, {*name, param{std::to_string(piece_size)}}, true);
    if (failed(r.get())) {
        return fail_result(cda, r.get());
    }
    if (const int rc = one_row(cda, r.get()); rc != 0) {
        return rc;
    }
    deliver_row(r.get(), 2, true);
    std::string row_name(PQgetvalue(r.get(), 0, 0), PQgetlength(r.get(), 0, 0));
    const std::size_t total = std::strtoull(
        std::string(PQgetvalue(r.get(), 0, 1), PQgetlength(r.get(), 0, 1)).c_str(), nullptr, 10);
    pieces_.start(statement_.relation.quoted(), std::move(row_name), total, std::move(r), 2);
    cda.rpc = 1;
    return cda.rc = 0;
}

int pg_client::oflng(cursor_area& cda, int position, std::span<std::byte> piece, std::size_t offset,
                     std::size_t& returned) {
    returned = 0;
    if (!pieces_.started() || position != 1) {
        return fail(cda, no_data_found);
    }
    result error;
    switch (pieces_.read(conn_, offset, piece, returned, error)) {
        case piece_reader::outcome::read:
            return cda.rc = 0;
        case piece_reader::outcome::missing:
            return fail(cda, no_data_found);
        case piece_reader::outcome::failed:
            break;
    }
    return fail_result(cda, error.get());
}

void pg_client::plan_oflng(cursor_area&, int position, std::size_t offset, std::size_t length) {
    if (position == 1) {
        pieces_.plan(offset, length);
    }
}

int pg_client::run_timing_insert(cursor_area& cda) {
    std::string values;
    for (const char* name :
         {"url", "msg", "start_hsecs", "stop_hsecs", "userid", "remote_addr", "http_user_agent"}) {
        auto literal = bound_literal(name);
        if (!literal) {
            return fail(cda, not_all_bound, standard_message(not_all_bound) + ": " + name);
        }
        if (literal->empty()) {
            return fail(cda, invalid_text);
        }
        values += (values.empty() ? "" : ", ") + *literal;
    }
    // Guarded: a failed timing row must not cost the request its transaction.
    result r = conn_.exec_guarded("INSERT INTO " + statement_.relation.quoted() +
                                  " (url, msg, start_hsecs, stop_hsecs, userid, remote_addr, "
                                  "http_user_agent) VALUES (" +
                                  values + ")");
    if (failed(r.get())) {
        return fail_result(cda, r.get());
    }
    return succeed(cda, r.get());
}

int pg_client::run_reset(cursor_area& cda) {
    // Ends the transaction a statement since the last commit opened.
    return reset_session(cda, idle_ ? "" : "ROLLBACK; ");
}

int pg_client::reset_session(cursor_area& cda, const char* prefix, bool* prefix_failed) {
    // One round trip; the next request's first statement opens its
    // transaction (leave_idle).
    idle_ = true;
    described_.reset();
    page_.clear();
    const auto results = conn_.exec_batch(std::string(prefix) + session_reset);
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (failed(results[i].get())) {
            // A COMMIT or ROLLBACK that never ran leaves the transaction
            // open: the rollback after the failure must still end it.
            idle_ = !conn_.in_transaction();
            generation_readable_ = false;
            if (prefix_failed != nullptr) {
                *prefix_failed = i == 0 && *prefix != '\0';
            }
            return fail_result(cda, results[i].get());
        }
    }
    const PGresult* last = results.back().get();
    generation_readable_ = PQntuples(last) == 1 && std::string_view(PQgetvalue(last, 0, 0)) == "t";
    return succeed(cda);
}

std::optional<std::string> pg_client::spliced(cursor_area& cda, std::string_view text) {
    bool refused = false;
    std::string out =
        splice_literals(text, [&](std::string_view name) -> std::optional<std::string> {
            auto literal = bound_literal(name);
            if (literal && literal->empty()) {
                refused = true;
            }
            return literal;
        });
    if (refused) {
        fail(cda, invalid_text);
        return std::nullopt;
    }
    return out;
}

int pg_client::run_written(cursor_area& cda, bool fetch) {
    if (statement_.form == written_form::routine_block) {
        return run_routine_block(cda);
    }
    return run_text(cda, fetch);
}

int pg_client::run_routine_block(cursor_area& cda) {
    result error;
    // Post-actions are configuration, not requests: any schema.
    const auto routine = describe(statement_.routine, std::nullopt, error);
    if (error) {
        return fail_result(cda, error.get());
    }
    if (!routine) {
        return run_text(cda, false);  // not a routine: the block as written
    }
    if (statement_.argument_text.empty()) {
        // The call alone: no block for PL/pgSQL to compile on every request.
        return run_guarded(
            cda, (routine->is_procedure ? "CALL " : "SELECT ") + qualified_name(*routine) + "()",
            false);
    }
    const auto arguments = spliced(cda, statement_.argument_text);
    if (!arguments) {
        return cda.rc;
    }
    const std::string body = std::string("begin ") +
                             (routine->is_procedure ? "CALL " : "PERFORM ") +
                             qualified_name(*routine) + "(" + *arguments + "); end;";
    return run_guarded(cda, do_block(body), false);
}

int pg_client::run_text(cursor_area& cda, bool fetch) {
    const auto body = spliced(cda, statement_.text);
    if (!body) {
        return cda.rc;
    }
    const bool block = statement_.form != written_form::plain;
    return run_guarded(cda, block ? do_block(*body) : *body, fetch);
}

int pg_client::run_guarded(cursor_area& cda, const std::string& sql, bool fetch) {
    // Guarded: include blocks fail without ending the request, and the
    // blocks after them still need a working transaction.
    const result r = exec_guarded_before_page(sql);
    return answer(cda, r.get(), fetch);
}

result pg_client::exec_before_page(const std::string& sql, const std::vector<param>& params) {
    if (!statement_.page_follows) {
        return conn_.exec(sql, params);
    }
    const std::array<pipelined_statement, 2> statements{
        {{sql, params}, page_reader::fetch_statement()}};
    std::vector<result> results = conn_.exec_pipeline(statements);
    if (!failed(results[0].get())) {
        page_.keep_fetched(std::move(results[1]));
    }
    return std::move(results[0]);
}

result pg_client::exec_guarded_before_page(const std::string& sql) {
    // Text as written may hold several statements, which a pipeline refuses.
    if (!statement_.page_follows || statement_.form == written_form::plain) {
        return conn_.exec_guarded(sql);
    }
    result piece;
    result r = conn_.exec_guarded_then(sql, page_reader::fetch_statement(), piece);
    if (!failed(r.get())) {
        page_.keep_fetched(std::move(piece));
    }
    return r;
}

}  // namespace kestrel::db::pg
