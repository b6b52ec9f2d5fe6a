// dbauth_fuzz.cpp - the [DBAUTH] reader of the application file: the input
// is the file. Every entry read must be a well-formed key and a trimmed,
// one-line value, and lookups must return the first entry of a key.
#include <string>

#include "frame/wrb.hpp"
#include "frame/wrb_state.hpp"
#include "fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using kestrel::fuzz::check;
    const std::string path =
        kestrel::fuzz::write_work_file("app.cfg", kestrel::fuzz::as_text(data, size));
    kestrel::fuzz::fuzz_request request({});
    kestrel::wrb_state& s = kestrel::wrb();
    s.ows_appfile = path;
    s.forget_config();

    kestrel::WRBGetConfigVal(nullptr, "debugPath");
    check(s.config.size() <= kestrel::config_entry_max, "at most 100 entries");
    for (std::size_t i = 0; i < s.config.size(); ++i) {
        const kestrel::config_entry& e = s.config[i];
        check(!e.key.empty(), "no entry without a key");
        check(e.key.find_first_of(" \t=\n") == std::string::npos, "a key is one word");
        check(e.value.find('\n') == std::string::npos, "a value is one line");
        check(e.value.empty() || e.value.find_first_of(" \t=") != 0, "a value starts trimmed");
        check(e.value.size() <= 1 || (e.value.back() != ' ' && e.value.back() != '\t'),
              "a value ends trimmed");
        const char* found = kestrel::WRBGetConfigVal(nullptr, e.key);
        std::size_t first = 0;
        while (s.config[first].key != e.key) {
            ++first;
        }
        check(found == s.config[first].value.c_str(), "a key yields its first value");
    }
    return 0;
}
