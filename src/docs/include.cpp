// include.cpp - the include road: a request that is neither a procedure nor a
// stored document. HTML text (stored or from a mapped directory) is sent with
// its ORACLE blocks replaced by their pages; other files are streamed as they
// are, or gzip-compressed when "name.gz" is asked for and only "name" exists.
#include "docs/include.hpp"

#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include "config/mime.hpp"
#include "db/binds.hpp"
#include "db/errors.hpp"
#include "db/query.hpp"
#include "docs/document_table.hpp"
#include "docs/include_block.hpp"
#include "docs/include_tags.hpp"
#include "docs/request_file.hpp"
#include "frame/diagnostics.hpp"
#include "frame/gzip_stream.hpp"
#include "frame/pool.hpp"
#include "frame/text_encoding.hpp"
#include "frame/wrb.hpp"
#include "timing/timing.hpp"

namespace kestrel {
namespace {

constexpr std::size_t include_piece_size = 65536;
constexpr std::size_t file_block_size = 4096;
constexpr const char* header_sent_statement = "select owa.header_sent()";

void client_write(request_ctx& ctx, std::string_view text) {
    if (!text.empty()) {
        WRBClientWrite(ctx.wrb_handle, text.data(), text.size());
    }
}

// The name as one log line: control characters cannot forge another.
std::string loggable(std::string_view name) {
    std::string text(name);
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
            c = '?';
        }
    }
    return text;
}

void answer_not_found(request_ctx& ctx) {
    Message(ctx, "URL Not Found: no procedure, document or file named '%s'",
            loggable(ctx.procedure_name).c_str());
    WRBReturnHTTPError(ctx.wrb_handle, 404, "Not found", 1);
}

// Appends every piece of column 1 of the row just fetched to a growing
// request-pool text. Returns it with its length, null when no byte arrived.
char* gather_long_column(request_ctx& ctx, std::span<std::byte> piece, std::size_t& total) {
    char* text = nullptr;
    total = 0;
    ctx.db->plan_oflng(ctx.cda, 1, 0, SIZE_MAX);
    for (;;) {
        std::size_t returned = 0;
        if (ctx.db->oflng(ctx.cda, 1, piece, total, returned) != 0) {
            die_with_cursor_error(ctx);
        }
        if (returned == 0) {
            return text;
        }
        text = static_cast<char*>(_xheap_realloc(ctx, text, total + returned + 1));
        std::memcpy(text + total, piece.data(), returned);
        total += returned;
        text[total] = '\0';
    }
}

// Reads a whole include file into the request pool; null when the request
// names no readable file inside the mapped directories.
char* read_include_file(request_ctx& ctx) {
    const std::optional<std::string> path = request_file_path(ctx);
    if (!path) {
        return nullptr;
    }
    const file_handle file = open_regular_file(*path);
    if (!file) {
        return nullptr;
    }
    const std::optional<std::size_t> size = file_size(file.get());
    if (!size) {
        return nullptr;
    }
    if (*size >= static_cast<std::size_t>(INT_MAX)) {
        die(ctx, "File '%s' is too large to include", path->c_str());
    }
    char* text = static_cast<char*>(_xheap_alloc(ctx, *size + 1));
    if (std::fread(text, 1, *size, file.get()) < *size) {
        die(ctx, "Error reading %d bytes from file '%s'", static_cast<int>(*size), path->c_str());
    }
    text[*size] = '\0';
    return text;
}

// Copies a file to the client in blocks, compressed when gz is not null.
// Returns the number of bytes read.
std::size_t stream_file(request_ctx& ctx, std::FILE* file, gz_stream* gz) {
    std::array<char, file_block_size> block{};
    std::size_t total = 0;
    for (;;) {
        const std::size_t n = std::fread(block.data(), 1, block.size(), file);
        total += n;
        if (n == 0) {
            return total;
        }
        if (gz != nullptr) {
            wrbgzwrite(ctx, gz, block.data(), n);
        } else {
            WRBClientWrite(ctx.wrb_handle, block.data(), n);
        }
    }
}

// The toolkit gives body output a default header when none was written; the
// include road has sent its own, so the blocks' pages must not bring one.
void announce_header_sent(request_ctx& ctx) {
    const int rc = execute_immediate(ctx, {db::statement_kind::native, header_sent_statement});
    KESTREL_TRACE(ctx, "%s: %d", header_sent_statement, rc);
}

void run_include_loop(request_ctx& ctx, std::string_view text) {
    std::size_t pos = 0;
    bool header_announced = false;
    for (;;) {
        const std::string_view rest = text.substr(pos);
        const std::size_t open = findOracleTag(rest, false);
        const std::size_t close = open == no_tag ? no_tag : findOracleTag(rest.substr(open), true);
        const std::size_t open_end = open == no_tag ? no_tag : rest.find('>', open);
        if (close == no_tag || open_end >= open + close) {
            client_write(ctx, rest);
            return;
        }
        const std::size_t close_lt = open + close;
        client_write(ctx, rest.substr(0, open));
        if (!header_announced) {
            announce_header_sent(ctx);
            header_announced = true;
        }
        owassi_do_block(ctx, rest.substr(open_end + 1, close_lt - open_end - 1));
        const std::size_t close_end = rest.find('>', rest.find('/', close_lt));
        if (close_end == std::string_view::npos) {
            return;
        }
        pos += close_end + 1;
    }
}

}  // namespace

char* get_image(request_ctx& ctx) {
    const std::string table = document_table(ctx, "image");
    const std::uint32_t start = get_hsecs(ctx);
    auto* piece = static_cast<std::byte*>(_xheap_alloc(ctx, include_piece_size));
    if (piece == nullptr) {
        die(ctx, "Unable to allocate %d bytes", static_cast<int>(include_piece_size));
    }
    const std::string statement = "select image from " + table + " where name = :name";
    if (ctx.db->oparse(ctx.cda, {.kind = db::statement_kind::document_select,
                                 .text = statement,
                                 .relation = table}) != 0) {
        if (is_document_absent(ctx.cda.rc)) {
            return nullptr;
        }
        die_with_cursor_error(ctx);
    }
    char* name = _xheap_strdup(ctx, ctx.procedure_name);
    if (sbind(ctx, ":name", name) != 0) {
        die_with_cursor_error(ctx);
    }
    std::int16_t indicator = 0;
    std::uint16_t returned_length = 0;
    std::uint16_t column_rc = 0;
    const db::column_define image{1,
                                  {piece, include_piece_size},
                                  db::data_type::long_raw,
                                  &indicator,
                                  &returned_length,
                                  &column_rc};
    if (ctx.db->odefin(ctx.cda, image) != 0) {
        die_with_cursor_error(ctx);
    }
    if (ctx.db->oexfet(ctx.cda) != 0) {
        if (is_document_absent(ctx.cda.rc)) {
            return nullptr;
        }
        die_with_cursor_error(ctx);
    }
    std::size_t total = 0;
    char* text = gather_long_column(ctx, {piece, include_piece_size}, total);
    log_timings(ctx, start, get_hsecs(ctx), "GET-IMAGE");
    KESTREL_TRACE(ctx, "stored include text of %zu bytes", total);
    return text;
}

char* get_filedata(request_ctx& ctx) {
    if (char* stored = get_image(ctx)) {
        return stored;
    }
    if (char* text = read_include_file(ctx)) {
        return text;
    }
    wrbprintf(ctx, "Content-type: text/html\n");
    answer_not_found(ctx);
    return nullptr;
}

void compressed_filedata(request_ctx& ctx, const char* mime_type) {
    std::optional<std::string> path = request_file_path(ctx);
    if (path && path->size() >= 3) {
        path->resize(path->size() - 3);
    }
    const file_handle file = path ? open_regular_file(*path) : file_handle{};
    if (!file) {
        answer_not_found(ctx);
        return;
    }
    begin_streaming();
    wrbprintf(ctx, "Content-type: %s\n\n", mime_type);
    const std::size_t slash =
        path->rfind(ctx.config.dir_separator.empty() ? '/' : ctx.config.dir_separator[0]);
    const std::string name = slash == std::string::npos ? *path : path->substr(slash + 1);
    gz_stream* gz = wrbgzopen(ctx, name.c_str());
    if (gz == nullptr) {
        return;
    }
    stream_file(ctx, file.get(), gz);
    wrbgzclose(ctx, gz);
}

// A file as it is, with its length announced: a client can tell a cut
// transfer from a whole one.
void send_plain_file(request_ctx& ctx, const std::string& path, std::FILE* file,
                     const char* mime_type) {
    const std::optional<std::size_t> size = file_size(file);
    begin_streaming();
    if (!size) {
        wrbprintf(ctx, "Content-type: %s\n\n", mime_type);
        stream_file(ctx, file, nullptr);
        return;
    }
    wrbprintf(ctx, "Content-type: %s\nContent-Length: %zu\n\n", mime_type, *size);
    const std::size_t sent = stream_file(ctx, file, nullptr);
    if (sent != *size) {
        die(ctx, "File '%s' changed while it was sent: %zu of %zu bytes", path.c_str(), sent,
            *size);
    }
}

void put_filedata(request_ctx& ctx, const char* mime_type) {
    const std::optional<std::string> path = request_file_path(ctx);
    if (!path) {
        answer_not_found(ctx);
        return;
    }
    if (const file_handle file = open_regular_file(*path)) {
        send_plain_file(ctx, *path, file.get(), mime_type);
        return;
    }
    if (path->ends_with(".gz")) {
        compressed_filedata(ctx, mime_type);
        return;
    }
    answer_not_found(ctx);
}

void owassi(request_ctx& ctx) {
    const char* mime_type = MyGetReqMimeType(ctx);
    KESTREL_TRACE(ctx, "include road for %s as %s", ctx.procedure_name.c_str(), mime_type);
    if (std::strcmp(mime_type, "text/html") != 0) {
        const std::uint32_t start = get_hsecs(ctx);
        put_filedata(ctx, mime_type);
        log_timings(ctx, start, get_hsecs(ctx), "GET-IMAGE-FILE");
        return;
    }
    const std::uint32_t start = get_hsecs(ctx);
    const char* text = get_filedata(ctx);
    if (text == nullptr) {
        return;
    }
    // The blocks' output is text in the database's character set.
    client_write(ctx, "Content-type: " + with_charset(ctx, "text/html") + "\n\n");
    run_include_loop(ctx, text);
    log_timings(ctx, start, get_hsecs(ctx), "PROCESS-SSI");
}

}  // namespace kestrel
