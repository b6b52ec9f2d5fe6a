// test_client.hpp - the client connection of the tests: serves a chosen
// request body in reads of at most max_read bytes and keeps every write, so a
// test sees exactly what a browser would receive; a write limit simulates a
// client that went away.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "frame/wrb_state.hpp"

namespace kestrel::test {

class test_client final : public client_io {
  public:
    std::string body;
    std::size_t max_read = static_cast<std::size_t>(-1);  // a pipe may deliver less
    std::size_t offset = 0;                               // bytes of body read so far
    std::vector<std::size_t> asked;                       // the length of every read
    std::string written;
    std::size_t accept = static_cast<std::size_t>(-1);  // bytes the client still takes

    std::size_t read(void* buffer, std::size_t length) override {
        asked.push_back(length);
        const std::size_t n = std::min({length, max_read, body.size() - offset});
        std::memcpy(buffer, body.data() + offset, n);
        offset += n;
        return n;
    }
    std::size_t write(const void* buffer, std::size_t length) override {
        const std::size_t n = std::min(length, accept);
        accept -= n;
        written.append(static_cast<const char*>(buffer), n);
        return n;
    }
    void flush() override {}
};

}  // namespace kestrel::test
