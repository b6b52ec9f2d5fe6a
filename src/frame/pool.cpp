// pool.cpp - request and persistent memory pools.
// Every allocation of a request (bodies, piece buffers, argument arrays,
// statement texts) comes from here and is released at once at the end of
// exec; configuration lives in the persistent pool until shutdown.
#include "frame/pool.hpp"

#include <cstring>
#include <limits>

#include "frame/diagnostics.hpp"

namespace kestrel {
namespace {

// Header, payload, guard byte and 5 spare bytes: one piece per block.
constexpr std::size_t block_overhead = sizeof(pool::block) + 1 + 5;

// Refuses sizes that the 32-bit size field or the block arithmetic cannot
// hold; they count as exhausted memory.
std::size_t block_bytes(request_ctx& ctx, std::size_t size) {
    if (size > std::numeric_limits<std::uint32_t>::max() ||
        size > std::numeric_limits<std::size_t>::max() - block_overhead) {
        die(ctx, "Insufficient CORE");
    }
    return block_overhead + size;
}

void stamp(pool::block* b, std::size_t size, source_position where) {
    b->size = static_cast<std::uint32_t>(size);
    b->file = module_name(where.file_name());
    b->line = where.line_number();
    b->payload()[size] = pool::block::guard;
}

void report_corruption(request_ctx& ctx, const pool::block& b) {
    Message(ctx, "Possible Heap corruption from file %.*s, %d", static_cast<int>(b.file.size()),
            b.file.data(), b.line);
}

}  // namespace

pool::~pool() {
    release([](const block&) {});
}

void* pool_alloc(request_ctx& ctx, pool& p, std::size_t size, source_position where) {
    auto* b = static_cast<pool::block*>(std::malloc(block_bytes(ctx, size)));
    if (b == nullptr) {
        die(ctx, "Insufficient CORE");
    }
    std::memset(b->payload(), 0, size);
    b->next = p.head_;
    p.head_ = b;
    stamp(b, size, where);
    return b->payload();
}

void* pool_realloc(request_ctx& ctx, pool& p, void* payload, std::size_t size,
                   source_position where) {
    pool::block* prev = nullptr;
    pool::block* b = p.head_;
    while (b != nullptr && (payload == nullptr || b->payload() != payload)) {
        prev = b;
        b = b->next;
    }
    if (b == nullptr) {
        return pool_alloc(ctx, p, size, where);
    }
    const std::size_t bytes = block_bytes(ctx, size);
    // On failure the old block stays in the chain and is freed with the pool.
    auto* moved = static_cast<pool::block*>(std::realloc(b, bytes));
    if (moved == nullptr) {
        die(ctx, "Insufficient CORE");
    }
    stamp(moved, size, where);
    if (prev == nullptr) {
        p.head_ = moved;
    } else {
        prev->next = moved;
    }
    return moved->payload();
}

std::size_t pool_sizeof(const pool& p, const void* payload) {
    for (pool::block* b = p.head_; b != nullptr; b = b->next) {
        if (b->payload() == payload) {
            return b->size;
        }
    }
    return 0;
}

void* _xheap_alloc(request_ctx& ctx, std::size_t size, source_position where) {
    return pool_alloc(ctx, ctx.heap, size, where);
}

char* _xheap_strdup(request_ctx& ctx, std::string_view text, source_position where) {
    auto* copy = static_cast<char*>(pool_alloc(ctx, ctx.heap, text.size() + 1, where));
    std::memcpy(copy, text.data(), text.size());
    return copy;
}

void* _xheap_realloc(request_ctx& ctx, void* payload, std::size_t size, source_position where) {
    return pool_realloc(ctx, ctx.heap, payload, size, where);
}

std::size_t heap_sizeof(request_ctx& ctx, const void* payload) {
    return pool_sizeof(ctx.heap, payload);
}

void heap_release(request_ctx& ctx) {
    const std::size_t total =
        ctx.heap.release([&ctx](const pool::block& b) { report_corruption(ctx, b); });
    KESTREL_TRACE(ctx, "Heap Freed, total of %zu bytes allocated and freed", total);
}

void* _xpheap_alloc(request_ctx& ctx, std::size_t size, source_position where) {
    return pool_alloc(ctx, ctx.pheap, size, where);
}

char* _xpheap_strdup(request_ctx& ctx, std::string_view text, source_position where) {
    auto* copy = static_cast<char*>(pool_alloc(ctx, ctx.pheap, text.size() + 1, where));
    std::memcpy(copy, text.data(), text.size());
    return copy;
}

void* _xpheap_realloc(request_ctx& ctx, void* payload, std::size_t size, source_position where) {
    return pool_realloc(ctx, ctx.pheap, payload, size, where);
}

std::size_t pheap_sizeof(request_ctx& ctx, const void* payload) {
    return pool_sizeof(ctx.pheap, payload);
}

void pheap_release(request_ctx& ctx) {
    ctx.pheap.release([&ctx](const pool::block& b) { report_corruption(ctx, b); });
}

}  // namespace kestrel
