// download.cpp - "/owai/" and "/owaigz/" requests, and procedure requests
// that name no procedure: the stored document of that name, sent as stored
// or gzip-compressed, piece by piece through one reused buffer so that a
// document of any size costs one piece of memory.
#include "docs/download.hpp"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "config/mime.hpp"
#include "db/binds.hpp"
#include "db/errors.hpp"
#include "docs/document_table.hpp"
#include "docs/include.hpp"
#include "docs/request_file.hpp"
#include "docs/stored_file.hpp"
#include "frame/diagnostics.hpp"
#include "frame/gzip_stream.hpp"
#include "frame/pool.hpp"
#include "frame/response.hpp"
#include "frame/wrb.hpp"
#include "timing/timing.hpp"

namespace kestrel {
namespace {

constexpr int default_piece_size = 65536;
constexpr std::size_t text_column_size = 255;

// The fetched row: column 1 arrives in pieces, the other two whole.
struct document_row {
    std::byte* piece = nullptr;  // piece_size bytes, plus one for a path's terminator
    std::size_t piece_size = 0;
    std::array<char, text_column_size> mime_type{};
    std::array<char, text_column_size> size_text{};
    std::array<std::int16_t, 3> indicators{};
    std::array<std::uint16_t, 3> lengths{};
    std::array<std::uint16_t, 3> column_rcs{};
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

// A failed lookup: absent documents outside the document prefixes go to the
// include road (true); under them they answer 404; everything else ends the
// request.
bool hand_to_include(request_ctx& ctx) {
    if (!is_document_absent(ctx.cda.rc)) {
        die_with_cursor_error(ctx);
    }
    if (!is_document_request(ctx)) {
        return true;
    }
    die_status(ctx, 404, "%s", oerr_cda(ctx).c_str());
}

void define_columns(request_ctx& ctx, document_row& row) {
    const std::array<db::column_define, 3> defines{{
        {1,
         {row.piece, row.piece_size},
         db::data_type::long_raw,
         &row.indicators[0],
         &row.lengths[0],
         &row.column_rcs[0]},
        {2, std::as_writable_bytes(std::span(row.mime_type)), db::data_type::string,
         &row.indicators[1], &row.lengths[1], &row.column_rcs[1]},
        {3, std::as_writable_bytes(std::span(row.size_text)), db::data_type::string,
         &row.indicators[2], &row.lengths[2], &row.column_rcs[2]},
    }};
    for (const db::column_define& define : defines) {
        if (ctx.db->odefin(ctx.cda, define) != 0) {
            die_with_cursor_error(ctx);
        }
    }
}

// Looks the document up and fetches its row. False when the request went on
// to the include road instead.
bool fetch_document(request_ctx& ctx, const std::string& table, char* name, document_row& row) {
    const std::string statement =
        "select image, mime_type, img_size from " + table + " where name = :name";
    if (ctx.db->oparse(ctx.cda, statement) != 0) {
        return !hand_to_include(ctx);
    }
    if (sbind(ctx, ":name", name) != 0) {
        die_with_cursor_error(ctx);
    }
    define_columns(ctx, row);
    if (ctx.db->oexfet(ctx.cda) != 0) {
        return !hand_to_include(ctx);
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

// Sends one piece to the client, compressed when gzip is set.
void send_piece(request_ctx& ctx, bool gzip, gz_stream* gz, const std::byte* data,
                std::size_t length) {
    if (gzip) {
        wrbgzwrite(ctx, gz, data, length);
        return;
    }
    WRBClientWrite(ctx.wrb_handle, data, length);
}

// The transfer loop from offset on: pieces from the file or the long column
// until the first empty one. Nothing past the announced length is sent (when
// one was announced); returns the offset the document ended at.
std::uint64_t transfer(request_ctx& ctx, document_row& row, std::FILE* file, gz_stream* gz,
                       std::optional<std::uint64_t> announced, std::size_t offset) {
    const std::span<std::byte> piece{row.piece, row.piece_size};
    for (;;) {
        std::size_t returned = 0;
        if (file != nullptr) {
            returned = std::fread(piece.data(), 1, piece.size(), file);
        } else if (ctx.db->oflng(ctx.cda, 1, piece, offset, returned) != 0) {
            die_with_cursor_error(ctx);
        }
        if (returned == 0) {
            return offset;
        }
        std::size_t sendable = returned;
        if (announced) {
            sendable = static_cast<std::size_t>(std::min<std::uint64_t>(
                returned, *announced - std::min<std::uint64_t>(*announced, offset)));
        }
        send_piece(ctx, gz != nullptr, gz, piece.data(), sendable);
        offset += returned;
    }
}

// The first pieces of a stored document, up to hold_memory_max bytes. The
// stored size is no measure of the content, so a document short enough to
// be read ahead announces its real length.
std::string read_ahead(request_ctx& ctx, document_row& row, bool& complete) {
    std::string head;
    complete = false;
    while (head.size() < hold_memory_max) {
        std::size_t returned = 0;
        if (ctx.db->oflng(ctx.cda, 1, {row.piece, row.piece_size}, head.size(), returned) != 0) {
            die_with_cursor_error(ctx);
        }
        if (returned == 0) {
            complete = true;
            break;
        }
        head.append(reinterpret_cast<const char*>(row.piece), returned);
    }
    return head;
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
    return ctx.default_mime_type ? ctx.default_mime_type->c_str() : "application/octet-stream";
}

std::string document_name(const request_ctx& ctx, bool gzip) {
    std::string name = ctx.procedure_name.substr(0, field_max);
    if (gzip && name.size() > 3 && name.ends_with(".gz")) {
        name.resize(name.size() - 3);
    }
    return name;
}

void return_image(request_ctx& ctx) {
    const std::string table = document_table(ctx, "image");
    const std::uint32_t start = get_hsecs(ctx);

    document_row row;
    row.piece_size = static_cast<std::size_t>(blob_piece_size(ctx));
    row.piece = static_cast<std::byte*>(_xheap_alloc(ctx, row.piece_size + 1));
    if (row.piece == nullptr) {
        die(ctx, "Unable to allocate %d bytes", static_cast<int>(row.piece_size));
    }

    const bool gzip = ctx.service_type == "/owaigz/";
    char* name = _xheap_strdup(ctx, document_name(ctx, gzip));
    if (!fetch_document(ctx, table, name, row)) {
        owassi(ctx);
        return;
    }
    row.mime_type.back() = '\0';
    row.size_text.back() = '\0';
    const bool in_file = std::atoi(row.size_text.data()) < 0;
    const char* type = choose_document_mime_type(ctx, row.mime_type.data(), gzip);
    KESTREL_TRACE(ctx, "document %s as %s%s", name, type, in_file ? " from a file" : "");
    file_handle file;
    if (in_file) {
        const std::string path = confined_stored_path(ctx, stored_path(ctx, name, row));
        file = open_regular_file(path);
        if (!file) {
            die(ctx, "Unable to Open %s", path.c_str());
        }
    }
    std::optional<std::uint64_t> length;
    std::string head;
    bool complete = false;
    if (file) {
        length = file_size(file.get());
    } else if (!gzip) {
        head = read_ahead(ctx, row, complete);
        length = complete ? std::optional<std::uint64_t>(head.size()) : std::nullopt;
    }
    begin_streaming();
    if (length) {
        wrbprintf(ctx, "Content-type: %s\nContent-Length: %llu\n\n", type,
                  static_cast<unsigned long long>(*length));
    } else {
        wrbprintf(ctx, "Content-type: %s\n\n", type);
    }
    gz_stream* gz = gzip ? wrbgzopen(ctx, name) : nullptr;
    if (!head.empty()) {
        send_piece(ctx, false, nullptr, reinterpret_cast<const std::byte*>(head.data()),
                   head.size());
    }
    if (complete) {
        log_timings(ctx, start, get_hsecs(ctx), "GET-IMAGE");
        return;
    }
    const std::uint64_t sent = transfer(ctx, row, file.get(), gz, length, head.size());
    if (gzip) {
        wrbgzclose(ctx, gz);
    }
    if (length && sent != *length) {
        die(ctx, "Document '%s' changed while it was sent: %llu bytes, not the %llu announced",
            name, static_cast<unsigned long long>(sent), static_cast<unsigned long long>(*length));
    }
    log_timings(ctx, start, get_hsecs(ctx), "GET-IMAGE");
}

}  // namespace kestrel
