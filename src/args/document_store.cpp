// document_store.cpp - stores one uploaded file while the argument list is
// built: a generated name from the owner's IMG_SEQ, then a row in the
// document table holding the bytes, or a file in <service>_filedir with a
// row pointing at it. The row belongs to the request's transaction.
#include "args/document_store.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "db/binds.hpp"
#include "db/errors.hpp"
#include "db/query.hpp"
#include "db/session.hpp"
#include "frame/diagnostics.hpp"
#include "frame/pool.hpp"
#include "frame/wrb.hpp"

namespace kestrel {

namespace {

constexpr std::size_t name_buffer_size = 25;  // at most 24 characters
constexpr std::size_t write_chunk = 8192;

struct file_closer {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using file_handle = std::unique_ptr<std::FILE, file_closer>;

// The body of a SQL literal: every single quote doubled.
std::string literal_body(std::string_view text) {
    std::string body;
    body.reserve(text.size());
    for (const char c : text) {
        body += c;
        if (c == '\'') {
            body += '\'';
        }
    }
    return body;
}

std::string owner_of(const request_ctx& ctx) {
    const service_entry* service = ctx.service();
    return service != nullptr && service->owa_user ? *service->owa_user : std::string();
}

std::optional<std::string> config_value(request_ctx& ctx, const char* suffix) {
    const char* value = WRBGetConfigVal(ctx.wrb_handle, ctx.service_name + suffix);
    if (value == nullptr) {
        return std::nullopt;
    }
    return value;
}

// "U", the next IMG_SEQ value in seven digits and the file name's extension.
void generate_name(request_ctx& ctx, std::string_view file_name, std::span<char> name) {
    const std::string file = literal_body(file_name);
    const std::string query = "SELECT rtrim('U' || ltrim(to_char(" + owner_of(ctx) +
                              ".IMG_SEQ.NEXTVAL,'0000000')) ||            "
                              "decode(nvl(instr('" +
                              file + "','.',-1),0), 0, '', \t\t   substr('" + file + "',instr('" +
                              file + "','.',-1),4))) FROM DUAL";
    if (select_into(ctx, query, name) != 0) {
        die(ctx, "%s", oerr_cda(ctx).c_str());
    }
}

// The generated name carries the browser's extension; it must stay one
// plain file name inside the upload directory.
bool is_plain_file_name(const request_ctx& ctx, std::string_view name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    if (name.find_first_of("/\\") != std::string_view::npos) {
        return false;
    }
    return ctx.dir_separator.empty() || name.find(ctx.dir_separator) == std::string_view::npos;
}

// Writes the bytes to <filedir><separator><name> and returns that path.
std::string write_upload(request_ctx& ctx, const std::string& filedir, const char* name,
                         std::span<const char> bytes) {
    if (!is_plain_file_name(ctx, name)) {
        die(ctx, "Document name '%s' is not a plain file name", name);
    }
    std::string path = filedir + ctx.dir_separator + name;
    // Recorded first: a file cut short by a failed write goes too.
    ctx.uploaded_files.push_back(path);
    file_handle file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        die(ctx, "Unable to open file '%s' for output", path.c_str());
    }
    // Unbuffered, so that a short write shows at the chunk that failed.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t asked = std::min(write_chunk, bytes.size() - done);
        const std::size_t wrote = std::fwrite(bytes.data() + done, 1, asked, file.get());
        if (wrote < asked) {
            die(ctx, "Error writing %d bytes to '%s', only got %d", static_cast<int>(asked),
                path.c_str(), static_cast<int>(wrote));
        }
        done += asked;
    }
    if (std::fclose(file.release()) != 0) {
        die(ctx, "Error closing file '%s'", path.c_str());
    }
    return path;
}

// A long raw bind value: the 32-bit length in host order, then the bytes
// and a terminator (a stored path is read back as text).
std::unique_ptr<std::byte[]> varraw(std::span<const char> bytes) {
    const auto length = static_cast<std::int32_t>(bytes.size());
    auto buffer = std::make_unique_for_overwrite<std::byte[]>(sizeof length + bytes.size() + 1);
    std::memcpy(buffer.get(), &length, sizeof length);
    std::memcpy(buffer.get() + sizeof length, bytes.data(), bytes.size());
    buffer[sizeof length + bytes.size()] = std::byte{0};
    return buffer;
}

// A text bound with sbind needs room for its length + 2 bytes.
char* bind_copy(request_ctx& ctx, std::string_view text) {
    auto* copy = static_cast<char*>(_xheap_alloc(ctx, text.size() + 2));
    std::memcpy(copy, text.data(), text.size());
    return copy;
}

int insert_row(request_ctx& ctx, char* name, std::string_view mime_type, std::int32_t* length,
               std::byte* image) {
    const std::string table = config_value(ctx, "_image_tname").value_or("wwv_document");
    const std::string insert =
        "insert into " + owner_of(ctx) + "." + table +
        " (name,mime_type,doc_size,content) values (:seqno,:mime_type,:length,:image)";
    int rc = session_client(ctx).oparse(ctx.cda, insert);
    if (rc == 0) {
        rc = sbind(ctx, ":seqno", name);
    }
    if (rc == 0) {
        rc = sbind(ctx, ":mime_type", bind_copy(ctx, mime_type));
    }
    if (rc == 0) {
        rc = nbind(ctx, ":length", length);
    }
    if (rc == 0) {
        rc = rbind(ctx, ":image", image);
    }
    if (rc == 0) {
        rc = session_client(ctx).oexec(ctx.cda);
    }
    return rc;
}

}  // namespace

const char* ldimage(request_ctx& ctx, std::span<const char> bytes, std::string_view mime_type,
                    std::string_view file_name) {
    char name[name_buffer_size + 2] = {};
    generate_name(ctx, file_name, std::span<char>(name, name_buffer_size));
    KESTREL_TRACE(ctx, "storing %zu bytes of '%.*s' as %s", bytes.size(),
                  static_cast<int>(file_name.size()), file_name.data(), name);

    auto length = static_cast<std::int32_t>(bytes.size());
    std::unique_ptr<std::byte[]> image;
    if (const auto filedir = config_value(ctx, "_filedir")) {
        if (filedir->empty()) {
            die(ctx, "No directory set in %s_filedir", ctx.service_name.c_str());
        }
        const std::string path = write_upload(ctx, *filedir, name, bytes);
        image = varraw(path);
        length = -length;  // a negative size marks a row that holds a path
    } else {
        image = varraw(bytes);
    }

    const int rc = insert_row(ctx, name, mime_type, &length, image.get());
    image.reset();
    if (rc != 0) {
        die(ctx, "%s", oerr_cda(ctx).c_str());
    }
    ++ctx.stored_documents;
    return _xheap_strdup(ctx, name);
}

void discard_uploaded_files(request_ctx& ctx) noexcept {
    for (const std::string& path : ctx.uploaded_files) {
        std::remove(path.c_str());
    }
    ctx.uploaded_files.clear();
}

}  // namespace kestrel
