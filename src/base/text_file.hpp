// text_file.hpp - the one owner of a C stream, and the line reader of the
// configuration files.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>

namespace kestrel {

struct file_closer {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

// A stream closed when its owner goes: every fopen of the gateway lands here.
using file_handle = std::unique_ptr<std::FILE, file_closer>;

// Reads one line: its first max characters, the newline included when it is
// among them. The rest of a longer line is skipped, so that its tail is never
// taken for a line of its own; a NUL byte ends the text, not the line. False
// at the end of the file.
bool read_line(std::FILE* f, std::size_t max, std::string& line);

}  // namespace kestrel
