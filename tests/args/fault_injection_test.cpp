// fault_injection_test.cpp - the roads that write or stream data, with the
// Nth database call failing for N = 1, 2, ... until the request completes.
// After each failure the request's recovery runs as exec's would, and
// nothing half-done may be left: no upload file without its row, no file cut
// short, no argument list for the next request.
#include <filesystem>

#include "args/arglist.hpp"
#include "args/document_store.hpp"
#include "docs/download.hpp"
#include "frame/diagnostics.hpp"
#include "frame/pool.hpp"
#include "support/multipart_body.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

constexpr std::size_t give_up_at = 200;

class FaultInjection : public request_test {
  protected:
    std::size_t files_in(const std::filesystem::path& where) const {
        std::size_t n = 0;
        for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(where)) {
            ++n;
        }
        return n;
    }
    // The recovery of exec after a fatal error, as far as the request's own
    // state goes (the database rolls its rows back itself).
    void recover() {
        discard_uploaded_files(ctx);
        unbuild_arglist(ctx);
    }
};

TEST_F(FaultInjection, UploadsLeaveNoFileWithoutItsRow) {
    for (const bool to_files : {false, true}) {
        bool completed = false;
        for (std::size_t n = 1; n < give_up_at && !completed; ++n) {
            restart();
            const auto files = dir / "files";
            std::filesystem::create_directories(files);
            if (to_files) {
                set_config("demo_filedir", files.string());
            }
            db->on("IMG_SEQ").outcomes = {{.row = row_values{"1"}}, {.row = row_values{"2"}}};
            post(multipart_body("XyZ", {file("a", "a.txt", std::string(70000, 'a')),
                                        field("b", "1"), file("c", "c.txt", "cc")}),
                 "multipart/form-data; boundary=XyZ");
            db->fail_at = n;
            try {
                build_arglist(ctx);
                completed = true;
            } catch (const fatal_error&) {
                recover();
            }
            const std::size_t expected_files = completed && to_files ? 2 : 0;
            EXPECT_EQ(files_in(files), expected_files) << "failing call " << n;
            EXPECT_EQ(ctx.args.size(), completed ? 3u : 0u) << "failing call " << n;
        }
        EXPECT_TRUE(completed) << (to_files ? "files" : "table");
    }
}

TEST_F(FaultInjection, DownloadFailuresLeaveACleanStateForTheNextRequest) {
    const std::string document(5000, 'd');
    const std::string page =
        "Content-type: application/octet-stream\nContent-Length: 5000\nAccept-Ranges: "
        "bytes\nCache-Control: no-cache\n\n" +
        document;
    bool completed = false;
    for (std::size_t n = 1; n < give_up_at && !completed; ++n) {
        restart();
        set_config("blobPieceSize", "1000");
        request("doc.bin", "/owai/");
        db->on("from demo.image").outcomes = {
            {.row =
                 row_values{document, "application/octet-stream", "5000", "5000", std::nullopt}}};
        db->fail_at = n;
        try {
            return_image(ctx);
            completed = true;
            EXPECT_EQ(client->written, page);
        } catch (const fatal_error&) {
            recover();
        }
        // The same context serves the next request whole (a request that
        // failed mid-stream was cut; the next one starts a new response).
        heap_release(ctx);
        db->fail_at = 0;
        client->written.clear();
        wrb().answer = response();
        request("doc.bin", "/owai/");
        return_image(ctx);
        EXPECT_EQ(client->written, page) << "after failing call " << n;
    }
    EXPECT_TRUE(completed);
}

}  // namespace
}  // namespace kestrel::test
