// frame_fixture.hpp - a fresh request context over a captured client
// connection, a chosen CGI environment and a scratch directory that holds
// the application file and every log, for frame, config and report tests.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "frame/request_ctx.hpp"
#include "frame/wrb_state.hpp"

namespace kestrel::test {

// Feeds a request body and keeps every write; a write limit simulates a
// client that went away.
class frame_client_io final : public client_io {
  public:
    std::string input;
    std::size_t offset = 0;
    std::string output;
    std::vector<std::size_t> writes;                    // the length of every write
    std::size_t accept = static_cast<std::size_t>(-1);  // bytes the client still takes

    std::size_t read(void* buffer, std::size_t length) override {
        const std::size_t n = std::min(length, input.size() - offset);
        std::memcpy(buffer, input.data() + offset, n);
        offset += n;
        return n;
    }
    std::size_t write(const void* buffer, std::size_t length) override {
        writes.push_back(length);
        const std::size_t n = std::min(length, accept);
        accept -= n;
        output.append(static_cast<const char*>(buffer), n);
        return n;
    }
    void flush() override {}
};

class frame_test : public ::testing::Test {
  protected:
    std::unique_ptr<request_ctx> owned_ctx = std::make_unique<request_ctx>();
    request_ctx& ctx = *owned_ctx;
    frame_client_io* client = nullptr;
    std::filesystem::path dir;

    void SetUp() override {
        auto io = std::make_unique<frame_client_io>();
        client = io.get();
        wrb().begin_request(nullptr, std::move(io));
        wrb().set_environment({});
        wrb().clientcxp = &ctx;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              ("kestrel-frame-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" +
               info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        wrb().ows_logfile = dir.string() + "/";
        wrb().dir_sep = '/';
        set_app_file("");
    }

    void TearDown() override {
        wrb().begin_request(nullptr, std::make_unique<frame_client_io>());
        wrb().set_environment({});
        wrb().clientcxp = nullptr;
        wrb().ows_appfile.clear();
        wrb().forget_config();
        std::filesystem::remove_all(dir);
    }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    std::string write_file(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
        return path(name);
    }

    static std::string read_file(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // The application file (also OWS_APPFILE's value for the readers).
    void set_app_file(const std::string& text) {
        wrb().ows_appfile = write_file("app.cfg", text);
        wrb().forget_config();
    }

    void set_env(const std::vector<std::string>& entries) { wrb().set_environment(entries); }

    // The fallback log of this process (no debugPath set).
    std::string fallback_log() const {
        return read_file(path("WRB_DBAUTH_" + std::to_string(::getpid()) + ".log"));
    }
};

}  // namespace kestrel::test
