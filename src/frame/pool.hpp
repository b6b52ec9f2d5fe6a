// pool.hpp - request and persistent memory pools.
// Every block remembers its size and the source position that asked for it,
// and carries a guard byte behind its payload that is checked when the pool is
// released. Nobody frees single blocks: a pool is released as a whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string_view>
#include <vector>

namespace kestrel {

struct request_ctx;

// The caller's source position, taken where the default argument is
// evaluated. Like source_position, but clang-based tools parse it too.
struct source_position {
    const char* file = "";
    int line = 0;

    static constexpr source_position current(const char* file = __builtin_FILE(),
                                             int line = __builtin_LINE()) {
        return {file, line};
    }
    constexpr const char* file_name() const { return file; }
    constexpr int line_number() const { return line; }
};

class pool {
  public:
    pool() = default;
    pool(const pool&) = delete;
    pool& operator=(const pool&) = delete;
    ~pool();

    struct block;  // header in front of every payload

    // Frees every block, newest first. Each block whose guard byte was
    // overwritten is reported through report_corruption. Returns the total of
    // the recorded sizes.
    template <typename Report>
    std::size_t release(Report&& report_corruption);

    block* head() const { return head_; }

    // Runs cleanup when the pool is released, before its blocks are freed
    // (newest first): for pool objects that own a C resource, such as a gzip
    // stream abandoned by a fatal error. cleanup must not throw.
    void on_release(std::function<void()> cleanup) { cleanups_.push_back(std::move(cleanup)); }

  private:
    friend void* pool_alloc(request_ctx&, pool&, std::size_t, source_position);
    friend void* pool_realloc(request_ctx&, pool&, void*, std::size_t, source_position);
    friend std::size_t pool_sizeof(const pool&, const void*);

    block* head_ = nullptr;
    std::vector<std::function<void()>> cleanups_;
};

struct pool::block {
    block* next;
    std::uint32_t size;
    std::string_view file;
    int line;

    char* payload() { return reinterpret_cast<char*>(this + 1); }
    bool guard_intact() { return payload()[size] == guard; }

    static constexpr char guard = '^';
};

// Returns a zero-filled payload of size bytes. Fails through die with
// "Insufficient CORE" when memory is exhausted.
void* pool_alloc(request_ctx& ctx, pool& p, std::size_t size, source_position where);

// Resizes a block of the pool; a payload the pool does not hold (null
// included) is treated as a fresh allocation and left untouched.
void* pool_realloc(request_ctx& ctx, pool& p, void* payload, std::size_t size,
                   source_position where);

// The recorded size of the block holding payload, 0 when the pool has none.
std::size_t pool_sizeof(const pool& p, const void* payload);

// Request pool: released at the end of every exec.
void* _xheap_alloc(request_ctx& ctx, std::size_t size,
                   source_position where = source_position::current());
char* _xheap_strdup(request_ctx& ctx, std::string_view text,
                    source_position where = source_position::current());
void* _xheap_realloc(request_ctx& ctx, void* payload, std::size_t size,
                     source_position where = source_position::current());
std::size_t heap_sizeof(request_ctx& ctx, const void* payload);
void heap_release(request_ctx& ctx);

// Persistent pool: released at shutdown.
void* _xpheap_alloc(request_ctx& ctx, std::size_t size,
                    source_position where = source_position::current());
char* _xpheap_strdup(request_ctx& ctx, std::string_view text,
                     source_position where = source_position::current());
void* _xpheap_realloc(request_ctx& ctx, void* payload, std::size_t size,
                      source_position where = source_position::current());
std::size_t pheap_sizeof(request_ctx& ctx, const void* payload);
void pheap_release(request_ctx& ctx);

template <typename Report>
std::size_t pool::release(Report&& report_corruption) {
    while (!cleanups_.empty()) {
        const std::function<void()> cleanup = std::move(cleanups_.back());
        cleanups_.pop_back();
        cleanup();
    }
    std::size_t total = 0;
    while (head_ != nullptr) {
        block* b = head_;
        head_ = b->next;
        total += b->size;
        if (!b->guard_intact()) {
            report_corruption(*b);
        }
        std::free(b);
    }
    return total;
}

}  // namespace kestrel
