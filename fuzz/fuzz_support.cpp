// fuzz_support.cpp - the request harness of the fuzz targets: one fresh
// context per input, the recording database client, and log files that are
// links to /dev/null so that millions of fatal errors leave no trace.
#include "fuzz_support.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace kestrel::fuzz {
namespace {

void remove_work_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(work_dir(), ignored);
}

std::string make_work_dir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrel-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("kestrel fuzz: mkdtemp");
        std::abort();
    }
    return pattern + "/";
}

// The trace log of this process goes to /dev/null; libFuzzer's workers are
// separate processes, each with its own directory.
void link_logs_to_null(const std::string& dir) {
    const std::string log = dir + "WRB_DBAUTH_" + std::to_string(getpid()) + ".log";
    std::filesystem::create_symlink("/dev/null", log);
}

}  // namespace

std::size_t fuzz_io::read(void* buffer, std::size_t length) {
    const std::size_t n = std::min({length, read_max_, body_.size() - at_});
    std::memcpy(buffer, body_.data() + at_, n);
    at_ += n;
    return n;
}

std::size_t fuzz_io::write(const void* buffer, std::size_t length) {
    out.append(static_cast<const char*>(buffer), length);
    return length;
}

const std::string& work_dir() {
    static const std::string dir = make_work_dir();
    // Registered after dir is complete, so the removal runs before dir dies.
    static const bool prepared = [] {
        link_logs_to_null(dir);
        std::atexit(remove_work_dir);
        return true;
    }();
    static_cast<void>(prepared);
    return dir;
}

std::string write_work_file(std::string_view name, std::string_view content) {
    std::string path = work_dir() + std::string(name);
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(content.data(), static_cast<std::streamsize>(content.size()));
    return path;
}

fuzz_request::fuzz_request(const std::vector<std::string>& environment, std::string body,
                           std::size_t read_max)
    : fuzz_request(environment, std::make_unique<test::recording_client>(),
                   std::make_unique<fuzz_io>(std::move(body), read_max)) {}

fuzz_request::fuzz_request(const std::vector<std::string>& environment,
                           std::unique_ptr<test::recording_client> client,
                           std::unique_ptr<fuzz_io> connection)
    : db(*client), io(*connection) {
    ctx.db = std::move(client);
    wrb_state& s = wrb();
    s.ows_logfile = work_dir();
    s.begin_request(nullptr, std::move(connection));
    s.set_environment(environment);
    s.clientcxp = &ctx;
    s.config_read = true;
    s.config.clear();
}

fuzz_request::~fuzz_request() {
    heap_release(ctx);
    pheap_release(ctx);
    wrb_state& s = wrb();
    s.begin_request(nullptr, nullptr);
    s.set_environment({});
    s.forget_config();
    s.clientcxp = nullptr;
}

void fuzz_request::set_config(std::string key, std::string value) {
    wrb().config.push_back({std::move(key), std::move(value)});
}

std::pair<std::string_view, std::string_view> split_at(std::string_view text, char separator) {
    const std::size_t at = text.find(separator);
    if (at == std::string_view::npos) {
        return {text, {}};
    }
    return {text.substr(0, at), text.substr(at + 1)};
}

void check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "kestrel fuzz: property violated: %s\n", what);
        std::abort();
    }
}

}  // namespace kestrel::fuzz
