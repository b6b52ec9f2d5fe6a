// multipart_clients_test.cpp - bodies that real clients sent (curl, Python's
// requests and urllib3, Node's FormData, Chromium; see multipart_clients/
// capture) are read byte-exact, and refused whole when cut short.
#include <string>

#include "args/arglist.hpp"
#include "frame/diagnostics.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

const std::filesystem::path clients_dir = KESTREL_MULTIPART_CLIENTS;

// What capture sends, in order: the plain fields, then the files.
const pair_list sent_fields = {
    {"title", "Holiday snaps"},
    {"grüße", "naïve café ✓"},
    {"note", "line 1\r\nline 2"},
    {"tag", "a"},
    {"tag", "b"},
    {"empty", ""},
    {"quote", "say \"hi\" \\ bye"},
};

struct sent_file {
    std::string field;
    std::string file_name;  // as the server should store it, without the client's path
    std::string mime_type;
    std::string input;      // under inputs/
    std::string stored_as;  // the generated name; "" for an empty file
};

const sent_file sent_files[] = {
    {"photo", "beach.gif", "image/gif", "photo.bin", "U0000001.gif"},
    {"doc", "résumé 2024.txt", "text/plain", "doc.txt", "U0000002.txt"},
    {"nothing", "empty.txt", "text/plain", "empty.txt", ""},
    // Every client sends the quotes as %22, which stays as it came.
    {"scan", "a %22b%22.txt", "text/plain", "scan.txt", "U0000003.txt"},
};

class MultipartClients : public request_test {
  protected:
    void post_capture(const std::string& sender, std::size_t cut = std::string::npos) {
        std::string type = read_file(clients_dir / "captures" / (sender + ".type"));
        type.erase(type.find_last_not_of("\r\n") + 1);
        post(read_file(clients_dir / "captures" / (sender + ".body")).substr(0, cut), type);
        db->on("IMG_SEQ").outcomes = {
            {.row = row_values{"1"}}, {.row = row_values{"2"}}, {.row = row_values{"3"}}};
    }

    void expect_form_as_sent(const std::string& sender) {
        pair_list expected = sent_fields;
        std::vector<const sent_file*> stored;
        for (const sent_file& f : sent_files) {
            expected.emplace_back(f.field, f.stored_as);
            if (!f.stored_as.empty()) {
                stored.push_back(&f);
            }
        }
        EXPECT_EQ(pairs(), expected) << sender;
        // Each stored file: the sequence value, then the insert of its bytes.
        ASSERT_EQ(db->statements.size(), 2 * stored.size()) << sender;
        for (std::size_t i = 0; i < stored.size(); ++i) {
            const sent_file& f = *stored[i];
            const execution_record& insert = db->statements[2 * i + 1].executions.at(0);
            EXPECT_EQ(insert.find("file_name")->text, f.file_name) << sender;
            EXPECT_EQ(insert.find("image")->text, read_file(clients_dir / "inputs" / f.input))
                << sender << ": " << f.field;
            EXPECT_EQ(insert.find("mime_type")->text, f.mime_type) << sender;
        }
    }
};

const char* const senders[] = {"curl", "requests", "urllib3", "node", "chromium"};

TEST_F(MultipartClients, EveryFieldAndFileArrivesAsSent) {
    for (const std::string sender : senders) {
        restart();
        post_capture(sender);
        build_arglist(ctx);
        expect_form_as_sent(sender);
    }
}

// Cut anywhere before the closing boundary's last dash, a body is refused
// before a file is stored; the line end after that boundary is optional.
TEST_F(MultipartClients, BodiesCutShortAreRefusedWhole) {
    for (const std::string sender : senders) {
        const std::size_t size = read_file(clients_dir / "captures" / (sender + ".body")).size();
        ASSERT_GT(size, 400u);
        std::vector<std::size_t> cuts;
        for (std::size_t cut = 0; cut < 200; ++cut) {
            cuts.push_back(cut);
            if (cut < 40) {
                cuts.push_back(size - 3 - cut);
            }
        }
        for (const std::size_t cut : cuts) {
            restart();
            post_capture(sender, cut);
            EXPECT_THROW(build_arglist(ctx), fatal_error) << sender << " cut at " << cut;
            EXPECT_NE(client->written.find("Multipart body ends before its closing boundary"),
                      std::string::npos)
                << sender << " cut at " << cut;
            EXPECT_TRUE(db->statements.empty()) << sender << " cut at " << cut;
            EXPECT_TRUE(ctx.args.empty()) << sender << " cut at " << cut;
        }
        for (const std::size_t cut : {size - 2, size - 1}) {
            restart();
            post_capture(sender, cut);
            build_arglist(ctx);
            expect_form_as_sent(sender);
        }
    }
}

}  // namespace
}  // namespace kestrel::test
