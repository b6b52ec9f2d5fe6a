// pg_client.cpp - the PostgreSQL backend: session lifecycle, parse, binds,
// defines and the dispatch of each mapped statement (pg_statements.cpp runs
// them). This is where every statement of a request meets libpq.
#include "db_interface/postgres/pg_client.hpp"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

#include "base/text_case.hpp"
#include "db_interface/postgres/error_codes.hpp"

namespace kestrel::db {

std::unique_ptr<client> make_client() {
    return std::make_unique<pg::pg_client>();
}

namespace pg {
namespace {

std::string_view bare(std::string_view name) {
    while (!name.empty() && name.front() == ':') {
        name.remove_prefix(1);
    }
    return name;
}

bool same_bind_name(std::string_view a, std::string_view b) {
    a = bare(a);
    b = bare(b);
    return equal_ignoring_case(a, b);
}

std::string_view text_in(const std::byte* data, std::size_t size) {
    const auto* text = reinterpret_cast<const char*>(data);
    return {text, strnlen(text, size)};
}

// The elements of an array bind, each up to its terminating NUL.
std::vector<std::string_view> array_elements(const array_bind& bind) {
    std::vector<std::string_view> elements;
    const std::uint32_t count = bind.current_count != nullptr ? *bind.current_count : 0;
    for (std::uint32_t i = 0; i < count && (i + 1) * bind.element_size <= bind.buffer.size(); ++i) {
        const char* slot = bind.buffer.data() + i * bind.element_size;
        elements.emplace_back(slot, strnlen(slot, bind.element_size));
    }
    return elements;
}

// A text[] literal: every element double-quoted, '"' and '\' escaped. Sized
// first: a form's largest array is as large as its body, and a growing
// string would hold two copies of it at once.
std::string array_literal(const array_bind& bind) {
    const std::vector<std::string_view> elements = array_elements(bind);
    std::size_t size = 2;
    for (const std::string_view element : elements) {
        size += element.size() + 3 + std::count_if(element.begin(), element.end(), [](char c) {
                    return c == '"' || c == '\\';
                });
    }
    std::string literal;
    literal.reserve(size);
    literal += '{';
    for (std::size_t i = 0; i < elements.size(); ++i) {
        literal += i == 0 ? "\"" : ",\"";
        for (const char c : elements[i]) {
            if (c == '"' || c == '\\') {
                literal += '\\';
            }
            literal += c;
        }
        literal += '"';
    }
    literal += '}';
    return literal;
}

}  // namespace

int pg_client::fail(cursor_area& cda, int code, std::string text) {
    last_code_ = code;
    last_text_ = std::move(text);
    cda.rc = code;
    return code;
}

int pg_client::fail(cursor_area& cda, int code) {
    return fail(cda, code, standard_message(code));
}

int pg_client::one_row(cursor_area& cda, const PGresult* r) {
    if (PQntuples(r) == 0) {
        return fail(cda, no_data_found);
    }
    if (PQntuples(r) > 1) {
        return fail(cda, too_many_rows);
    }
    return 0;
}

int pg_client::fail_result(cursor_area& cda, const PGresult* r) {
    if (r == nullptr) {
        return fail(cda, code_for_sqlstate(""), conn_.error_message());
    }
    const int code = code_for_error(field(r, PG_DIAG_SQLSTATE), field(r, PG_DIAG_CONTEXT));
    return fail(cda, code, error_text(r));
}

int pg_client::succeed(cursor_area& cda, const PGresult* r) {
    cda.rc = 0;
    if (r != nullptr) {
        const char* rows = PQcmdTuples(const_cast<PGresult*>(r));
        cda.rpc = static_cast<std::uint32_t>(rows != nullptr ? std::strtoul(rows, nullptr, 10) : 0);
    }
    return 0;
}

int pg_client::answer(cursor_area& cda, const PGresult* r, bool fetch) {
    if (failed(r)) {
        return fail_result(cda, r);
    }
    if (!fetch) {
        return succeed(cda, r);
    }
    if (const int rc = one_row(cda, r); rc != 0) {
        return rc;
    }
    deliver_row(r, 0, false);
    cda.rpc = 1;
    return cda.rc = 0;
}

int pg_client::olog(logon_area& lda, const logon_request& who) {
    cursor_area scratch;
    connect_failure why;
    page_.clear();
    described_.reset();
    descriptions_.clear();
    generation_readable_ = false;
    exposed_schemas_ = who.exposed_schemas;
    if (!conn_.open(who, why)) {
        int code = why.sqlstate.empty() ? cannot_connect : code_for_sqlstate(why.sqlstate);
        lda.rc = fail(scratch, code, why.message);
        return lda.rc;
    }
    conn_.send_ahead({"BEGIN"}, nullptr);
    idle_ = false;
    return lda.rc = 0;
}

int pg_client::oopen(cursor_area& cda, logon_area&) {
    parsed_ = false;
    if (!conn_.is_open()) {
        return fail(cda, not_logged_on);
    }
    return cda.rc = 0;
}

int pg_client::oparse(cursor_area& cda, const statement& what) {
    parsed_ = false;
    scalars_.clear();
    arrays_.clear();
    defines_.clear();
    pieces_.clear();
    page_.forget_exhaustion();
    if (!conn_.is_open()) {
        return fail(cda, not_logged_on);
    }
    statement_ = map_statement(what, described_ ? described_->requested : "");
    if (statement_.kind != statement_kind::reset_package) {
        leave_idle();
    }
    if (!statement_.invalid.empty()) {
        const bool is_call = statement_.kind == statement_kind::call;
        const int code = is_call ? call_does_not_compile : no_such_table;
        return fail(cda, code, standard_message(code) + ": " + statement_.invalid);
    }
    if (statement_.kind == statement_kind::document_select) {
        if (const int rc = check_document_table(cda); rc != 0) {
            return rc;
        }
    }
    parsed_ = true;
    return cda.rc = 0;
}

int pg_client::check_document_table(cursor_area& cda) {
    // Checked rather than tried: a failed select would abort the request's
    // transaction, and a missing table only means "no document here".
    result r =
        conn_.exec("SELECT to_regclass($1) IS NOT NULL", {param{statement_.relation.quoted()}});
    if (failed(r.get())) {
        return fail_result(cda, r.get());
    }
    if (std::string_view(PQgetvalue(r.get(), 0, 0)) != "t") {
        return fail(cda, no_such_table,
                    standard_message(no_such_table) + ": " + statement_.relation.quoted());
    }
    return 0;
}

int pg_client::obndrv(cursor_area& cda, const scalar_bind& bind) {
    if (!parsed_) {
        return fail(cda, no_statement);
    }
    std::erase_if(scalars_,
                  [&](const scalar_bind& b) { return same_bind_name(b.name, bind.name); });
    scalars_.push_back(bind);
    return cda.rc = 0;
}

int pg_client::obndra(cursor_area& cda, const array_bind& bind) {
    if (!parsed_) {
        return fail(cda, no_statement);
    }
    std::erase_if(arrays_, [&](const array_bind& b) { return same_bind_name(b.name, bind.name); });
    arrays_.push_back(bind);
    return cda.rc = 0;
}

int pg_client::odefin(cursor_area& cda, const column_define& define) {
    if (!parsed_) {
        return fail(cda, no_statement);
    }
    std::erase_if(defines_, [&](const column_define& d) { return d.position == define.position; });
    defines_.push_back(define);
    return cda.rc = 0;
}

const scalar_bind* pg_client::find_scalar(std::string_view name) const {
    for (const auto& b : scalars_) {
        if (same_bind_name(b.name, name)) {
            return &b;
        }
    }
    return nullptr;
}

const array_bind* pg_client::find_array(std::string_view name) const {
    for (const auto& b : arrays_) {
        if (same_bind_name(b.name, name)) {
            return &b;
        }
    }
    return nullptr;
}

std::optional<param> pg_client::bound_param(std::string_view name) const {
    if (const array_bind* a = find_array(name)) {
        return param{array_literal(*a)};
    }
    const scalar_bind* s = find_scalar(name);
    if (s == nullptr) {
        return std::nullopt;
    }
    if (s->indicator != nullptr && *s->indicator == -1) {
        return param{.value = "", .is_null = true};
    }
    switch (s->type) {
        case data_type::integer: {
            std::int32_t value = 0;
            std::memcpy(&value, s->buffer.data(), std::min(sizeof value, s->buffer.size()));
            return param{std::to_string(value)};
        }
        case data_type::string:
            return param{std::string(text_in(s->buffer.data(), s->buffer.size()))};
        case data_type::long_raw:
        case data_type::long_varraw: {
            const std::span<const char> bytes = raw_value(*s);
            return param{.value = std::string(bytes.begin(), bytes.end()),
                         .binary = true,
                         .type = bytea_oid};
        }
    }
    return std::nullopt;
}

std::span<const char> pg_client::raw_value(const scalar_bind& bind) {
    std::uint32_t length = 0;
    if ((bind.indicator != nullptr && *bind.indicator == -1) ||
        bind.buffer.size() < sizeof length) {
        return {};
    }
    std::memcpy(&length, bind.buffer.data(), sizeof length);
    length = std::min<std::uint32_t>(
        length, static_cast<std::uint32_t>(bind.buffer.size() - sizeof length));
    return {reinterpret_cast<const char*>(bind.buffer.data()) + sizeof length, length};
}

std::optional<std::string> pg_client::bound_literal(std::string_view name) {
    auto value = bound_param(name);
    if (!value) {
        return std::nullopt;
    }
    if (value->is_null) {
        return "NULL";
    }
    auto literal = value->binary ? conn_.bytea_literal(value->value) : conn_.literal(value->value);
    return literal.value_or("");
}

void pg_client::write_integer(std::string_view name, std::int32_t value) {
    const scalar_bind* s = find_scalar(name);
    if (s != nullptr && s->type == data_type::integer && s->buffer.size() >= sizeof value) {
        std::memcpy(s->buffer.data(), &value, sizeof value);
    }
}

void pg_client::write_text(std::string_view name, std::string_view value) {
    const scalar_bind* s = find_scalar(name);
    if (s == nullptr || s->buffer.empty()) {
        return;
    }
    // Output buffers are the gateway's: cut to fit, never past them.
    const std::size_t kept = std::min(value.size(), s->buffer.size() - 1);
    std::memcpy(s->buffer.data(), value.data(), kept);
    s->buffer[kept] = std::byte{0};
    if (s->indicator != nullptr) {
        *s->indicator = 0;
    }
}

void pg_client::deliver_row(const PGresult* r, int first_column, bool binary) {
    for (const auto& d : defines_) {
        const int column = first_column + d.position - 1;
        if (d.position < 1 || column >= PQnfields(r)) {
            continue;
        }
        const bool is_null = PQgetisnull(r, 0, column) != 0;
        const std::string_view value(PQgetvalue(r, 0, column),
                                     static_cast<std::size_t>(PQgetlength(r, 0, column)));
        std::size_t kept = 0;
        if (d.type == data_type::long_raw ||
            (binary && d.type != data_type::integer && d.type != data_type::string)) {
            kept = std::min(value.size(), d.buffer.size());
            std::memcpy(d.buffer.data(), value.data(), kept);
        } else if (d.type == data_type::integer && d.buffer.size() >= sizeof(std::int32_t)) {
            const auto number =
                static_cast<std::int32_t>(std::strtol(std::string(value).c_str(), nullptr, 10));
            std::memcpy(d.buffer.data(), &number, sizeof number);
            kept = sizeof number;
        } else if (!d.buffer.empty()) {
            kept = std::min(value.size(), d.buffer.size() - 1);
            std::memcpy(d.buffer.data(), value.data(), kept);
            d.buffer[kept] = std::byte{0};
        }
        if (d.indicator != nullptr) {
            *d.indicator = is_null ? -1 : 0;
        }
        if (d.returned_length != nullptr) {
            *d.returned_length = static_cast<std::uint16_t>(std::min<std::size_t>(kept, 65535));
        }
        if (d.return_code != nullptr) {
            *d.return_code = 0;
        }
    }
}

int pg_client::oexec(cursor_area& cda) {
    if (!parsed_) {
        return fail(cda, no_statement);
    }
    switch (statement_.kind) {
        case statement_kind::start_date:
        case statement_kind::session_user:
        case statement_kind::clock:
        case statement_kind::upload_sequence:
        case statement_kind::document_select:
        case statement_kind::document_row:
            return run_select(cda, false);
        case statement_kind::cgi_env:
            return run_cgi_env(cda);
        case statement_kind::describe:
            return run_describe(cda);
        case statement_kind::call:
            return run_call(cda);
        case statement_kind::generic_arg:
            return run_generic_arg(cda);
        case statement_kind::get_page:
            return run_get_page(cda);
        case statement_kind::document_insert:
            return run_document_insert(cda);
        case statement_kind::timing_insert:
            return run_timing_insert(cda);
        case statement_kind::reset_package:
            return run_reset(cda);
        case statement_kind::native:
            return run_text(cda, false);
        case statement_kind::written:
            return run_written(cda, false);
    }
    return fail(cda, no_statement);
}

int pg_client::oexfet(cursor_area& cda) {
    if (!parsed_) {
        return fail(cda, no_statement);
    }
    switch (statement_.kind) {
        case statement_kind::start_date:
        case statement_kind::session_user:
        case statement_kind::clock:
        case statement_kind::upload_sequence:
            return run_select(cda, true);
        case statement_kind::document_select:
        case statement_kind::document_row:
            return run_document_select(cda);
        case statement_kind::native:
            return run_text(cda, true);
        case statement_kind::written:
            if (statement_.form == written_form::plain) {
                return run_written(cda, true);
            }
            break;
        case statement_kind::cgi_env:
        case statement_kind::describe:
        case statement_kind::call:
        case statement_kind::generic_arg:
        case statement_kind::get_page:
        case statement_kind::document_insert:
        case statement_kind::timing_insert:
        case statement_kind::reset_package:
            break;
    }
    // Blocks and inserts return no rows.
    if (const int rc = oexec(cda); rc != 0) {
        return rc;
    }
    return fail(cda, no_data_found);
}

void pg_client::leave_idle() {
    if (!idle_) {
        return;
    }
    idle_ = false;
    if (!generation_readable_) {
        conn_.send_ahead({"BEGIN"}, nullptr);
        return;
    }
    // NULL while the trigger that moves the generation is missing.
    conn_.send_ahead(
        {"BEGIN", "SELECT owa.ddl_generation()::text"}, [this](const std::vector<result>& results) {
            std::optional<std::string> generation;
            if (results.size() == 2 && !failed(results[1].get()) &&
                PQntuples(results[1].get()) == 1 && PQgetisnull(results[1].get(), 0, 0) == 0) {
                generation = PQgetvalue(results[1].get(), 0, 0);
            }
            descriptions_.start_request(std::move(generation));
        });
}

int pg_client::end_transaction(logon_area& lda, const char* statement) {
    cursor_area scratch;
    if (!conn_.is_open()) {
        return lda.rc = fail(scratch, not_logged_on);
    }
    if (idle_) {
        return lda.rc = 0;  // no statement since: nothing to end
    }
    // The next statement opens the next transaction (leave_idle).
    idle_ = true;
    result r = conn_.exec(statement);
    if (failed(r.get())) {
        idle_ = !conn_.in_transaction();  // the statement may never have run
        return lda.rc = fail_result(scratch, r.get());
    }
    return lda.rc = 0;
}

int pg_client::ocom(logon_area& lda) {
    return end_transaction(lda, "COMMIT");
}

int pg_client::orol(logon_area& lda) {
    page_.clear();
    return end_transaction(lda, "ROLLBACK");
}

int pg_client::commit_and_reset(logon_area& lda, cursor_area& cda,
                                const statement& reset_statement) {
    if (reset_statement.kind != statement_kind::reset_package) {
        return client::commit_and_reset(lda, cda, reset_statement);
    }
    if (!conn_.is_open()) {
        return lda.rc = fail(cda, not_logged_on);
    }
    bool commit_failed = false;
    const int rc = reset_session(cda, idle_ ? "" : "COMMIT; ", &commit_failed);
    lda.rc = commit_failed ? rc : 0;
    return rc;
}

int pg_client::oclose(cursor_area& cda) {
    parsed_ = false;
    scalars_.clear();
    arrays_.clear();
    defines_.clear();
    pieces_.clear();
    return cda.rc = 0;
}

int pg_client::ologof(logon_area& lda) {
    conn_.close();
    idle_ = false;
    parsed_ = false;
    described_.reset();
    descriptions_.clear();
    generation_readable_ = false;
    page_.clear();
    pieces_.clear();
    return lda.rc = 0;
}

std::string pg_client::server_encoding() const {
    return conn_.server_encoding();
}

std::string pg_client::oerhms(logon_area&, int code) {
    if (code != 0 && code == last_code_) {
        return last_text_;
    }
    return standard_message(code);
}

}  // namespace pg
}  // namespace kestrel::db
