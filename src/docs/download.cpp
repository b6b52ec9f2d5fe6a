// download.cpp - "/owai/" and "/owaigz/" requests, procedure requests that
// name no procedure, and downloads a procedure asked for: a stored document,
// sent as stored or gzip-compressed, piece by piece through one reused
// buffer so that a document of any size costs one piece of memory. The
// browser's conditional and Range headers decide how much of it goes out.
#include "docs/download.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <string>

#include "config/mime.hpp"
#include "db/binds.hpp"
#include "db/errors.hpp"
#include "docs/byte_range.hpp"
#include "docs/document_headers.hpp"
#include "docs/document_table.hpp"
#include "docs/include.hpp"
#include "docs/request_file.hpp"
#include "docs/stored_file.hpp"
#include "frame/diagnostics.hpp"
#include "frame/gzip_stream.hpp"
#include "frame/pool.hpp"
#include "frame/wrb.hpp"
#include "timing/timing.hpp"

namespace kestrel {
namespace {

constexpr int default_piece_size = 65536;
constexpr std::size_t text_column_size = 255;
constexpr std::size_t number_column_size = 32;

// The fetched row: column 1 arrives in pieces, the others whole.
struct document_row {
    std::byte* piece = nullptr;  // piece_size bytes, plus one for a path's terminator
    std::size_t piece_size = 0;
    std::array<char, text_column_size> mime_type{};
    std::array<char, text_column_size> size_text{};
    std::array<char, number_column_size> length_text{};
    std::array<char, number_column_size> modified_text{};
    std::array<std::int16_t, 5> indicators{};
    std::array<std::uint16_t, 5> lengths{};
    std::array<std::uint16_t, 5> column_rcs{};
};

int blob_piece_size(request_ctx& ctx) {
    const char* value = WRBGetConfigVal(ctx.wrb_handle, "blobPieceSize");
    if (value == nullptr) {
        return default_piece_size;
    }
    const int size = std::atoi(value);
    return size > 0 ? size : default_piece_size;
}

bool is_document_request(const request_ctx& ctx) {
    return ctx.service_type == "/owai/" || ctx.service_type == "/owaigz/";
}

// A failed lookup: absent documents go to the include road (true) when the
// source allows it, else answer 404; everything else ends the request.
bool hand_to_include(request_ctx& ctx, const document_source& source) {
    if (!is_document_absent(ctx.cda.rc)) {
        die_with_cursor_error(ctx);
    }
    if (source.may_fall_back) {
        return true;
    }
    die_status(ctx, 404, "%s", oerr_cda(ctx).c_str());
}

void define_columns(request_ctx& ctx, document_row& row) {
    const auto text = [&row](int position, std::span<char> buffer) {
        const auto i = static_cast<std::size_t>(position - 1);
        return db::column_define{position,
                                 std::as_writable_bytes(buffer),
                                 db::data_type::string,
                                 &row.indicators.at(i),
                                 &row.lengths.at(i),
                                 &row.column_rcs.at(i)};
    };
    const std::array<db::column_define, 5> defines{{
        {1,
         {row.piece, row.piece_size},
         db::data_type::long_raw,
         &row.indicators[0],
         &row.lengths[0],
         &row.column_rcs[0]},
        text(2, row.mime_type),
        text(3, row.size_text),
        text(4, row.length_text),
        text(5, row.modified_text),
    }};
    for (const db::column_define& define : defines) {
        if (ctx.db->odefin(ctx.cda, define) != 0) {
            die_with_cursor_error(ctx);
        }
    }
}

// Looks the document up and fetches its row. False when it is absent and
// the request may go on to the include road instead.
bool fetch_document(request_ctx& ctx, const document_source& source, char* name,
                    document_row& row) {
    const std::string statement =
        "select image, mime_type, img_size, octet_length(image), last_updated from " +
        source.table + " where name = :name";
    if (ctx.db->oparse(ctx.cda, {.kind = db::statement_kind::document_row,
                                 .text = statement,
                                 .relation = source.table}) != 0) {
        return !hand_to_include(ctx, source);
    }
    if (sbind(ctx, ":name", name) != 0) {
        die_with_cursor_error(ctx);
    }
    define_columns(ctx, row);
    if (ctx.db->oexfet(ctx.cda) != 0) {
        return !hand_to_include(ctx, source);
    }
    return true;
}

// The stored path of a row whose content lies in a file.
std::string stored_path(request_ctx& ctx, const char* name, document_row& row) {
    std::size_t returned = 0;
    if (ctx.db->oflng(ctx.cda, 1, {row.piece, row.piece_size}, 0, returned) != 0) {
        die_with_cursor_error(ctx);
    }
    if (returned >= row.piece_size) {
        die(ctx, "Stored path of document '%s' does not fit in %d bytes", name,
            static_cast<int>(row.piece_size));
    }
    return {reinterpret_cast<const char*>(row.piece), returned};
}

// Sends one piece to the client, compressed when gz is open.
void send_piece(request_ctx& ctx, gz_stream* gz, const std::byte* data, std::size_t length) {
    if (gz != nullptr) {
        wrbgzwrite(ctx, gz, data, length);
        return;
    }
    WRBClientWrite(ctx.wrb_handle, data, length);
}

// Sends count bytes from first, piece by piece: only the pieces that hold
// them are read, from the file or the long column.
void send_slice(request_ctx& ctx, const char* name, document_row& row, std::FILE* file,
                gz_stream* gz, std::uint64_t first, std::uint64_t count) {
    if (file != nullptr && fseeko(file, static_cast<off_t>(first), SEEK_SET) != 0) {
        die(ctx, "Unable to seek in the file of document '%s'", name);
    }
    if (file == nullptr) {
        ctx.db->plan_oflng(ctx.cda, 1, first, count);
    }
    std::uint64_t offset = first;
    const std::uint64_t end = first + count;
    while (offset < end) {
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(row.piece_size, end - offset));
        const std::span<std::byte> piece{row.piece, want};
        std::size_t returned = 0;
        if (file != nullptr) {
            returned = std::fread(piece.data(), 1, piece.size(), file);
        } else if (ctx.db->oflng(ctx.cda, 1, piece, offset, returned) != 0) {
            die_with_cursor_error(ctx);
        }
        if (returned == 0) {
            die(ctx, "Document '%s' changed while it was sent: %llu bytes, not the %llu announced",
                name, static_cast<unsigned long long>(offset - first),
                static_cast<unsigned long long>(count));
        }
        send_piece(ctx, gz, piece.data(), returned);
        offset += returned;
    }
}

bool is_head_request(request_ctx& ctx) {
    const char* method = WRBGetEnvironmentVariable(ctx.wrb_handle, "REQUEST_METHOD");
    return method != nullptr && std::strcmp(method, "HEAD") == 0;
}

const char* request_header(request_ctx& ctx, const char* name) {
    return WRBGetEnvironmentVariable(ctx.wrb_handle, name);
}

// <service>_cache_control, else no-cache: a browser may keep a copy but
// asks whether it is still current (a 304 costs no body).
std::string cache_control(request_ctx& ctx) {
    const char* value = WRBGetConfigVal(ctx.wrb_handle, ctx.service_name + "_cache_control");
    return value != nullptr ? value : "no-cache";
}

// What the header says of the row (the size of a file row comes later).
document_head describe(request_ctx& ctx, const document_source& source, document_row& row) {
    row.mime_type.back() = '\0';
    row.size_text.back() = '\0';
    row.length_text.back() = '\0';
    row.modified_text.back() = '\0';
    document_head head;
    head.type = source.type_as_stored
                    ? row.mime_type.data()
                    : choose_document_mime_type(ctx, row.mime_type.data(), source.gzip);
    head.size = std::strtoull(row.length_text.data(), nullptr, 10);
    head.gzip = source.gzip;
    head.file_name = source.file_name;
    head.cache_control = cache_control(ctx);
    if (row.indicators[4] == 0 && row.modified_text[0] != '\0') {
        head.modified_usec = std::strtoll(row.modified_text.data(), nullptr, 10);
    }
    return head;
}

// The part of the document to send: the Range when it applies (never on
// the gzip road, whose bytes are not the stored ones), else all of it.
byte_range requested_range(request_ctx& ctx, const document_head& head) {
    byte_range range{};
    if (!head.gzip && if_range_holds(head, request_header(ctx, "HTTP_IF_RANGE"))) {
        range = parse_byte_range(request_header(ctx, "HTTP_RANGE"), head.size);
    }
    if (range.what == byte_range::kind::whole) {
        range = {byte_range::kind::whole, 0, head.size};
    }
    return range;
}

// The body: the range as stored, or the whole document compressed. When the
// compressor cannot start, the body stays empty rather than go out plain
// under a gzip type.
void send_body(request_ctx& ctx, const char* name, document_row& row, std::FILE* file, bool gzip,
               const byte_range& range) {
    if (!gzip) {
        send_slice(ctx, name, row, file, nullptr, range.first, range.count);
        return;
    }
    gz_stream* gz = wrbgzopen(ctx, name);
    if (gz == nullptr) {
        return;
    }
    send_slice(ctx, name, row, file, gz, range.first, range.count);
    wrbgzclose(ctx, gz);
}

}  // namespace

const char* choose_document_mime_type(request_ctx& ctx, const char* stored, bool gzip) {
    const char* type = stored;
    if (gzip) {
        type = "application/x-gzip";
        if (!isValidMimeType(ctx, type)) {
            logMessage(ctx, "Application/x-gzip needs to be added to mime types", 0);
            type = "application/octet-stream";
        }
    }
    if (isValidMimeType(ctx, type)) {
        return type;
    }
    const char* requested = MyGetReqMimeType(ctx);
    if (std::strcmp(requested, "text/html") != 0) {
        return requested;
    }
    return ctx.config.default_mime_type ? ctx.config.default_mime_type->c_str()
                                        : "application/octet-stream";
}

std::string document_name(const request_ctx& ctx, bool gzip) {
    std::string name = ctx.procedure_name.substr(0, field_max);
    if (gzip && name.size() > 3 && name.ends_with(".gz")) {
        name.resize(name.size() - 3);
    }
    return name;
}

bool send_document(request_ctx& ctx, const document_source& source) {
    const std::uint32_t start = get_hsecs(ctx);
    document_row row;
    row.piece_size = static_cast<std::size_t>(blob_piece_size(ctx));
    row.piece = static_cast<std::byte*>(_xheap_alloc(ctx, row.piece_size + 1));
    if (row.piece == nullptr) {
        die(ctx, "Unable to allocate %d bytes", static_cast<int>(row.piece_size));
    }
    char* name = _xheap_strdup(ctx, source.name);
    if (!fetch_document(ctx, source, name, row)) {
        return false;
    }
    document_head head = describe(ctx, source, row);
    const bool in_file = std::atoi(row.size_text.data()) < 0;
    KESTREL_TRACE(ctx, "document %s as %s%s", name, head.type.c_str(),
                  in_file ? " from a file" : "");
    file_handle file;
    if (in_file) {
        const std::string path = confined_stored_path(ctx, stored_path(ctx, name, row));
        file = open_regular_file(path);
        if (!file) {
            die(ctx, "Unable to Open %s", path.c_str());
        }
        head.size = file_size(file.get()).value_or(0);
    }

    const bool not_modified = is_not_modified(head, request_header(ctx, "HTTP_IF_NONE_MATCH"),
                                              request_header(ctx, "HTTP_IF_MODIFIED_SINCE"));
    const byte_range range = requested_range(ctx, head);
    begin_streaming();
    const std::string header = document_header(head, range, not_modified);
    WRBClientWrite(ctx.wrb_handle, header.data(), header.size());
    const bool has_body = !not_modified && range.what != byte_range::kind::unsatisfiable;
    if (has_body && !is_head_request(ctx)) {
        send_body(ctx, name, row, file.get(), source.gzip, range);
    }
    log_timings(ctx, start, get_hsecs(ctx), "GET-IMAGE");
    return true;
}

void return_image(request_ctx& ctx) {
    document_source source;
    source.table = document_table(ctx, "image");
    source.gzip = ctx.service_type == "/owaigz/";
    source.name = document_name(ctx, source.gzip);
    source.may_fall_back = !is_document_request(ctx);
    if (!send_document(ctx, source)) {
        owassi(ctx);
    }
}

}  // namespace kestrel
