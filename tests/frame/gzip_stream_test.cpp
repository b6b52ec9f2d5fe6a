// gzip_stream_test.cpp - the gzip writer: output decompressed with zlib,
// header and name, trailer, full-buffer writes and a client that goes away.
#include "frame/gzip_stream.hpp"

#include <random>

#include "frame/frame_fixture.hpp"
#include "frame/pool.hpp"

namespace kestrel::test {
namespace {

using gzip_stream_test = frame_test;

// Inflates a gzip file; the name from the header goes to name.
std::string gunzip(const std::string& file, std::string& name) {
    z_stream z{};
    gz_header header{};
    std::vector<unsigned char> name_buffer(256);
    header.name = name_buffer.data();
    header.name_max = static_cast<uInt>(name_buffer.size());
    EXPECT_EQ(inflateInit2(&z, 16 + MAX_WBITS), Z_OK);
    inflateGetHeader(&z, &header);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(file.data()));
    z.avail_in = static_cast<uInt>(file.size());
    std::string out;
    std::vector<unsigned char> chunk(65536);
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = chunk.data();
        z.avail_out = static_cast<uInt>(chunk.size());
        rc = inflate(&z, Z_NO_FLUSH);
        out.append(reinterpret_cast<char*>(chunk.data()), chunk.size() - z.avail_out);
    }
    EXPECT_EQ(rc, Z_STREAM_END);
    EXPECT_EQ(z.avail_in, 0u);
    inflateEnd(&z);
    name = reinterpret_cast<char*>(name_buffer.data());
    return out;
}

std::string random_bytes(std::size_t n) {
    std::mt19937 gen(7);
    std::string s(n, '\0');
    for (char& c : s) {
        c = static_cast<char>(gen());
    }
    return s;
}

std::uint32_t le32(const std::string& s, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) {
        v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
    }
    return v;
}

TEST_F(gzip_stream_test, EmptyStreamIsACompleteGzipFile) {
    gz_stream* gz = wrbgzopen(ctx, "empty.txt");
    ASSERT_NE(gz, nullptr);
    EXPECT_EQ(wrbgzclose(ctx, gz), Z_OK);
    const std::string& out = client->output;
    EXPECT_EQ(out.substr(0, 10), std::string("\x1f\x8b\x08\x08\0\0\0\0\0\x03", 10));
    EXPECT_EQ(out.substr(10, 10), std::string("empty.txt\0", 10));
    EXPECT_EQ(le32(out, out.size() - 8), 0u);
    EXPECT_EQ(le32(out, out.size() - 4), 0u);
    std::string name;
    EXPECT_EQ(gunzip(out, name), "");
    EXPECT_EQ(name, "empty.txt");
}

TEST_F(gzip_stream_test, RoundTripWithFullBufferWritesAndSizeTrailer) {
    const std::string data = random_bytes(50000) + std::string(30000, 'a');
    gz_stream* gz = wrbgzopen(ctx, "doc.bin");
    ASSERT_NE(gz, nullptr);
    std::size_t header_writes = client->writes.size();
    for (std::size_t at = 0; at < data.size(); at += 4096) {
        const std::size_t n = std::min<std::size_t>(4096, data.size() - at);
        EXPECT_EQ(wrbgzwrite(ctx, gz, data.data() + at, n), static_cast<int>(n));
    }
    // Incompressible input fills the buffer: the writes so far are whole buffers.
    const std::vector<std::size_t> during(client->writes.begin() + header_writes,
                                          client->writes.end());
    ASSERT_GE(during.size(), 5u);
    for (const std::size_t w : during) {
        EXPECT_EQ(w, gz_buffer_size);
    }
    EXPECT_EQ(wrbgzclose(ctx, gz), Z_OK);
    std::string name;
    EXPECT_EQ(gunzip(client->output, name), data);
    EXPECT_EQ(name, "doc.bin");
    EXPECT_EQ(le32(client->output, client->output.size() - 4), data.size());
}

TEST_F(gzip_stream_test, ShortClientWriteStopsAndLeavesNoTrailer) {
    const std::string data = random_bytes(200000);
    gz_stream* gz = wrbgzopen(ctx, "x");
    ASSERT_NE(gz, nullptr);
    client->accept = 9000;
    const int consumed = wrbgzwrite(ctx, gz, data.data(), data.size());
    EXPECT_LT(consumed, static_cast<int>(data.size()));
    EXPECT_EQ(gz->z_err, Z_ERRNO);
    EXPECT_EQ(wrbgzflush(ctx, gz, Z_SYNC_FLUSH), Z_ERRNO);
    const std::size_t sent = client->output.size();
    EXPECT_EQ(wrbgzclose(ctx, gz), Z_ERRNO);
    EXPECT_EQ(client->output.size(), sent);
}

}  // namespace
}  // namespace kestrel::test
