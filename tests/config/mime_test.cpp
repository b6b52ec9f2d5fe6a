// mime_test.cpp - MIME type of the request URL's extension and the type
// check, over a small table.
#include "config/mime.hpp"

#include "frame/frame_fixture.hpp"
#include "frame/wrb.hpp"

namespace kestrel::test {
namespace {

class mime_test : public frame_test {
  protected:
    void SetUp() override {
        frame_test::SetUp();
        ctx.mime_table = {{"text/html", "html htm"}, {"image/gif", "gif"}};
        ctx.default_mime_type = "application/octet-stream";
    }
    const char* type_of(const std::string& path_info) {
        set_env({"SCRIPT_NAME=/cgi", "PATH_INFO=" + path_info});
        return ext2mimeType(ctx);
    }
};

TEST_F(mime_test, ExtensionTable) {
    struct row {
        const char* path;
        const char* type;
    };
    for (const row r :
         {row{"/s/owa/page.htm", "text/html"}, row{"/s/owa/a.gif", "image/gif"},
          row{"/s/owa/a.GIF", "application/octet-stream"}, row{"/s/owa/a.", "text/html"},
          row{"/s/owa/none", "application/octet-stream"},
          row{"/s/owa/pkg.proc", "application/octet-stream"},
          row{"/s.gif/owa/x", "application/octet-stream"}, row{"/s/owa/a.h", "text/html"}}) {
        EXPECT_STREQ(type_of(r.path), r.type) << r.path;
    }
    EXPECT_STREQ(WRBGetReqMimeType(nullptr), "text/html");  // clientcxp is ctx
}

TEST_F(mime_test, FallbacksWithoutDefaultType) {
    ctx.default_mime_type.reset();
    EXPECT_EQ(type_of("/x/none"), nullptr);
    EXPECT_STREQ(MyGetReqMimeType(ctx), "text/html");
    set_env({"PATH_INFO=/a.gif"});
    EXPECT_STREQ(MyGetReqMimeType(ctx), "image/gif");
}

TEST_F(mime_test, ValidTypeIsExact) {
    EXPECT_TRUE(isValidMimeType(ctx, "text/html"));
    EXPECT_FALSE(isValidMimeType(ctx, "Text/HTML"));
    EXPECT_FALSE(isValidMimeType(ctx, "text/htm"));
    ctx.mime_table.clear();
    EXPECT_FALSE(isValidMimeType(ctx, "text/html"));
    EXPECT_STREQ(type_of("/a.gif"), "application/octet-stream");
}

}  // namespace
}  // namespace kestrel::test
