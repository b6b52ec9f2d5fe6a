// piece_reader.cpp - a document's pieces by offset; see piece_reader.hpp.
#include "db_interface/postgres/piece_reader.hpp"

#include <algorithm>
#include <cstring>

namespace kestrel::db::pg {
namespace {

// One piece: $2 its first byte (1-based), $3 its length.
std::string piece_select(const std::string& relation) {
    return "SELECT substring(image FROM $2::integer FOR $3::integer) FROM " + relation +
           " WHERE name = $1";
}

// The pieces of a span: $2 its first byte (1-based), $3 the piece size, $4
// its last byte. The series depends on the row, so the row comes first and
// the pieces follow in the order of the series, each sliced from the stored
// value without reading the rest of it.
std::string stream_select(const std::string& relation) {
    return "SELECT substring(d.image FROM o FOR least($3::integer, $4::integer - o + 1)) "
           "FROM (SELECT image FROM " +
           relation +
           " WHERE name = $1 LIMIT 1) AS d, LATERAL generate_series($2::integer, "
           "least($4::integer, octet_length(d.image)), $3::integer) AS o";
}

}  // namespace

void piece_reader::start(std::string relation, std::string name, std::size_t total, result row,
                         int column) {
    clear();
    started_ = true;
    relation_ = std::move(relation);
    name_ = std::move(name);
    total_ = total;
    hold(std::move(row), column, 0);
}

void piece_reader::plan(std::size_t offset, std::size_t length) {
    planned_from_ = std::min(offset, total_);
    planned_end_ = planned_from_ + std::min(length, total_ - planned_from_);
}

piece_reader::outcome piece_reader::read(connection& conn, std::size_t offset,
                                         std::span<std::byte> piece, std::size_t& returned,
                                         result& error) {
    returned = 0;
    if (offset >= total_ || piece.empty()) {
        return outcome::read;
    }
    const std::size_t wanted = std::min(piece.size(), total_ - offset);
    const std::span<const std::byte> held = held_bytes();
    const bool on_hand = offset >= held_offset_ && offset + wanted <= held_offset_ + held.size();
    if (!on_hand) {
        if (const outcome o = fetch(conn, offset, piece.size(), error); o != outcome::read) {
            return o;
        }
    }
    const std::span<const std::byte> bytes = held_bytes();
    const std::size_t from = std::min(offset - held_offset_, bytes.size());
    returned = std::min(wanted, bytes.size() - from);
    std::memcpy(piece.data(), bytes.data() + from, returned);
    return outcome::read;
}

piece_reader::outcome piece_reader::fetch(connection& conn, std::size_t offset,
                                          std::size_t piece_size, result& error) {
    if (streaming_ && conn.rows_pending() && offset == stream_next_) {
        return take_streamed(conn, piece_size, error);
    }
    streaming_ = false;
    const bool planned = offset >= planned_from_ && offset < planned_end_;
    if (planned && planned_end_ - offset > piece_size) {
        return start_stream(conn, offset, piece_size, error);
    }
    return fetch_alone(conn, offset, piece_size, error);
}

piece_reader::outcome piece_reader::fetch_alone(connection& conn, std::size_t offset,
                                                std::size_t piece_size, result& error) {
    const std::size_t wanted = std::min(piece_size, total_ - offset);
    result r = conn.exec(
        piece_select(relation_),
        {param{name_}, param{std::to_string(offset + 1)}, param{std::to_string(wanted)}}, true);
    if (failed(r.get())) {
        error = std::move(r);
        return outcome::failed;
    }
    if (PQntuples(r.get()) != 1) {
        return outcome::missing;
    }
    hold(std::move(r), 0, offset);
    return outcome::read;
}

piece_reader::outcome piece_reader::start_stream(connection& conn, std::size_t offset,
                                                 std::size_t piece_size, result& error) {
    if (!conn.start_rows(stream_select(relation_),
                         {param{name_}, param{std::to_string(offset + 1)},
                          param{std::to_string(piece_size)}, param{std::to_string(planned_end_)}},
                         true, error)) {
        return outcome::failed;
    }
    streaming_ = true;
    stream_next_ = offset;
    stream_end_ = planned_end_;
    return take_streamed(conn, piece_size, error);
}

piece_reader::outcome piece_reader::take_streamed(connection& conn, std::size_t piece_size,
                                                  result& error) {
    result row = conn.next_row();
    if (PQresultStatus(row.get()) != PGRES_SINGLE_TUPLE) {
        // The rows ended before the piece: the value is shorter now, or
        // the read failed.
        streaming_ = false;
        if (failed(row.get())) {
            error = std::move(row);
            return outcome::failed;
        }
        return fetch_alone(conn, stream_next_, piece_size, error);
    }
    const std::size_t offset = stream_next_;
    stream_next_ += static_cast<std::size_t>(PQgetlength(row.get(), 0, 0));
    hold(std::move(row), 0, offset);
    if (stream_next_ >= stream_end_) {
        // The last piece: the statement's end follows it closely, and says
        // whether the statement as a whole succeeded.
        streaming_ = false;
        result end = conn.next_row();
        if (failed(end.get())) {
            error = std::move(end);
            return outcome::failed;
        }
    }
    return outcome::read;
}

void piece_reader::hold(result row, int column, std::size_t offset) {
    held_ = std::move(row);
    held_column_ = column;
    held_offset_ = offset;
}

std::span<const std::byte> piece_reader::held_bytes() const {
    if (!held_ || PQntuples(held_.get()) < 1 || PQnfields(held_.get()) <= held_column_) {
        return {};
    }
    return {reinterpret_cast<const std::byte*>(PQgetvalue(held_.get(), 0, held_column_)),
            static_cast<std::size_t>(PQgetlength(held_.get(), 0, held_column_))};
}

}  // namespace kestrel::db::pg
