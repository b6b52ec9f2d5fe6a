// text_file.cpp - the line reader of the configuration files.
#include "base/text_file.hpp"

#include <cstring>

namespace kestrel {

bool read_line(std::FILE* f, std::size_t max, std::string& line) {
    line.clear();
    int c = 0;
    while ((c = std::fgetc(f)) != EOF) {
        if (line.size() < max) {
            line.push_back(static_cast<char>(c));
        }
        if (c == '\n') {
            break;
        }
    }
    const bool got_line = c != EOF || !line.empty();
    // The text ends at a NUL byte; the line itself still ends at its newline.
    line.resize(std::strlen(line.c_str()));
    return got_line;
}

}  // namespace kestrel
