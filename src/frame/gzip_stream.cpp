// gzip_stream.cpp - the gzip writer over zlib's raw deflate. All output
// goes through WRBClientWrite, after whatever header the caller has sent,
// in writes of the whole 8192-byte buffer while data is being compressed.
#include "frame/gzip_stream.hpp"

#include <array>
#include <cstring>
#include <new>

#include "frame/pool.hpp"
#include "frame/wrb.hpp"

namespace kestrel {
namespace {

// Magic, deflate, FNAME, no time, no extra flags, Unix.
constexpr std::array<unsigned char, 10> gz_header{0x1f, 0x8b, 8, 8, 0, 0, 0, 0, 0, 3};

bool write_all(request_ctx& ctx, const void* data, std::size_t length) {
    return WRBClientWrite(ctx.wrb_handle, data, length) == length;
}

void reset_output(gz_stream& gz) {
    gz.stream.next_out = gz.outbuf;
    gz.stream.avail_out = gz_buffer_size;
}

}  // namespace

gz_stream::~gz_stream() {
    if (deflating) {
        deflateEnd(&stream);
    }
}

gz_stream* wrbgzopen(request_ctx& ctx, const char* name) {
    auto* gz = new (_xheap_alloc(ctx, sizeof(gz_stream))) gz_stream();
    ctx.heap.on_release([gz]() noexcept { gz->~gz_stream(); });
    gz->crc = static_cast<std::uint32_t>(crc32(0L, Z_NULL, 0));
    gz->deflating = deflateInit2(&gz->stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8,
                                 Z_DEFAULT_STRATEGY) == Z_OK;
    gz->outbuf = static_cast<unsigned char*>(_xheap_alloc(ctx, gz_buffer_size));
    if (!gz->deflating || gz->outbuf == nullptr) {
        destroy(gz);
        return nullptr;
    }
    reset_output(*gz);
    write_all(ctx, gz_header.data(), gz_header.size());
    write_all(ctx, name, std::strlen(name) + 1);
    return gz;
}

int wrbgzwrite(request_ctx& ctx, gz_stream* gz, const void* buffer, std::size_t length) {
    if (gz == nullptr) {
        return Z_STREAM_ERROR;
    }
    // zlib counts in uInt; callers write pieces far below that.
    gz->stream.next_in = static_cast<Bytef*>(const_cast<void*>(buffer));
    gz->stream.avail_in = static_cast<uInt>(length);
    while (gz->stream.avail_in != 0) {
        if (gz->stream.avail_out == 0) {
            if (!write_all(ctx, gz->outbuf, gz_buffer_size)) {
                gz->z_err = Z_ERRNO;
                break;
            }
            reset_output(*gz);
        }
        gz->z_err = deflate(&gz->stream, Z_NO_FLUSH);
        if (gz->z_err != Z_OK) {
            break;
        }
    }
    gz->crc = static_cast<std::uint32_t>(
        crc32(gz->crc, static_cast<const Bytef*>(buffer), static_cast<uInt>(length)));
    return static_cast<int>(length - gz->stream.avail_in);
}

int wrbgzflush(request_ctx& ctx, gz_stream* gz, int flush) {
    if (gz == nullptr) {
        return Z_STREAM_ERROR;
    }
    gz->stream.avail_in = 0;
    bool done = false;
    for (;;) {
        const std::size_t pending = gz_buffer_size - gz->stream.avail_out;
        if (pending != 0) {
            if (!write_all(ctx, gz->outbuf, pending)) {
                gz->z_err = Z_ERRNO;
                return Z_ERRNO;
            }
            reset_output(*gz);
        }
        if (done) {
            break;
        }
        gz->z_err = deflate(&gz->stream, flush);
        done = gz->stream.avail_out != 0 || gz->z_err == Z_STREAM_END;
        if (gz->z_err != Z_OK && gz->z_err != Z_STREAM_END) {
            break;
        }
    }
    return gz->z_err == Z_STREAM_END ? Z_OK : gz->z_err;
}

int wrbgzclose(request_ctx& ctx, gz_stream* gz) {
    if (gz == nullptr) {
        return Z_STREAM_ERROR;
    }
    if (wrbgzflush(ctx, gz, Z_FINISH) == Z_OK) {
        putLong(ctx, gz->crc);
        putLong(ctx, static_cast<std::uint32_t>(gz->stream.total_in));
    }
    return destroy(gz);
}

int destroy(gz_stream* gz) {
    if (gz == nullptr) {
        return Z_STREAM_ERROR;
    }
    int err = Z_OK;
    if (gz->deflating) {
        gz->deflating = false;
        err = deflateEnd(&gz->stream);
    }
    return gz->z_err < 0 ? gz->z_err : err;
}

void putLong(request_ctx& ctx, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<unsigned char>(value & 0xff);
        WRBClientWrite(ctx.wrb_handle, &byte, 1);
        value >>= 8;
    }
}

}  // namespace kestrel
