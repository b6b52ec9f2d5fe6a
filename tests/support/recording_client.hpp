// recording_client.hpp - a db::client test double for unit tests.
// It records every operation (statement texts, binds and the values they
// hold when the statement runs) and replays scripted results, so
// code that talks to the database can be tested without a server.
//
// Rules of the double:
// - Bind names are compared with any leading ':' dropped, so "ndata" in a
//   script or lookup also matches a bind made as ":ndata".
// - A statement is scripted by the first script (in registration order) whose
//   key occurs in its text; an unscripted statement parses, binds and executes
//   with rc 0 and delivers no row.
// - Each execution (oexec or oexfet) of a scripted statement takes the
//   script's next outcome; after the last one, the last repeats. A script
//   without outcomes behaves as one default outcome (rc 0, no outputs).
// - oexfet returns the outcome's rc when it is non-zero; otherwise it
//   delivers the outcome's row into the defines, or returns 1403 when the
//   outcome has no row. A long_raw define receives the first piece of its
//   column; oflng then serves the column's bytes from any offset.
// - The double starts "logged on" so code can be driven without a logon;
//   set connected = false to model no session. While not connected, every
//   cursor operation fails. ologof disconnects, a successful olog connects.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db_interface/client.hpp"

namespace kestrel::test {

// One bind as seen at bind time or when the statement ran.
struct bind_record {
    std::string name{};  // exactly as bound (":ndata" or "ndata")
    db::data_type type = db::data_type::string;
    bool is_array = false;
    std::int32_t integer = 0;  // integer binds
    std::string text{};        // string: text up to its NUL; long_varraw: the bytes
    // Arrays: the current_count elements (each up to its NUL) and their
    // actual lengths.
    std::vector<std::string> elements{};
    std::vector<std::uint16_t> lengths{};
};

// The binds of one execution, read when the statement ran.
struct execution_record {
    std::vector<bind_record> binds{};

    // The bind of that name (leading ':' ignored), or null.
    const bind_record* find(std::string_view name) const;
};

struct statement_record {
    db::statement_kind kind = db::statement_kind::native;
    std::string text{};
    std::vector<bind_record> binds{};  // in bind order, as bound
    std::vector<execution_record> executions{};

    const bind_record* find_bind(std::string_view name) const;
};

// The columns of one fetched row, column 1 first; nullopt is NULL.
using row_values = std::vector<std::optional<std::string>>;

// What one execution of a scripted statement does.
struct outcome {
    int rc = 0;
    std::map<std::string, std::int32_t> integers{};  // integer output binds
    std::map<std::string, std::string> texts{};      // string output binds (cut to fit)
    // Output array binds: the elements delivered into the slots (each cut to
    // element size - 1), with their lengths; current_count becomes their number.
    std::map<std::string, std::vector<std::string>> arrays{};
    std::map<std::string, std::int16_t> indicators{};  // e.g. -1 for a NULL output
    std::optional<row_values> row{};                   // the fetched row; none: oexfet gives 1403
};

struct statement_script {
    int parse_rc = 0;
    std::map<std::string, int> bind_rc{};  // per bind name
    std::vector<outcome> outcomes{};
    std::size_t used = 0;  // outcomes taken so far
};

class recording_client final : public db::client {
  public:
    // Everything that happened, in order: operation names ("olog", "oparse",
    // "obndrv", "obndra", "odefin", "oexec", "oexfet", "oflng", "ocom",
    // "orol", "oclose", "ologof", "oerhms").
    std::vector<std::string> calls{};
    std::vector<db::logon_request> logons{};
    std::vector<statement_record> statements{};  // one per oparse

    // Fault injection: the fail_at-th cursor call (1-based, counted over the
    // client's life) fails with injected_failure; 0 injects nothing.
    static constexpr int injected_failure = 3113;
    std::size_t fail_at = 0;
    std::size_t cursor_calls = 0;

    // Scripted results of logon-level calls.
    int olog_rc = 0;
    int oopen_rc = 0;
    bool connected = true;
    // oerhms texts per code; an unlisted code reads "error <code>".
    std::map<int, std::string> messages{};

    // The script for statements whose text contains key, added on first use.
    statement_script& on(std::string key);

    // The texts of every parsed statement, in order.
    std::vector<std::string> statement_texts() const;
    // How often an operation was called.
    std::size_t count(std::string_view call) const;

    int olog(db::logon_area& lda, const db::logon_request& who) override;
    int oopen(db::cursor_area& cda, db::logon_area& lda) override;
    using client::oparse;
    int oparse(db::cursor_area& cda, const db::statement& what) override;
    int obndrv(db::cursor_area& cda, const db::scalar_bind& bind) override;
    int obndra(db::cursor_area& cda, const db::array_bind& bind) override;
    int odefin(db::cursor_area& cda, const db::column_define& define) override;
    int oexec(db::cursor_area& cda) override;
    int oexfet(db::cursor_area& cda) override;
    int oflng(db::cursor_area& cda, int position, std::span<std::byte> piece, std::size_t offset,
              std::size_t& returned) override;
    int ocom(db::logon_area& lda) override;
    int orol(db::logon_area& lda) override;
    int oclose(db::cursor_area& cda) override;
    int ologof(db::logon_area& lda) override;
    std::string oerhms(db::logon_area& lda, int code) override;

  private:
    struct live_statement {
        statement_script* script = nullptr;
        std::vector<db::scalar_bind> scalars;
        std::vector<db::array_bind> arrays;
        std::vector<db::column_define> defines;
        std::optional<row_values> row;
    };

    int cursor_result(db::cursor_area& cda, int rc);
    // Records the call; the code for a cursor call without session or parse.
    int parsed_cursor(const char* call);
    int bind_refusal(std::string_view name) const;
    const outcome& next_outcome();
    execution_record read_binds() const;
    void write_outputs(const outcome& out);

    std::deque<std::pair<std::string, statement_script>> scripts_{};
    live_statement live_;
    bool parsed_ = false;
};

}  // namespace kestrel::test
