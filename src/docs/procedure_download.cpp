// procedure_download.cpp - downloads asked for by procedures; see
// procedure_download.hpp. The content stays in the database until it is
// sent piece by piece, so a download costs what a stored document costs.
#include "docs/procedure_download.hpp"

#include <array>
#include <cstring>
#include <span>

#include "db/errors.hpp"
#include "docs/document_table.hpp"
#include "docs/download.hpp"
#include "frame/diagnostics.hpp"

namespace kestrel {
namespace {

constexpr const char* download_query = "select kind, name, file_name from owa.get_download()";
// Computed bytes wait here, one row, for the session (dropped with it).
constexpr const char* bytes_table = "pg_temp.owa_download";

struct download_row {
    std::array<char, 16> kind{};
    std::array<char, 256> name{};
    std::array<char, 1024> file_name{};
    std::array<std::int16_t, 3> indicators{};
    std::array<std::uint16_t, 3> lengths{};
    std::array<std::uint16_t, 3> column_rcs{};
};

void fetch_download(request_ctx& ctx, download_row& row) {
    if (ctx.db->oparse(ctx.cda, db::statement_kind::native, download_query) != 0) {
        die_with_cursor_error(ctx);
    }
    const std::array<std::span<char>, 3> buffers{row.kind, row.name, row.file_name};
    for (std::size_t i = 0; i < buffers.size(); ++i) {
        const db::column_define define{
            static_cast<int>(i + 1), std::as_writable_bytes(buffers.at(i)),
            db::data_type::string,   &row.indicators.at(i),
            &row.lengths.at(i),      &row.column_rcs.at(i)};
        if (ctx.db->odefin(ctx.cda, define) != 0) {
            die_with_cursor_error(ctx);
        }
    }
    if (ctx.db->oexfet(ctx.cda) != 0) {
        die_with_cursor_error(ctx);
    }
    for (std::size_t i = 0; i < buffers.size(); ++i) {
        if (row.lengths.at(i) + 1U >= buffers.at(i).size()) {
            die(ctx, "Download name too long (at most %d bytes)",
                static_cast<int>(buffers.at(i).size() - 2));
        }
    }
}

}  // namespace

void send_procedure_download(request_ctx& ctx) {
    download_row row;
    fetch_download(ctx, row);
    const std::string_view kind = row.indicators[0] == 0 ? row.kind.data() : "";
    document_source source;
    source.file_name = row.file_name.data();
    if (kind == "document") {
        source.table = document_table(ctx, "image");
        source.name = row.name.data();
    } else if (kind == "bytes") {
        source.table = bytes_table;
        source.name = row.name.data();
        source.type_as_stored = true;
    } else {
        die(ctx, "The page asks for a download that no owa.download call made");
    }
    send_document(ctx, source);
}

}  // namespace kestrel
