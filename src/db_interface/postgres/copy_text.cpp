// copy_text.cpp - see copy_text.hpp.
#include "db_interface/postgres/copy_text.hpp"

namespace kestrel::db::pg {

std::string copy_text_field(const std::optional<std::string_view>& value) {
    if (!value) {
        return "\\N";
    }
    std::string field;
    field.reserve(value->size());
    for (const char c : *value) {
        switch (c) {
            case '\\':
                field += "\\\\";
                break;
            case '\t':
                field += "\\t";
                break;
            case '\n':
                field += "\\n";
                break;
            case '\r':
                field += "\\r";
                break;
            default:
                field += c;
        }
    }
    return field;
}

bool put_copy_bytea(std::span<const char> bytes, std::size_t piece_bytes,
                    const std::function<bool(std::string_view)>& put) {
    static constexpr char digits[] = "0123456789abcdef";
    if (!put("\\\\x")) {
        return false;
    }
    std::string hex;
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t count = std::min(piece_bytes, bytes.size() - done);
        hex.clear();
        hex.reserve(2 * count);
        for (const char c : bytes.subspan(done, count)) {
            const auto byte = static_cast<unsigned char>(c);
            hex += digits[byte >> 4];
            hex += digits[byte & 0x0f];
        }
        if (!put(hex)) {
            return false;
        }
        done += count;
    }
    return true;
}

}  // namespace kestrel::db::pg
