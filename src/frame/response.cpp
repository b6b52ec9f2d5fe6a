// response.cpp - holding, releasing and cutting the response (see the
// header). The hold spills to an unnamed temporary file past
// hold_memory_max, which the system removes when it is closed.
#include "frame/response.hpp"

#include <array>

#include "frame/wrb_state.hpp"

namespace kestrel {

std::size_t response::write(client_io& io, const void* buffer, std::size_t length) {
    if (cut_) {
        return 0;
    }
    if (!holding_) {
        return send(io, buffer, length);
    }
    if (!keep(static_cast<const char*>(buffer), length)) {
        hold_failed_ = true;
    }
    return length;
}

void response::hold() {
    discard();
    holding_ = true;
    streaming_ = false;
}

bool response::release(client_io& io) {
    holding_ = false;
    bool whole = !hold_failed_;
    if (!memory_.empty() && send(io, memory_.data(), memory_.size()) < memory_.size()) {
        whole = false;
    }
    if (spill_ && !send_spill(io)) {
        whole = false;
    }
    discard();
    return whole;
}

void response::discard() {
    holding_ = false;
    hold_failed_ = false;
    memory_.clear();
    memory_.shrink_to_fit();
    spill_.reset();
    spilled_ = 0;
}

bool response::keep(const char* bytes, std::size_t length) {
    const std::size_t room = hold_memory_max - std::min(memory_.size(), hold_memory_max);
    const std::size_t in_memory = std::min(room, length);
    memory_.append(bytes, in_memory);
    if (in_memory == length) {
        return true;
    }
    if (!spill_) {
        spill_.reset(std::tmpfile());
        if (!spill_) {
            return false;
        }
    }
    const std::size_t rest = length - in_memory;
    const std::size_t written = std::fwrite(bytes + in_memory, 1, rest, spill_.get());
    spilled_ += written;
    return written == rest;
}

std::size_t response::send(client_io& io, const void* buffer, std::size_t length) {
    const std::size_t n = io.write(buffer, length);
    sent_ += n;
    return n;
}

bool response::send_spill(client_io& io) {
    if (std::fflush(spill_.get()) != 0 || std::fseek(spill_.get(), 0, SEEK_SET) != 0) {
        return false;
    }
    std::array<char, 65536> block{};
    for (;;) {
        const std::size_t n = std::fread(block.data(), 1, block.size(), spill_.get());
        if (n == 0) {
            return std::ferror(spill_.get()) == 0;
        }
        if (send(io, block.data(), n) < n) {
            return false;
        }
    }
}

}  // namespace kestrel
