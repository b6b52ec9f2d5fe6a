// gunzip.hpp - reads back what the gzip roads send: the data and the file
// name in the header, and whether the stream was complete and valid.
#pragma once

#include <zlib.h>

#include <string>

namespace kestrel::test {

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
