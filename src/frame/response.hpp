// response.hpp - the response of the current request on its way to the
// client. Every byte the cartridge writes passes here: held back while the
// request's transaction may still fail, released once the commit decided,
// streamed when a document asks for it, and cut when an error comes after
// the first byte has gone out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "base/text_file.hpp"

namespace kestrel {

class client_io;

// Held bytes stay in memory up to this size; the rest goes to a temporary
// file, so a page of any size costs at most this much memory.
inline constexpr std::size_t hold_memory_max = std::size_t{1024} * 1024;

class response {
  public:
    // Writes through to the client, or into the hold while holding. Returns
    // length, or fewer when the client is gone; 0 once the response is cut.
    std::size_t write(client_io& io, const void* buffer, std::size_t length);

    // From now on, bytes are held until release or discard.
    void hold();
    // Sends the held bytes and writes through from now on. False when they
    // could not all be kept or sent (no temporary file, client gone).
    bool release(client_io& io);
    // Forgets the held bytes and writes through from now on.
    void discard();
    // release for a document or file: its body is the whole response, so
    // nothing written after it belongs to the answer.
    bool stream(client_io& io) {
        streaming_ = true;
        return release(io);
    }
    // Nothing more reaches the client: an error came after the first byte.
    void cut() { cut_ = true; }

    bool is_holding() const { return holding_; }
    bool is_streaming() const { return streaming_; }
    bool is_cut() const { return cut_; }
    // True when held bytes could not all be kept (no temporary file).
    bool hold_failed() const { return hold_failed_; }
    // True once a byte has gone to the client (held bytes do not count).
    bool has_started() const { return sent_ > 0; }
    std::uint64_t bytes_sent() const { return sent_; }
    std::uint64_t bytes_held() const { return memory_.size() + spilled_; }

  private:
    bool keep(const char* bytes, std::size_t length);
    std::size_t send(client_io& io, const void* buffer, std::size_t length);
    bool send_spill(client_io& io);

    bool holding_ = false;
    bool streaming_ = false;
    bool cut_ = false;
    bool hold_failed_ = false;
    std::uint64_t sent_ = 0;
    std::string memory_;
    file_handle spill_;
    std::uint64_t spilled_ = 0;
};

}  // namespace kestrel
