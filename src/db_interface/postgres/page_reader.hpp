// page_reader.hpp - the gateway's page fetch on the toolkit's page buffer.
// The buffer is read in large pieces (owa.get_page_chunk) and handed out as
// slots of at most 255 bytes: a line per slot, a longer line over several
// consecutive slots, so the bytes the gateway writes are exactly the page.
// What does not fit this batch waits for the next one. The first piece
// may come with the statement that wrote the page, in its round trip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "db_interface/postgres/connection.hpp"

namespace kestrel::db::pg {

class page_reader {
  public:
    static constexpr std::size_t slot_text_max = 255;

    // Fills up to want slots of slot_size bytes (NUL-terminated text, length
    // in lengths[i]). Returns the number filled, fewer than want only when
    // the page buffer is exhausted; -1 with error set when the query fails.
    int fill(connection& conn, std::uint32_t want, std::span<char> slots, std::size_t slot_size,
             std::span<std::uint16_t> lengths, result& error);

    // The fetch of the next piece, to travel with the statement that fills
    // the buffer; its result goes to keep_fetched.
    static pipelined_statement fetch_statement();
    // A piece fetched with another statement: fill reads it before asking
    // the database for more, so no line is lost or reordered.
    void keep_fetched(result piece);

    // A new statement may write more output: ask the database again.
    void forget_exhaustion() { exhausted_ = false; }
    // The session ended or was reset: drop what was carried.
    void clear();

  private:
    bool fetch(connection& conn, result& error);
    // Adds a fetched piece to what is pending; false with error set when the
    // fetch failed.
    bool take(result r, result& error);
    bool has_whole_line() const;

    result fetched_;  // fetched with another statement, not yet read
    std::string pending_;
    std::size_t pos_ = 0;
    bool exhausted_ = false;
};

}  // namespace kestrel::db::pg
