// recording_client.cpp - the recording db::client double of the unit tests:
// keeps what the code under test sent and answers from the test's script.
#include "support/recording_client.hpp"

#include <algorithm>
#include <cstring>

namespace kestrel::test {
namespace {

// Codes of cursor calls made without a session, and of binds, defines and
// executions before any parse.
constexpr int not_connected = 3114;
constexpr int nothing_parsed = 1003;

std::string_view bare(std::string_view name) {
    while (!name.empty() && name.front() == ':') {
        name.remove_prefix(1);
    }
    return name;
}

std::string text_in(const char* data, std::size_t size) {
    return std::string(data, strnlen(data, size));
}

// Copies value into a NUL-terminated slot of size bytes; returns the length kept.
std::size_t put_text(char* slot, std::size_t size, std::string_view value) {
    if (size == 0) {
        return 0;
    }
    const std::size_t kept = std::min(value.size(), size - 1);
    std::memcpy(slot, value.data(), kept);
    slot[kept] = '\0';
    return kept;
}

template <typename Map>
auto find_named(const Map& map, std::string_view name) {
    return std::find_if(map.begin(), map.end(),
                        [&](const auto& entry) { return bare(entry.first) == bare(name); });
}

bind_record snapshot(const db::scalar_bind& b) {
    bind_record r;
    r.name = std::string(b.name);
    r.type = b.type;
    const auto* data = reinterpret_cast<const char*>(b.buffer.data());
    switch (b.type) {
        case db::data_type::integer:
            if (b.buffer.size() >= sizeof(std::int32_t)) {
                std::memcpy(&r.integer, data, sizeof r.integer);
            }
            break;
        case db::data_type::string:
            r.text = text_in(data, b.buffer.size());
            break;
        case db::data_type::long_varraw:
        case db::data_type::long_raw: {
            std::uint32_t length = 0;
            if (b.buffer.size() >= sizeof length) {
                std::memcpy(&length, data, sizeof length);
                length = std::min<std::uint32_t>(
                    length, static_cast<std::uint32_t>(b.buffer.size() - sizeof length));
                r.text.assign(data + sizeof length, length);
            }
            break;
        }
    }
    return r;
}

bind_record snapshot(const db::array_bind& b) {
    bind_record r;
    r.name = std::string(b.name);
    r.type = db::data_type::string;
    r.is_array = true;
    const std::uint32_t count = b.current_count != nullptr ? *b.current_count : 0;
    for (std::uint32_t i = 0; i < count && i < b.max_elements; ++i) {
        const std::size_t at = i * b.element_size;
        if (at + b.element_size > b.buffer.size()) {
            break;
        }
        r.elements.push_back(text_in(b.buffer.data() + at, b.element_size));
        r.lengths.push_back(i < b.lengths.size() ? b.lengths[i] : std::uint16_t{0});
    }
    return r;
}

const bind_record* find_record(const std::vector<bind_record>& binds, std::string_view name) {
    const auto it = std::find_if(binds.begin(), binds.end(),
                                 [&](const bind_record& b) { return bare(b.name) == bare(name); });
    return it != binds.end() ? &*it : nullptr;
}

}  // namespace

const bind_record* execution_record::find(std::string_view name) const {
    return find_record(binds, name);
}

const bind_record* statement_record::find_bind(std::string_view name) const {
    return find_record(binds, name);
}

statement_script& recording_client::on(std::string key) {
    for (auto& [known, script] : scripts_) {
        if (known == key) {
            return script;
        }
    }
    return scripts_.emplace_back(std::move(key), statement_script{}).second;
}

std::size_t recording_client::count(std::string_view call) const {
    return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call));
}

std::vector<std::string> recording_client::statement_texts() const {
    std::vector<std::string> texts;
    for (const auto& s : statements) {
        texts.push_back(s.text);
    }
    return texts;
}

int recording_client::cursor_result(db::cursor_area& cda, int rc) {
    if (++cursor_calls == fail_at) {
        rc = injected_failure;
        parsed_ = false;
    }
    cda.rc = rc;
    return rc;
}

int recording_client::olog(db::logon_area& lda, const db::logon_request& who) {
    calls.emplace_back("olog");
    logons.push_back(who);
    lda.rc = olog_rc;
    if (olog_rc == 0) {
        connected = true;
    }
    return olog_rc;
}

int recording_client::oopen(db::cursor_area& cda, db::logon_area&) {
    calls.emplace_back("oopen");
    return cursor_result(cda, connected ? oopen_rc : not_connected);
}

int recording_client::oparse(db::cursor_area& cda, const db::statement& what) {
    calls.emplace_back("oparse");
    live_ = live_statement{};
    parsed_ = false;
    if (!connected) {
        return cursor_result(cda, not_connected);
    }
    statements.push_back(statement_record{.kind = what.kind, .text = std::string(what.text)});
    for (auto& [key, script] : scripts_) {
        if (what.text.find(key) != std::string_view::npos) {
            live_.script = &script;
            break;
        }
    }
    const int rc = live_.script != nullptr ? live_.script->parse_rc : 0;
    parsed_ = rc == 0;
    return cursor_result(cda, rc);
}

int recording_client::parsed_cursor(const char* call) {
    calls.emplace_back(call);
    return !connected ? not_connected : !parsed_ ? nothing_parsed : 0;
}

int recording_client::bind_refusal(std::string_view name) const {
    if (live_.script == nullptr) {
        return 0;
    }
    const auto it = find_named(live_.script->bind_rc, name);
    return it != live_.script->bind_rc.end() ? it->second : 0;
}

int recording_client::obndrv(db::cursor_area& cda, const db::scalar_bind& bind) {
    if (const int rc = parsed_cursor("obndrv"); rc != 0) {
        return cursor_result(cda, rc);
    }
    if (const int rc = bind_refusal(bind.name); rc != 0) {
        return cursor_result(cda, rc);
    }
    live_.scalars.push_back(bind);
    statements.back().binds.push_back(snapshot(bind));
    return cursor_result(cda, 0);
}

int recording_client::obndra(db::cursor_area& cda, const db::array_bind& bind) {
    if (const int rc = parsed_cursor("obndra"); rc != 0) {
        return cursor_result(cda, rc);
    }
    if (const int rc = bind_refusal(bind.name); rc != 0) {
        return cursor_result(cda, rc);
    }
    live_.arrays.push_back(bind);
    statements.back().binds.push_back(snapshot(bind));
    return cursor_result(cda, 0);
}

int recording_client::odefin(db::cursor_area& cda, const db::column_define& define) {
    if (const int rc = parsed_cursor("odefin"); rc != 0) {
        return cursor_result(cda, rc);
    }
    live_.defines.push_back(define);
    return cursor_result(cda, 0);
}

const outcome& recording_client::next_outcome() {
    static const outcome default_outcome{};
    statement_script* script = live_.script;
    if (script == nullptr || script->outcomes.empty()) {
        return default_outcome;
    }
    const std::size_t at = std::min(script->used, script->outcomes.size() - 1);
    ++script->used;
    return script->outcomes[at];
}

execution_record recording_client::read_binds() const {
    execution_record exec;
    for (const auto& b : live_.scalars) {
        exec.binds.push_back(snapshot(b));
    }
    for (const auto& b : live_.arrays) {
        exec.binds.push_back(snapshot(b));
    }
    return exec;
}

void recording_client::write_outputs(const outcome& out) {
    for (const auto& b : live_.scalars) {
        auto* data = reinterpret_cast<char*>(b.buffer.data());
        if (const auto it = find_named(out.integers, b.name);
            it != out.integers.end() && b.buffer.size() >= sizeof(std::int32_t)) {
            std::memcpy(data, &it->second, sizeof(std::int32_t));
        }
        if (const auto it = find_named(out.texts, b.name); it != out.texts.end()) {
            put_text(data, b.buffer.size(), it->second);
            if (b.indicator != nullptr) {
                *b.indicator = 0;
            }
        }
        if (const auto it = find_named(out.indicators, b.name);
            it != out.indicators.end() && b.indicator != nullptr) {
            *b.indicator = it->second;
        }
    }
    for (const auto& b : live_.arrays) {
        const auto it = find_named(out.arrays, b.name);
        if (it == out.arrays.end()) {
            continue;
        }
        std::uint32_t n = 0;
        for (const auto& element : it->second) {
            const std::size_t at = n * b.element_size;
            if (n >= b.max_elements || at + b.element_size > b.buffer.size()) {
                break;
            }
            const std::size_t kept = put_text(b.buffer.data() + at, b.element_size, element);
            if (n < b.lengths.size()) {
                b.lengths[n] = static_cast<std::uint16_t>(kept);
            }
            if (n < b.indicators.size()) {
                b.indicators[n] = 0;
            }
            if (n < b.return_codes.size()) {
                b.return_codes[n] = 0;
            }
            ++n;
        }
        if (b.current_count != nullptr) {
            *b.current_count = n;
        }
    }
}

int recording_client::oexec(db::cursor_area& cda) {
    if (const int rc = parsed_cursor("oexec"); rc != 0) {
        return cursor_result(cda, rc);
    }
    statements.back().executions.push_back(read_binds());
    const outcome& out = next_outcome();
    if (out.rc == 0) {
        write_outputs(out);
    }
    return cursor_result(cda, out.rc);
}

int recording_client::oexfet(db::cursor_area& cda) {
    if (const int rc = parsed_cursor("oexfet"); rc != 0) {
        return cursor_result(cda, rc);
    }
    statements.back().executions.push_back(read_binds());
    const outcome& out = next_outcome();
    live_.row.reset();
    if (out.rc != 0) {
        return cursor_result(cda, out.rc);
    }
    if (!out.row) {
        return cursor_result(cda, db::no_data_found);
    }
    write_outputs(out);
    live_.row = out.row;
    for (const auto& d : live_.defines) {
        const auto column = static_cast<std::size_t>(d.position - 1);
        if (d.position < 1 || column >= live_.row->size()) {
            continue;
        }
        const auto& value = (*live_.row)[column];
        if (d.indicator != nullptr) {
            *d.indicator = value ? 0 : -1;
        }
        std::size_t kept = 0;
        auto* data = reinterpret_cast<char*>(d.buffer.data());
        if (value && d.type == db::data_type::long_raw) {
            kept = std::min(value->size(), d.buffer.size());
            std::memcpy(data, value->data(), kept);
        } else if (value) {
            kept = put_text(data, d.buffer.size(), *value);
        }
        if (d.returned_length != nullptr) {
            *d.returned_length = static_cast<std::uint16_t>(std::min<std::size_t>(kept, 65535));
        }
        if (d.return_code != nullptr) {
            *d.return_code = 0;
        }
    }
    return cursor_result(cda, 0);
}

int recording_client::oflng(db::cursor_area& cda, int position, std::span<std::byte> piece,
                            std::size_t offset, std::size_t& returned) {
    calls.emplace_back("oflng");
    returned = 0;
    if (!connected) {
        return cursor_result(cda, not_connected);
    }
    if (!live_.row) {
        return cursor_result(cda, db::no_data_found);
    }
    const auto column = static_cast<std::size_t>(position - 1);
    if (position < 1 || column >= live_.row->size() || !(*live_.row)[column]) {
        return cursor_result(cda, 0);
    }
    const std::string& value = *(*live_.row)[column];
    if (offset < value.size()) {
        returned = std::min(piece.size(), value.size() - offset);
        std::memcpy(piece.data(), value.data() + offset, returned);
    }
    return cursor_result(cda, 0);
}

int recording_client::ocom(db::logon_area& lda) {
    calls.emplace_back("ocom");
    return lda.rc = 0;
}

int recording_client::orol(db::logon_area& lda) {
    calls.emplace_back("orol");
    return lda.rc = 0;
}

int recording_client::oclose(db::cursor_area& cda) {
    calls.emplace_back("oclose");
    live_ = live_statement{};
    parsed_ = false;
    return cursor_result(cda, 0);
}

int recording_client::ologof(db::logon_area& lda) {
    calls.emplace_back("ologof");
    connected = false;
    live_ = live_statement{};
    parsed_ = false;
    return lda.rc = 0;
}

std::string recording_client::oerhms(db::logon_area&, int code) {
    calls.emplace_back("oerhms");
    if (const auto it = messages.find(code); it != messages.end()) {
        return it->second;
    }
    return "error " + std::to_string(code);
}

}  // namespace kestrel::test
