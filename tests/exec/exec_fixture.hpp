// exec_fixture.hpp - a request context for procedure-execution tests: the
// recording database double, captured client output, an application file
// with chosen [DBAUTH] entries and a chosen environment.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "frame/request_ctx.hpp"
#include "frame/wrb_state.hpp"
#include "support/recording_client.hpp"

namespace kestrel::test {

class capture_io final : public client_io {
  public:
    std::string written;
    std::vector<std::size_t> write_sizes;

    std::size_t read(void*, std::size_t) override { return 0; }
    std::size_t write(const void* buffer, std::size_t length) override {
        written.append(static_cast<const char*>(buffer), length);
        write_sizes.push_back(length);
        return length;
    }
    void flush() override {}
};

class exec_test : public ::testing::Test {
  protected:
    request_ctx ctx;
    recording_client* db = nullptr;
    capture_io* client = nullptr;
    std::filesystem::path dir;
    std::filesystem::path appfile;
    // Storage behind ctx.args.
    std::vector<std::string> arg_texts;

    void SetUp() override {
        auto owned = std::make_unique<recording_client>();
        db = owned.get();
        ctx.db = std::move(owned);
        auto io = std::make_unique<capture_io>();
        client = io.get();
        wrb().begin_request(nullptr, std::move(io));
        wrb().set_environment({});
        wrb().clientcxp = &ctx;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string test_name = info->name();
        std::replace(test_name.begin(), test_name.end(), '/', '_');
        dir = std::filesystem::temp_directory_path() /
              ("kestrel-exec-" + std::to_string(::getpid()) + "-" + test_name);
        std::filesystem::create_directories(dir);
        // die and Message write their logs here.
        wrb().ows_logfile = dir.string() + "/";
        appfile = dir / "kestrel.app";
        write_appfile({});
        service_entry service;
        service.owa_service = "demo";
        service.owa_user = "webuser";
        ctx.services.push_back(service);
        ctx.service_index = 0;
        ctx.service_name = "demo";
        ctx.service_type = "/owa/";
    }

    void TearDown() override {
        wrb().begin_request(nullptr, nullptr);
        wrb().clientcxp = nullptr;
        wrb().forget_config();
        wrb().ows_logfile.clear();
        std::filesystem::remove_all(dir);
    }

    // The [DBAUTH] section of the application file, one "key = value" each.
    void write_appfile(const std::vector<std::string>& entries) {
        std::ofstream out(appfile);
        out << "[DBAUTH]\n";
        for (const std::string& e : entries) {
            out << e << "\n";
        }
        out.close();
        wrb().ows_appfile = appfile.string();
        wrb().forget_config();
    }

    // The request's form fields, in order.
    void set_args(const std::vector<std::pair<std::string, std::string>>& pairs) {
        arg_texts.clear();
        arg_texts.reserve(pairs.size() * 2);
        ctx.args.clear();
        for (const auto& [name, value] : pairs) {
            arg_texts.push_back(name);
            arg_texts.push_back(value);
        }
        std::vector<std::string> seen;
        for (std::size_t i = 0; i < pairs.size(); ++i) {
            ctx.args.push_back({arg_texts[2 * i], arg_texts[2 * i + 1]});
            std::string lower = pairs[i].first;
            for (char& c : lower) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            if (std::find(seen.begin(), seen.end(), lower) == seen.end()) {
                seen.push_back(lower);
            }
        }
        ctx.arg_unique_count = static_cast<int>(seen.size());
    }
};

}  // namespace kestrel::test
