// gzip_stream.hpp - gzip output (RFC 1952) to the client, produced on the
// fly with raw deflate: the header and name at open, compressed data as the
// caller writes, CRC-32 and size at close. Used by the compressed document
// download and by compressed include files.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>

#include "frame/request_ctx.hpp"

namespace kestrel {

inline constexpr std::size_t gz_buffer_size = 8192;

// One stream, in the request pool. The deflate state is ended by destroy,
// or by the release of the request pool when a fatal error abandoned the
// stream.
struct gz_stream {
    z_stream stream{};
    int z_err = Z_OK;  // last zlib status; Z_ERRNO after a short client write
    unsigned char* outbuf = nullptr;
    std::uint32_t crc = 0;
    bool deflating = false;  // deflateInit2 succeeded and deflateEnd is due

    gz_stream() = default;
    gz_stream(const gz_stream&) = delete;
    gz_stream& operator=(const gz_stream&) = delete;
    ~gz_stream();
};

// Writes the header and the name; null (nothing written) when the
// compressor cannot be initialised.
gz_stream* wrbgzopen(request_ctx& ctx, const char* name);

// Compresses length bytes; returns the bytes consumed (fewer after a failed
// client write), Z_STREAM_ERROR for a null stream.
int wrbgzwrite(request_ctx& ctx, gz_stream* gz, const void* buffer, std::size_t length);

// Pushes out pending output with the zlib flush mode: 0, Z_ERRNO after a
// failed client write, else the zlib error; Z_STREAM_ERROR for null.
int wrbgzflush(request_ctx& ctx, gz_stream* gz, int flush);

// Finishes the stream and writes the trailer (only when the finish
// succeeded); returns destroy's result. The stream must not be used again.
int wrbgzclose(request_ctx& ctx, gz_stream* gz);

// Ends the deflate state: z_err when negative, else deflateEnd's result.
int destroy(gz_stream* gz);

// Four single-byte client writes, least significant first.
void putLong(request_ctx& ctx, std::uint32_t value);

}  // namespace kestrel
