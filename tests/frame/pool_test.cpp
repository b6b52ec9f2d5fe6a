// pool_test.cpp - request and persistent pools: zero-filled blocks, guard
// report at release, resize semantics.
#include "frame/pool.hpp"

#include <cstring>
#include <limits>

#include "frame/diagnostics.hpp"
#include "support/request_fixture.hpp"

namespace kestrel::test {
namespace {

using pool_test = request_test;

TEST_F(pool_test, BlocksAreDistinctZeroFilledAndSized) {
    void* a = _xheap_alloc(ctx, 0);
    EXPECT_NE(a, _xheap_alloc(ctx, 0));
    EXPECT_EQ(heap_sizeof(ctx, a), 0u);
    auto* p = static_cast<unsigned char*>(_xheap_alloc(ctx, 300));
    EXPECT_EQ(std::count(p, p + 300, 0), 300);
    EXPECT_EQ(heap_sizeof(ctx, p), 300u);
    EXPECT_EQ(heap_sizeof(ctx, &ctx), 0u);
}

TEST_F(pool_test, OverwrittenGuardIsReportedOnceWithItsSource) {
    ctx.error_log_name = path("svc.err");
    _xheap_alloc(ctx, 8);
    const int line = __LINE__ + 1;
    char* damaged = static_cast<char*>(_xheap_alloc(ctx, 16));
    _xheap_alloc(ctx, 4);
    damaged[16] = 'x';
    heap_release(ctx);
    EXPECT_EQ(read_file(ctx.error_log_name),
              "Possible Heap corruption from file pool_test, " + std::to_string(line) + "\n");
    EXPECT_EQ(ctx.heap.head(), nullptr);
}

TEST_F(pool_test, ResizingAForeignAddressGivesAFreshBlockAndLeavesItAlone) {
    char outside[8] = "keepme";
    auto* p = static_cast<char*>(_xheap_realloc(ctx, outside, 10));
    EXPECT_NE(p, outside);
    EXPECT_STREQ(outside, "keepme");
    EXPECT_EQ(std::count(p, p + 10, 0), 10);
    EXPECT_EQ(heap_sizeof(ctx, p), 10u);
    auto* q = static_cast<char*>(_xheap_realloc(ctx, nullptr, 3));
    EXPECT_EQ(heap_sizeof(ctx, q), 3u);
}

TEST_F(pool_test, ResizeKeepsContentsAndChain) {
    auto* oldest = static_cast<char*>(_xheap_alloc(ctx, 10));
    auto* middle = static_cast<char*>(_xheap_alloc(ctx, 20));
    auto* newest = static_cast<char*>(_xheap_alloc(ctx, 30));
    std::strcpy(middle, "middle");
    std::strcpy(newest, "newest");
    middle = static_cast<char*>(_xheap_realloc(ctx, middle, 5000));
    newest = static_cast<char*>(_xheap_realloc(ctx, newest, 3));
    EXPECT_STREQ(middle, "middle");
    EXPECT_EQ(std::memcmp(newest, "new", 3), 0);
    EXPECT_EQ(heap_sizeof(ctx, oldest), 10u);
    EXPECT_EQ(heap_sizeof(ctx, middle), 5000u);
    EXPECT_EQ(heap_sizeof(ctx, newest), 3u);
    heap_release(ctx);
    EXPECT_EQ(ctx.heap.head(), nullptr);
}

TEST_F(pool_test, PersistentPoolIsSeparateAndReleasedSilently) {
    void* kept = _xpheap_alloc(ctx, 12);
    _xheap_alloc(ctx, 7);
    EXPECT_EQ(pheap_sizeof(ctx, kept), 12u);
    EXPECT_EQ(heap_sizeof(ctx, kept), 0u);
    heap_release(ctx);
    EXPECT_EQ(pheap_sizeof(ctx, kept), 12u);
    pheap_release(ctx);
    EXPECT_EQ(ctx.pheap.head(), nullptr);
}

TEST_F(pool_test, ImpossibleSizeFailsAsInsufficientCore) {
    EXPECT_THROW(_xheap_alloc(ctx, std::numeric_limits<std::size_t>::max()), fatal_error);
    EXPECT_THROW(_xpheap_alloc(ctx, std::size_t{1} << 33), fatal_error);
    EXPECT_NE(client->written.find("Insufficient CORE"), std::string::npos);
}

TEST_F(pool_test, ReleaseRunsCleanupsBeforeFreeing) {
    int* counter = static_cast<int*>(_xheap_alloc(ctx, sizeof(int)));
    int seen = -1;
    *counter = 41;
    ctx.heap.on_release([counter, &seen]() noexcept { seen = *counter + 1; });
    heap_release(ctx);
    EXPECT_EQ(seen, 42);
}

}  // namespace
}  // namespace kestrel::test
