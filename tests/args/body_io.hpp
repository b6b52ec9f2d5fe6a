// body_io.hpp - a client connection for tests: the request body is a chosen
// text served in reads of at most a chosen size; what is written is kept.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "frame/wrb_state.hpp"

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

}  // namespace kestrel::test
