// piece_reader.hpp - the pieces of a document's content (a bytea column),
// read by offset after its row. The first piece comes with the row. A span
// announced as read in order comes as the rows of one statement, a piece a
// row, taken one at a time while the server sends the next ones: writing a
// piece to the web server overlaps reading the following ones, no piece
// costs a round trip of its own, and what waits is bounded by the socket.
// Any other read costs one statement.
#pragma once

#include <cstddef>
#include <span>
#include <string>

#include "db_interface/postgres/connection.hpp"

namespace kestrel::db::pg {

class piece_reader {
  public:
    enum class outcome { read, missing, failed };

    // The row just fetched: its content is read from relation (quoted) by
    // name, total bytes long; column of row holds its first piece.
    void start(std::string relation, std::string name, std::size_t total, result row, int column);
    bool started() const { return started_; }

    // The next reads take the span from offset, length bytes long (at most
    // to the end), piece after piece.
    void plan(std::size_t offset, std::size_t length);

    // Copies the bytes from offset into piece, as many as it holds; returned
    // is 0 past the end. missing: the row is gone; failed: error says why
    // (none: the connection's own message).
    outcome read(connection& conn, std::size_t offset, std::span<std::byte> piece,
                 std::size_t& returned, result& error);

    void clear() { *this = {}; }

  private:
    // Brings the piece at offset (up to piece_size bytes) into held_.
    outcome fetch(connection& conn, std::size_t offset, std::size_t piece_size, result& error);
    outcome fetch_alone(connection& conn, std::size_t offset, std::size_t piece_size,
                        result& error);
    outcome start_stream(connection& conn, std::size_t offset, std::size_t piece_size,
                         result& error);
    outcome take_streamed(connection& conn, std::size_t piece_size, result& error);
    void hold(result row, int column, std::size_t offset);
    std::span<const std::byte> held_bytes() const;

    bool started_ = false;
    std::string relation_;
    std::string name_;  // a view has no ctid: pieces are read by name
    std::size_t total_ = 0;

    result held_;  // the piece on hand, in its column of a result
    int held_column_ = 0;
    std::size_t held_offset_ = 0;

    std::size_t planned_from_ = 0;
    std::size_t planned_end_ = 0;

    bool streaming_ = false;  // the statement of the planned pieces runs
    std::size_t stream_next_ = 0;
    std::size_t stream_end_ = 0;
};

}  // namespace kestrel::db::pg
