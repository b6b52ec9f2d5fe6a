// args_fixture.hpp - a request context for argument-list tests: the
// recording database double, a client whose request body is a chosen text
// (served in reads of a chosen size), an application file with chosen
// [DBAUTH] entries and a chosen CGI environment.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "frame/request_ctx.hpp"
#include "frame/wrb_state.hpp"
#include "support/recording_client.hpp"

namespace kestrel::test {

// Serves a body in reads of at most max_read bytes; records every read.
class body_io final : public client_io {
  public:
    std::string body;
    std::size_t max_read = static_cast<std::size_t>(-1);
    std::size_t offset = 0;
    std::vector<std::size_t> asked;  // the length of every read request
    std::string written;

    std::size_t read(void* buffer, std::size_t length) override {
        asked.push_back(length);
        const std::size_t n = std::min({length, max_read, body.size() - offset});
        std::memcpy(buffer, body.data() + offset, n);
        offset += n;
        return n;
    }
    std::size_t write(const void* buffer, std::size_t length) override {
        written.append(static_cast<const char*>(buffer), length);
        return length;
    }
    void flush() override {}
};

class args_test : public ::testing::Test {
  protected:
    request_ctx ctx;
    recording_client* db = nullptr;
    body_io* client = nullptr;
    std::filesystem::path dir;  // per-test scratch directory (logs, uploads)

    void SetUp() override {
        auto owned = std::make_unique<recording_client>();
        db = owned.get();
        ctx.db = std::move(owned);
        auto io = std::make_unique<body_io>();
        client = io.get();
        wrb().begin_request(nullptr, std::move(io));
        wrb().set_environment({});
        wrb().clientcxp = &ctx;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              ("kestrel-args-" + std::to_string(::getpid()) + "-" + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        wrb().ows_logfile = dir.string() + "/";
        set_config({});
        ctx.args.clear();
        ctx.arg_unique_count = 0;
        ctx.services.clear();
        service_entry shop;
        shop.owa_service = "shop";
        shop.owa_user = "webuser";
        ctx.services.push_back(shop);
        ctx.service_index = 0;
        ctx.service_name = "shop";
        ctx.service_type = "/owa/";
    }

    void TearDown() override {
        wrb().begin_request(nullptr, nullptr);
        wrb().clientcxp = nullptr;
        wrb().forget_config();
        std::filesystem::remove_all(dir);
    }

    // The [DBAUTH] section of the application file; the trace log goes to
    // the scratch directory.
    void set_config(const std::vector<std::string>& entries) {
        const auto appfile = dir / "kestrel.app";
        std::ofstream out(appfile);
        out << "[DBAUTH]\n"
            << "debugPath = " << dir.string() << "/\n";
        for (const std::string& e : entries) {
            out << e << "\n";
        }
        out.close();
        wrb().ows_appfile = appfile.string();
        wrb().forget_config();
    }

    void set_env(const std::vector<std::string>& entries) { wrb().set_environment(entries); }

    // A multipart POST of body with the given content type.
    void post_multipart(const std::string& body, const std::string& content_type,
                        std::vector<std::string> more_env = {}) {
        more_env.push_back("REQUEST_METHOD=POST");
        more_env.push_back("CONTENT_TYPE=" + content_type);
        more_env.push_back("CONTENT_LENGTH=" + std::to_string(body.size()));
        set_env(more_env);
        client->body = body;
    }

    std::vector<std::pair<std::string, std::string>> pairs() const {
        std::vector<std::pair<std::string, std::string>> out;
        for (const arg_pair& p : ctx.args) {
            out.emplace_back(std::string(p.name), std::string(p.value));
        }
        return out;
    }
};

// One part of a multipart body: its disposition line, further header lines
// and content.
struct part {
    std::string disposition;
    std::vector<std::string> headers{};
    std::string content{};
};

inline part field(const std::string& name, const std::string& value) {
    return {"Content-Disposition: form-data; name=\"" + name + "\"", {}, value};
}

inline part file(const std::string& name, const std::string& file_name, const std::string& content,
                 const std::string& type = "") {
    part p{"Content-Disposition: form-data; name=\"" + name + "\"; filename=\"" + file_name + "\"",
           {},
           content};
    if (!type.empty()) {
        p.headers.push_back("Content-Type: " + type);
    }
    return p;
}

// The body a browser sends for these parts.
inline std::string multipart_body(const std::string& boundary, const std::vector<part>& parts) {
    std::string body;
    for (const part& p : parts) {
        body += "--" + boundary + "\r\n" + p.disposition + "\r\n";
        for (const std::string& h : p.headers) {
            body += h + "\r\n";
        }
        body += "\r\n" + p.content + "\r\n";
    }
    return body + "--" + boundary + "--\r\n";
}

}  // namespace kestrel::test
