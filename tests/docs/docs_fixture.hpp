// docs_fixture.hpp - the request of the document tests: a MIME table, the
// request's name and road, and the URL path /docs/ mapped to a directory.
#pragma once

#include "support/request_fixture.hpp"

namespace kestrel::test {

class docs_test : public request_test {
  protected:
    void SetUp() override {
        request_test::SetUp();
        ctx.mime_table = {{"text/html", "html htm"},
                          {"image/gif", "gif"},
                          {"application/pdf", "pdf"},
                          {"text/csv", "csv"},
                          {"application/octet-stream", "bin"}};
        ctx.default_mime_type = "text/plain";
        ctx.dir_maps = {{(dir / "docs").string() + "/", "/docs/"}};
        request("page.html");
    }
    const std::string& output() const { return client->written; }
};

}  // namespace kestrel::test
