// request_fixture.hpp - the one way a test builds a request: a configuration
// the test writes as init would, the context that reads it, installed as the
// request interface's client context, a test_client as its connection, a
// chosen environment, an in-memory [DBAUTH] table (or an application file),
// and a scratch directory that receives every log and document. request_test
// adds the recording database client; the integration tests combine
// request_state with a real session (pg/pg_fixture.hpp).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "frame/pool.hpp"
#include "frame/request_ctx.hpp"
#include "frame/wrb_state.hpp"
#include "support/recording_client.hpp"
#include "support/test_client.hpp"

namespace kestrel::test {

using pair_list = std::vector<std::pair<std::string, std::string>>;

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every byte value, with many CR LF pairs among them: content that
// trips whatever treats it as text.
inline std::string binary_content(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>(i % 7 == 0 ? '\r' : i % 7 == 1 ? '\n' : (i * 13 + i / 251) % 256);
    }
    return s;
}

class request_state {
  public:
    // Installs the state for ctx, which must outlive end() and read config:
    // the service "demo" owned by "demo", no arguments, an empty environment
    // and table.
    void begin(request_ctx& ctx) {
        ctx_ = &ctx;
        service_entry demo;
        demo.owa_service = "demo";
        demo.owa_user = "demo";
        config->services = {demo};
        ctx.service_index = 0;
        ctx.service_name = "demo";
        ctx.service_type = "/owa/";
        ctx.args.clear();
        ctx.arg_unique_count = 0;
        auto io = std::make_unique<test_client>();
        client = io.get();
        wrb().begin_request(nullptr, std::move(io));
        wrb().set_environment({});
        wrb().clientcxp = &ctx;
        wrb().config_read = true;
        wrb().config.clear();
        wrb().dir_sep = '/';
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string leaf = "kestrel-" + std::to_string(::getpid()) + "-" + info->test_suite_name() +
                           "-" + info->name();
        std::replace(leaf.begin(), leaf.end(), '/', '_');
        dir = std::filesystem::temp_directory_path() / leaf;
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        wrb().ows_logfile = (dir / "").string();
    }

    void end() {
        heap_release(*ctx_);
        wrb().begin_request(nullptr, nullptr);
        wrb().clientcxp = nullptr;
        wrb().forget_config();
        wrb().ows_appfile.clear();
        wrb().ows_logfile.clear();
        std::filesystem::remove_all(dir);
    }

    void set_env(const std::vector<std::string>& entries) { wrb().set_environment(entries); }

    // Adds a [DBAUTH] entry.
    void set_config(std::string key, std::string value) {
        wrb().config.push_back({std::move(key), std::move(value)});
    }

    // The application file that the [DBAUTH] table is read from instead.
    void set_app_file(const std::string& text) {
        wrb().ows_appfile = write_file("app.cfg", text);
        wrb().forget_config();
    }

    // A GET of /demo<prefix><name>, as the web server passes it.
    void request(const std::string& name, const std::string& prefix = "/owa/",
                 const std::string& query = "") {
        ctx_->service_type = prefix;
        ctx_->procedure_name = name;
        set_env({"SCRIPT_NAME=/cgi-bin/kestrel", "PATH_INFO=/" + ctx_->service_name + prefix + name,
                 "REQUEST_METHOD=GET", "QUERY_STRING=" + query});
        wrb().url.clear();
    }

    // A POST of body with the given content type.
    void post(const std::string& body, const std::string& content_type) {
        set_env({"REQUEST_METHOD=POST", "CONTENT_TYPE=" + content_type,
                 "CONTENT_LENGTH=" + std::to_string(body.size())});
        client->body = body;
        client->offset = 0;
    }

    // The request's form fields, in order, as build_arglist leaves them.
    void set_args(const pair_list& pairs) {
        ctx_->args.clear();
        std::vector<std::string> distinct;
        for (const auto& [name, value] : pairs) {
            ctx_->args.push_back({_xheap_strdup(*ctx_, name), _xheap_strdup(*ctx_, value)});
            std::string lower = name;
            for (char& c : lower) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            if (std::find(distinct.begin(), distinct.end(), lower) == distinct.end()) {
                distinct.push_back(lower);
            }
        }
        ctx_->arg_unique_count = static_cast<int>(distinct.size());
    }

    // The document road: a MIME table and the URL path /docs/ mapped to the
    // scratch directory's docs/.
    void serve_documents(const std::string& default_mime_type) {
        config->mime_table = {{"text/html", "html htm"},
                              {"image/gif", "gif"},
                              {"application/pdf", "pdf"},
                              {"text/csv", "csv"},
                              {"application/octet-stream", "bin"}};
        config->default_mime_type = default_mime_type;
        config->dir_maps = {{(dir / "docs").string() + "/", "/docs/"}};
    }

    pair_list pairs() const {
        pair_list out;
        for (const arg_pair& p : ctx_->args) {
            out.emplace_back(p.name, p.value);
        }
        return out;
    }

    std::string path(const std::string& relative) const { return (dir / relative).string(); }

    std::string write_file(const std::string& relative, const std::string& content) {
        const std::filesystem::path file = dir / relative;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
        return file.string();
    }

    // The fallback log of this process (no debugPath set).
    std::string fallback_log() const {
        return read_file(dir / ("WRB_DBAUTH_" + std::to_string(::getpid()) + ".log"));
    }

    // Everything logged into the scratch directory.
    std::string logs() const {
        std::string text;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            if (entry.path().extension() == ".log" || entry.path().extension() == ".err") {
                text += read_file(entry.path());
            }
        }
        return text;
    }

    // The configuration the test's context reads: the test plays init and
    // may change it at any point.
    const std::shared_ptr<gateway_config> config = std::make_shared<gateway_config>();
    test_client* client = nullptr;
    std::filesystem::path dir;

  private:
    request_ctx* ctx_ = nullptr;
};

class request_test : public ::testing::Test, public request_state {
  protected:
    void SetUp() override {
        auto owned = std::make_unique<recording_client>();
        db = owned.get();
        ctx.db = std::move(owned);
        begin(ctx);
    }
    void TearDown() override { end(); }

    // A fresh request inside one test, for table-driven cases.
    void restart() {
        TearDown();
        SetUp();
    }

    request_ctx ctx{config};
    recording_client* db = nullptr;
};

}  // namespace kestrel::test
