// fuzz_support.hpp - what every fuzz target needs to drive the gateway like
// one request: a fresh context with the recording database client, the
// request's environment and body, a client that keeps the response, logs
// that go nowhere, and the rule that a fatal error is an expected outcome.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "frame/diagnostics.hpp"
#include "frame/request_ctx.hpp"
#include "frame/wrb_state.hpp"
#include "support/recording_client.hpp"

namespace kestrel::fuzz {

// The client connection: serves the body in reads of at most read_max bytes
// (so multi-read paths run) and keeps every byte written.
class fuzz_io final : public client_io {
  public:
    fuzz_io(std::string body, std::size_t read_max) : body_(std::move(body)), read_max_(read_max) {}
    std::size_t read(void* buffer, std::size_t length) override;
    std::size_t write(const void* buffer, std::size_t length) override;
    void flush() override {}

    std::string out;

  private:
    std::string body_;
    std::size_t at_ = 0;
    std::size_t read_max_;
};

// One request: a context with the recording client, the environment given
// as NAME=value entries and the body. The [DBAUTH] table is the one given
// (the application file is not read). Everything is released with it.
class fuzz_request {
  public:
    explicit fuzz_request(const std::vector<std::string>& environment, std::string body = {},
                          std::size_t read_max = 4096);
    fuzz_request(const fuzz_request&) = delete;
    fuzz_request& operator=(const fuzz_request&) = delete;
    ~fuzz_request();

    // Runs step; a fatal_error (die/xdie) is an answer, not a finding.
    // Returns false when the step ended that way.
    template <typename Step>
    bool run(Step&& step) {
        try {
            step();
            return true;
        } catch (const fatal_error&) {
            return false;
        }
    }

    void set_config(std::string key, std::string value);

    // The configuration the context reads; the target builds it as init would.
    const std::shared_ptr<gateway_config> config = std::make_shared<gateway_config>();
    request_ctx ctx{config};
    test::recording_client& db;
    fuzz_io& io;

  private:
    fuzz_request(const std::vector<std::string>& environment,
                 std::unique_ptr<test::recording_client> client,
                 std::unique_ptr<fuzz_io> connection);
};

// The private directory of this process (removed at exit); log files of the
// gateway written there are links to /dev/null.
const std::string& work_dir();

// Writes content to a file of the work directory and returns its path.
std::string write_work_file(std::string_view name, std::string_view content);

// The text before the first separator and the text after it; the whole
// input and an empty rest when there is none.
std::pair<std::string_view, std::string_view> split_at(std::string_view text, char separator);

// A property of the code under test that must hold for every input; when it
// does not, the input is a finding: report and abort.
void check(bool holds, const char* what);

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

}  // namespace kestrel::fuzz
