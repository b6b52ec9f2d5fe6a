// gzip_stream_test.cpp - the gzip writer: output decompressed with zlib,
// header and name, trailer, and a client that goes away.
#include "frame/gzip_stream.hpp"

#include <random>

#include "frame/pool.hpp"
#include "support/gunzip.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

using gzip_stream_test = request_test;

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
    const std::string& out = client->written;
    EXPECT_EQ(out.substr(0, 10), std::string("\x1f\x8b\x08\x08\0\0\0\0\0\x03", 10));
    EXPECT_EQ(out.substr(10, 10), std::string("empty.txt\0", 10));
    EXPECT_EQ(le32(out, out.size() - 8), 0u);
    EXPECT_EQ(le32(out, out.size() - 4), 0u);
    const gunzipped gz_file = gunzip(out);
    EXPECT_TRUE(gz_file.ok);
    EXPECT_EQ(gz_file.data, "");
    EXPECT_EQ(gz_file.name, "empty.txt");
}

TEST_F(gzip_stream_test, RoundTripWithSizeTrailer) {
    const std::string data = random_bytes(50000) + std::string(30000, 'a');
    gz_stream* gz = wrbgzopen(ctx, "doc.bin");
    ASSERT_NE(gz, nullptr);
    for (std::size_t at = 0; at < data.size(); at += 4096) {
        const std::size_t n = std::min<std::size_t>(4096, data.size() - at);
        EXPECT_EQ(wrbgzwrite(ctx, gz, data.data() + at, n), static_cast<int>(n));
    }
    EXPECT_EQ(wrbgzclose(ctx, gz), Z_OK);
    const gunzipped gz_file = gunzip(client->written);
    EXPECT_TRUE(gz_file.ok);
    EXPECT_EQ(gz_file.data, data);
    EXPECT_EQ(gz_file.name, "doc.bin");
    EXPECT_EQ(le32(client->written, client->written.size() - 4), data.size());
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
    const std::size_t sent = client->written.size();
    EXPECT_EQ(wrbgzclose(ctx, gz), Z_ERRNO);
    EXPECT_EQ(client->written.size(), sent);
}

}  // namespace
}  // namespace kestrel::test
