// fastcgi_records.cpp - stdout records from the caller's buffer; see
// fastcgi_records.hpp.
#include "host/fastcgi_records.hpp"

#include <fastcgi.h>
#include <sys/uio.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace kestrel {
namespace {

// The largest content length that keeps records 8-byte aligned, so that
// none needs padding.
constexpr std::size_t record_content_max = 65528;

// Writes both parts whole, going on after partial writes and signals.
bool write_whole(int fd, std::array<iovec, 2> parts) {
    std::size_t first = 0;
    while (first < parts.size()) {
        const ssize_t written =
            writev(fd, &parts.at(first), static_cast<int>(parts.size() - first));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        auto left = static_cast<std::size_t>(written);
        while (first < parts.size() && left >= parts.at(first).iov_len) {
            left -= parts.at(first).iov_len;
            ++first;
        }
        if (first < parts.size()) {
            parts.at(first).iov_base = static_cast<char*>(parts.at(first).iov_base) + left;
            parts.at(first).iov_len -= left;
        }
    }
    return true;
}

}  // namespace

bool write_stdout_records(int fd, int request_id, std::span<const char> data) {
    while (!data.empty()) {
        const std::size_t length = std::min(data.size(), record_content_max);
        FCGI_Header header{
            .version = FCGI_VERSION_1,
            .type = FCGI_STDOUT,
            .requestIdB1 = static_cast<unsigned char>((request_id >> 8) & 0xff),
            .requestIdB0 = static_cast<unsigned char>(request_id & 0xff),
            .contentLengthB1 = static_cast<unsigned char>((length >> 8) & 0xff),
            .contentLengthB0 = static_cast<unsigned char>(length & 0xff),
            .paddingLength = 0,
            .reserved = 0,
        };
        const std::array<iovec, 2> parts{
            {{&header, sizeof header}, {const_cast<char*>(data.data()), length}}};
        if (!write_whole(fd, parts)) {
            return false;
        }
        data = data.subspan(length);
    }
    return true;
}

}  // namespace kestrel
