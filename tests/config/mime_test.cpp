// mime_test.cpp - MIME type of the request URL's extension and the type
// check, over a small table.
#include "config/mime.hpp"

#include "frame/wrb.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

class Mime : public request_test {
  protected:
    void SetUp() override {
        request_test::SetUp();
        config->mime_table = {{"text/html", "html htm"}, {"image/gif", "gif"}};
        config->default_mime_type = "application/octet-stream";
    }
    const char* type_of(const std::string& path_info) {
        set_env({"SCRIPT_NAME=/cgi", "PATH_INFO=" + path_info});
        return ext2mimeType(ctx);
    }
};

TEST_F(Mime, ExtensionTable) {
    const std::pair<const char*, const char*> cases[] = {
        {"/s/owa/page.htm", "text/html"},
        {"/s/owa/a.gif", "image/gif"},
        {"/s/owa/a.GIF", "application/octet-stream"},
        {"/s/owa/a.", "text/html"},
        {"/s/owa/none", "application/octet-stream"},
        {"/s/owa/pkg.proc", "application/octet-stream"},
        {"/s.gif/owa/x", "application/octet-stream"},
        {"/s/owa/a.h", "text/html"},
    };
    for (const auto& [path, type] : cases) {
        EXPECT_STREQ(type_of(path), type) << path;
    }
    EXPECT_STREQ(WRBGetReqMimeType(nullptr), "text/html");  // of the last path
}

TEST_F(Mime, FallbacksWithoutDefaultType) {
    config->default_mime_type.reset();
    EXPECT_EQ(type_of("/x/none"), nullptr);
    EXPECT_STREQ(MyGetReqMimeType(ctx), "text/html");
    set_env({"PATH_INFO=/a.gif"});
    EXPECT_STREQ(MyGetReqMimeType(ctx), "image/gif");
}

TEST_F(Mime, ValidTypeIsExact) {
    EXPECT_TRUE(isValidMimeType(ctx, "text/html"));
    EXPECT_FALSE(isValidMimeType(ctx, "Text/HTML"));
    EXPECT_FALSE(isValidMimeType(ctx, "text/htm"));
    config->mime_table.clear();
    EXPECT_FALSE(isValidMimeType(ctx, "text/html"));
    EXPECT_STREQ(type_of("/a.gif"), "application/octet-stream");
}

}  // namespace
}  // namespace kestrel::test
