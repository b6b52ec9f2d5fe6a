// docs_fixture.hpp - a request context for the document tests: the recording
// database client, a captured client connection, a [DBAUTH] table, a MIME
// table and the request URL.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "frame/pool.hpp"
#include "frame/request_ctx.hpp"
#include "frame/wrb_state.hpp"
#include "support/recording_client.hpp"

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

class docs_test : public ::testing::Test {
  protected:
    request_ctx ctx;
    recording_client* db = nullptr;
    captured_io* io = nullptr;
    std::filesystem::path dir;

    void SetUp() override {
        auto owned = std::make_unique<recording_client>();
        db = owned.get();
        ctx.db = std::move(owned);
        service_entry demo;
        demo.owa_service = "demo";
        demo.owa_user = "demo";
        ctx.services.push_back(demo);
        ctx.service_index = 0;
        ctx.service_name = "demo";
        ctx.service_type = "/owa/";
        ctx.mime_table = {{"text/html", "html htm"},
                          {"image/gif", "gif"},
                          {"application/pdf", "pdf"},
                          {"text/csv", "csv"},
                          {"application/octet-stream", "bin"}};
        ctx.default_mime_type = "text/plain";

        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string leaf =
            std::string("kestrel-docs-") + info->test_suite_name() + "-" + info->name();
        std::replace(leaf.begin(), leaf.end(), '/', '_');
        dir = std::filesystem::path(::testing::TempDir()) / leaf;
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);

        auto captured = std::make_unique<captured_io>();
        io = captured.get();
        wrb().begin_request(nullptr, std::move(captured));
        wrb().clientcxp = &ctx;
        wrb().ows_logfile = (dir / "").string();
        wrb().config_read = true;
        wrb().config.clear();
        request("page.html");
    }

    void TearDown() override {
        heap_release(ctx);
        wrb().begin_request(nullptr, nullptr);
        wrb().forget_config();
        wrb().clientcxp = nullptr;
        std::filesystem::remove_all(dir);
    }

    // The request /demo<prefix><name>, as the web server passes it.
    void request(const std::string& name, const std::string& prefix = "/owa/") {
        ctx.service_type = prefix;
        ctx.procedure_name = name;
        wrb().set_environment({"SCRIPT_NAME=/cgi-bin/kestrel", "PATH_INFO=/demo" + prefix + name,
                               "REQUEST_METHOD=GET", "QUERY_STRING="});
        wrb().url.clear();
    }

    void set_config(const std::string& key, const std::string& value) {
        wrb().config.push_back({key, value});
    }

    // Maps the URL path /docs/ to the test's directory.
    void map_docs() { ctx.dir_maps = {{(dir / "docs").string() + "/", "/docs/"}}; }

    std::filesystem::path write_file(const std::string& relative, const std::string& content) {
        const std::filesystem::path path = dir / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << content;
        return path;
    }

    std::string output() const { return io->out; }

    std::size_t count_calls(const std::string& name) const {
        std::size_t n = 0;
        for (const std::string& call : db->calls) {
            n += call == name ? 1 : 0;
        }
        return n;
    }
};

}  // namespace kestrel::test
