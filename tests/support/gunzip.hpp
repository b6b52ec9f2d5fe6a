// docs_support.hpp - helpers shared by the document tests (unit and
// integration): a captured client connection and a gzip reader.
#pragma once

#include <zlib.h>

#include <string>

#include "frame/wrb_state.hpp"

namespace kestrel::test {

// The response as the client would receive it.
class captured_io final : public client_io {
  public:
    std::string out;
    std::size_t read(void*, std::size_t) override { return 0; }
    std::size_t write(const void* buffer, std::size_t length) override {
        out.append(static_cast<const char*>(buffer), length);
        return length;
    }
    void flush() override {}
};

// The decompressed data and the FNAME of a gzip file; empty name and
// ok = false when it is not a complete, valid gzip file.
struct gunzipped {
    bool ok = false;
    std::string name;
    std::string data;
};

inline gunzipped gunzip(const std::string& file) {
    gunzipped result;
    if (file.size() < 18 || static_cast<unsigned char>(file[0]) != 0x1f ||
        static_cast<unsigned char>(file[1]) != 0x8b || (file[3] & 8) == 0) {
        return result;
    }
    result.name = std::string(file.c_str() + 10);
    z_stream zs{};
    if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK) {
        return result;
    }
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(file.data()));
    zs.avail_in = static_cast<uInt>(file.size());
    char chunk[4096];
    int rc = Z_OK;
    while (rc == Z_OK) {
        zs.next_out = reinterpret_cast<Bytef*>(chunk);
        zs.avail_out = sizeof chunk;
        rc = inflate(&zs, Z_NO_FLUSH);
        result.data.append(chunk, sizeof chunk - zs.avail_out);
    }
    result.ok = rc == Z_STREAM_END && zs.avail_in == 0;
    inflateEnd(&zs);
    return result;
}

}  // namespace kestrel::test
