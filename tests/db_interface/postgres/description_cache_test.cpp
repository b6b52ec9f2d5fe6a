// description_cache_test.cpp - descriptions serve only within the DDL
// generation they were made at, never when the generation is unknown, and
// only in the scope they were looked up in.
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
    cache.store("only:", routine("p"));
    ASSERT_NE(cache.find("only:", "p"), nullptr);
    EXPECT_EQ(cache.find("only:", "P"), nullptr) << "names are kept as requested";
    EXPECT_EQ(cache.find("any", "p"), nullptr) << "a post-action's lookup is not a request's";

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
        EXPECT_EQ(cache.find("only:", "p") != nullptr, r.kept) << r.generation.value_or("none");
    }
    cache.store("only:", routine("p"));
    cache.start_request("8");
    EXPECT_EQ(cache.find("only:", "p"), nullptr) << "a new generation empties the cache";
    cache.store("only:", routine("q"));
    cache.clear();
    cache.start_request("8");
    EXPECT_EQ(cache.find("only:", "q"), nullptr) << "cleared at logoff";
}

TEST(DescriptionCache, StoresNothingWhileTheGenerationIsUnknown) {
    description_cache cache;
    cache.store("only:", routine("p"));
    cache.start_request("");
    EXPECT_EQ(cache.find("only:", "p"), nullptr);
}

}  // namespace
}  // namespace kestrel::db::pg
