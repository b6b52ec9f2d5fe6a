// document_store.cpp - stores one uploaded file while the argument list is
// built: a generated name from the owner's IMG_SEQ, then a row in the
// document table holding the bytes, or a file in <service>_filedir with a
// row pointing at it. The row belongs to the request's transaction.
#include "args/document_store.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "args/upload_name.hpp"
#include "base/text_file.hpp"
#include "config/mime.hpp"
#include "db/binds.hpp"
#include "db/errors.hpp"
#include "db/query.hpp"
#include "db/session.hpp"
#include "frame/diagnostics.hpp"
#include "frame/pool.hpp"
#include "frame/wrb.hpp"

namespace kestrel {

namespace {

constexpr std::size_t sequence_buffer_size = 25;
constexpr std::size_t write_chunk = 8192;

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

// The next IMG_SEQ value of the service owner.
std::uint64_t next_sequence_value(request_ctx& ctx) {
    char value[sequence_buffer_size] = {};
    const std::string owner = owner_of(ctx);
    const std::string query = "select " + owner + ".IMG_SEQ.NEXTVAL from dual";
    if (select_into(ctx,
                    {.kind = db::statement_kind::upload_sequence, .text = query, .relation = owner},
                    value) != 0) {
        die(ctx, "%s", oerr_cda(ctx).c_str());
    }
    const std::string_view text(value);
    std::uint64_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (error != std::errc() || end != text.data() + text.size()) {
        die(ctx, "IMG_SEQ gave '%s', not a number", value);
    }
    return number;
}

// The part's own type, else the one the MIME table gives the extension,
// else the default.
std::string_view upload_mime_type(const request_ctx& ctx, std::string_view sent,
                                  std::string_view name) {
    if (!sent.empty()) {
        return sent;
    }
    const std::string extension = upload_extension(name);
    if (const char* type =
            extension.empty() ? nullptr : mime_type_for_extension(ctx, extension.substr(1))) {
        return type;
    }
    return ctx.config.default_mime_type ? std::string_view(*ctx.config.default_mime_type)
                                        : "application/octet-stream";
}

// Writes the bytes to <filedir><separator><name> and returns that path.
std::string write_upload(request_ctx& ctx, const std::string& filedir, const std::string& name,
                         std::span<const char> bytes) {
    std::string path = filedir + ctx.config.dir_separator + name;
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

struct upload_row {
    char* name;
    char* mime_type;
    std::int32_t* length;
    std::byte* image;
    char* file_name;
};

int insert_row(request_ctx& ctx, const upload_row& row) {
    const std::string table = config_value(ctx, "_image_tname").value_or("wwv_document");
    const std::string relation = owner_of(ctx) + "." + table;
    const std::string insert = "insert into " + relation +
                               " (name,mime_type,doc_size,content,file_name) values "
                               "(:seqno,:mime_type,:length,:image,:file_name)";
    int rc = session_client(ctx).oparse(
        ctx.cda,
        {.kind = db::statement_kind::document_insert, .text = insert, .relation = relation});
    if (rc == 0) {
        rc = sbind(ctx, ":seqno", row.name);
    }
    if (rc == 0) {
        rc = sbind(ctx, ":mime_type", row.mime_type);
    }
    if (rc == 0) {
        rc = nbind(ctx, ":length", row.length);
    }
    if (rc == 0) {
        rc = rbind(ctx, ":image", row.image);
    }
    if (rc == 0) {
        rc = sbind(ctx, ":file_name", row.file_name);
    }
    if (rc == 0) {
        rc = session_client(ctx).oexec(ctx.cda);
    }
    return rc;
}

}  // namespace

const char* ldimage(request_ctx& ctx, std::span<const char> bytes, std::string_view mime_type,
                    std::string_view file_name) {
    const std::string_view kept_name = client_file_name(file_name);
    const std::string name = upload_name(next_sequence_value(ctx), kept_name);
    KESTREL_TRACE(ctx, "storing %zu bytes of '%.*s' as %s", bytes.size(),
                  static_cast<int>(file_name.size()), file_name.data(), name.c_str());

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

    char* const stored_name = bindable_copy(ctx, name);
    const upload_row row{stored_name,
                         bindable_copy(ctx, upload_mime_type(ctx, mime_type, kept_name)), &length,
                         image.get(), bindable_copy(ctx, kept_name)};
    const int rc = insert_row(ctx, row);
    image.reset();
    if (rc != 0) {
        die(ctx, "%s", oerr_cda(ctx).c_str());
    }
    ++ctx.stored_documents;
    return stored_name;
}

void discard_uploaded_files(request_ctx& ctx) noexcept {
    for (const std::string& path : ctx.uploaded_files) {
        std::remove(path.c_str());
    }
    ctx.uploaded_files.clear();
}

}  // namespace kestrel
