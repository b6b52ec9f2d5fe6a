// page.cpp - fetches the page buffer that the procedure filled, 27 lines a
// round trip, and writes each line to the client as it came. Last step of
// every road that ran database code (procedure, pre-action, post-action, includes).
#include "exec/page.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <string>

#include "db/binds.hpp"
#include "db/errors.hpp"
#include "db/session.hpp"
#include "frame/diagnostics.hpp"
#include "frame/wrb.hpp"
#include "timing/timing.hpp"

namespace kestrel {
namespace {

constexpr std::uint32_t page_batch_lines = 27;
constexpr std::size_t page_slot_size = 256;

// One batch: the slots and their per-slot arrays, cleared before each call.
struct page_batch {
    std::array<char, page_batch_lines * page_slot_size> slots;
    std::array<std::int16_t, page_batch_lines> indicators;
    std::array<std::uint16_t, page_batch_lines> lengths;
    std::array<std::uint16_t, page_batch_lines> return_codes;
    std::uint32_t current_count;

    void clear() {
        slots.fill('\0');
        indicators.fill(0);
        lengths.fill(0);
        return_codes.fill(0);
        current_count = page_batch_lines;
    }
};

int bind_slots(request_ctx& ctx, page_batch& batch) {
    db::array_bind bind;
    bind.name = ":data";
    bind.buffer = batch.slots;
    bind.element_size = page_slot_size;
    bind.indicators = batch.indicators;
    bind.lengths = batch.lengths;
    bind.return_codes = batch.return_codes;
    bind.max_elements = page_batch_lines;
    bind.current_count = &batch.current_count;
    return session_client(ctx).obndra(ctx.cda, bind);
}

// Each delivered slot is written with its own length, never past the slot.
void write_lines(request_ctx& ctx, const page_batch& batch, std::int32_t delivered) {
    const auto lines =
        std::min<std::uint32_t>(static_cast<std::uint32_t>(delivered), page_batch_lines);
    for (std::uint32_t i = 0; i < lines; ++i) {
        const std::size_t length = std::min<std::size_t>(batch.lengths[i], page_slot_size);
        WRBClientWrite(ctx.wrb_handle, &batch.slots[i * page_slot_size], length);
    }
}

bool is_download_marker(const page_batch& batch, std::int32_t delivered) {
    return delivered > 0 &&
           std::string_view(batch.slots.data(),
                            std::min<std::size_t>(batch.lengths[0], page_slot_size))
               .starts_with(download_marker);
}

// Writes the page; with downloads, stops before writing anything when the
// first line is the download marker and returns true.
bool fetch_page(request_ctx& ctx, bool downloads) {
    const std::uint32_t start = get_hsecs(ctx);
    static constexpr const char* statement = "begin owa.get_page(:data,:ndata);end;";
    if (session_client(ctx).oparse(ctx.cda, db::statement_kind::get_page, statement) != 0) {
        die_with_cursor_error(ctx);
    }
    page_batch batch;
    batch.clear();
    std::int32_t ndata = page_batch_lines;
    if (nbind(ctx, ":ndata", &ndata) != 0 || bind_slots(ctx, batch) != 0) {
        die_with_cursor_error(ctx);
    }
    do {
        batch.clear();
        ndata = page_batch_lines;
        if (session_client(ctx).oexec(ctx.cda) != 0) {
            die_with_cursor_error(ctx);
        }
        if (downloads && is_download_marker(batch, ndata)) {
            return true;
        }
        downloads = false;
        if (ndata > 0) {
            write_lines(ctx, batch, ndata);
        }
    } while (ndata == static_cast<std::int32_t>(page_batch_lines));
    log_timings(ctx, start, get_hsecs(ctx), "RETURN-PAGE");
    return false;
}

}  // namespace

void dump_page(request_ctx& ctx) {
    fetch_page(ctx, false);
}

bool dump_page_unless_download(request_ctx& ctx) {
    return fetch_page(ctx, true);
}

}  // namespace kestrel
