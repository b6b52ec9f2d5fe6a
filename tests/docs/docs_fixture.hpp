// docs_fixture.hpp - a request context for the document tests: the recording
// database client, a captured client connection, a [DBAUTH] table, a MIME
// table and the request URL.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "docs/docs_support.hpp"
#include "frame/pool.hpp"
#include "frame/request_ctx.hpp"
#include "frame/wrb_state.hpp"
#include "support/recording_client.hpp"

namespace kestrel::test {

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
