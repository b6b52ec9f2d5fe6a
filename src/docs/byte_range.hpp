// byte_range.hpp - the Range request header of a document download: one
// byte range (first-last, first-, -suffix) resolved against the size.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestrel {

struct byte_range {
    enum class kind {
        whole,          // no usable Range: send everything (also for several ranges)
        slice,          // send first .. first + count - 1
        unsatisfiable,  // answer 416
    };
    kind what = kind::whole;
    std::uint64_t first = 0;
    std::uint64_t count = 0;
};

// header: the value of Range, or null when absent. A header that is not one
// well-formed bytes range is ignored, as the protocol asks; several ranges
// are answered with the whole document.
byte_range parse_byte_range(const char* header, std::uint64_t size);

}  // namespace kestrel
