// page_reader.cpp - page buffer to 255-byte slots; see page_reader.hpp.
#include "db_interface/postgres/page_reader.hpp"

#include <algorithm>
#include <cstring>

namespace kestrel::db::pg {
namespace {

constexpr const char* chunk_query = "SELECT piece, more::text FROM owa.get_page_chunk(65536)";

}  // namespace

pipelined_statement page_reader::fetch_statement() {
    return {chunk_query};
}

void page_reader::keep_fetched(result piece) {
    // A piece nobody read yet is older: it goes first.
    if (fetched_) {
        result error;
        if (!take(std::move(fetched_), error)) {
            fetched_ = std::move(error);
            return;
        }
    }
    fetched_ = std::move(piece);
    exhausted_ = false;
}

void page_reader::clear() {
    fetched_.reset();
    pending_.clear();
    pos_ = 0;
    exhausted_ = false;
}

bool page_reader::has_whole_line() const {
    const std::size_t left = pending_.size() - pos_;
    return left >= slot_text_max || pending_.find('\n', pos_) != std::string::npos;
}

bool page_reader::fetch(connection& conn, result& error) {
    return take(fetched_ ? std::move(fetched_) : conn.exec(chunk_query), error);
}

bool page_reader::take(result r, result& error) {
    if (failed(r.get())) {
        error = std::move(r);
        return false;
    }
    pending_.erase(0, pos_);
    pos_ = 0;
    if (PQntuples(r.get()) == 0 || PQgetisnull(r.get(), 0, 0) != 0) {
        exhausted_ = true;
        return true;
    }
    pending_.append(PQgetvalue(r.get(), 0, 0), PQgetlength(r.get(), 0, 0));
    exhausted_ = std::string_view(PQgetvalue(r.get(), 0, 1)) != "true";
    return true;
}

int page_reader::fill(connection& conn, std::uint32_t want, std::span<char> slots,
                      std::size_t slot_size, std::span<std::uint16_t> lengths, result& error) {
    if (slot_size < 2) {
        return 0;
    }
    const std::size_t text_max = std::min(slot_text_max, slot_size - 1);
    std::uint32_t filled = 0;
    while (filled < want && (filled + 1) * slot_size <= slots.size()) {
        // A line that may continue in the database is completed first, so
        // lines break at their own ends wherever they can.
        while (!exhausted_ && !has_whole_line()) {
            if (!fetch(conn, error)) {
                return -1;
            }
        }
        if (pos_ == pending_.size()) {
            break;
        }
        const std::size_t line_end = pending_.find('\n', pos_);
        const std::size_t line_length =
            line_end == std::string::npos ? pending_.size() - pos_ : line_end + 1 - pos_;
        const std::size_t length = std::min(line_length, text_max);
        char* slot = slots.data() + filled * slot_size;
        std::memcpy(slot, pending_.data() + pos_, length);
        slot[length] = '\0';
        if (filled < lengths.size()) {
            lengths[filled] = static_cast<std::uint16_t>(length);
        }
        pos_ += length;
        ++filled;
    }
    return static_cast<int>(filled);
}

}  // namespace kestrel::db::pg
