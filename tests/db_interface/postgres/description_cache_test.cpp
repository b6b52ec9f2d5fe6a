// description_cache_test.cpp - descriptions serve only within the DDL
// generation they were made at, and never when the generation is unknown.
#include "db_interface/postgres/description_cache.hpp"

#include <gtest/gtest.h>

namespace kestrel::db::pg {
namespace {

routine_description routine(const char* name) {
    routine_description r;
    r.requested = name;
    r.name = name;
    return r;
}

TEST(DescriptionCache, ServesOnlyWithinTheGenerationItWasDescribedAt) {
    description_cache cache;
    cache.start_request("7");
    cache.store(routine("p"));
    ASSERT_NE(cache.find("p"), nullptr);
    EXPECT_EQ(cache.find("P"), nullptr) << "names are kept as requested";

    const struct {
        std::optional<std::string> generation;
        bool kept;
    } requests[] = {
        {"7", true},
        {std::nullopt, false},  // generation unknown: nothing serves, nothing stays
        {"7", false},
    };
    for (const auto& r : requests) {
        cache.start_request(r.generation);
        EXPECT_EQ(cache.find("p") != nullptr, r.kept) << r.generation.value_or("none");
    }
    cache.store(routine("p"));
    cache.start_request("8");
    EXPECT_EQ(cache.find("p"), nullptr) << "a new generation empties the cache";
    cache.store(routine("q"));
    cache.clear();
    cache.start_request("8");
    EXPECT_EQ(cache.find("q"), nullptr) << "cleared at logoff";
}

TEST(DescriptionCache, StoresNothingWhileTheGenerationIsUnknown) {
    description_cache cache;
    cache.store(routine("p"));
    cache.start_request("");
    EXPECT_EQ(cache.find("p"), nullptr);
}

}  // namespace
}  // namespace kestrel::db::pg
