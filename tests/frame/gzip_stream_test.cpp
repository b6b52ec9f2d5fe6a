// gzip_stream_test.cpp - the gzip writer: output decompressed with zlib
// (which checks the trailer's checksum and size), the name in the header, and
// a client that goes away.
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

TEST_F(gzip_stream_test, EmptyStreamIsACompleteGzipFile) {
    gz_stream* gz = wrbgzopen(ctx, "empty.txt");
    ASSERT_NE(gz, nullptr);
    EXPECT_EQ(wrbgzclose(ctx, gz), Z_OK);
    const gunzipped gz_file = gunzip(client->written);
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
