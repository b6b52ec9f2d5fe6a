// multipart_body.hpp - builds multipart/form-data bodies the way browsers
// send them, for tests of the multipart road.
#pragma once

#include <string>
#include <vector>

namespace kestrel::test {

// One part of a multipart body: its disposition line, further header lines
// and content.
struct part {
    std::string disposition;
    std::vector<std::string> headers{};
    std::string content{};
};

inline part field(const std::string& name, const std::string& value) {
    return {"Content-Disposition: form-data; name=\"" + name + "\"", {}, value};
}

inline part file(const std::string& name, const std::string& file_name, const std::string& content,
                 const std::string& type = "") {
    part p{"Content-Disposition: form-data; name=\"" + name + "\"; filename=\"" + file_name + "\"",
           {},
           content};
    if (!type.empty()) {
        p.headers.push_back("Content-Type: " + type);
    }
    return p;
}

// The body a browser sends for these parts.
inline std::string multipart_body(const std::string& boundary, const std::vector<part>& parts) {
    std::string body;
    for (const part& p : parts) {
        body += "--" + boundary + "\r\n" + p.disposition + "\r\n";
        for (const std::string& h : p.headers) {
            body += h + "\r\n";
        }
        body += "\r\n" + p.content + "\r\n";
    }
    return body + "--" + boundary + "--\r\n";
}

}  // namespace kestrel::test
