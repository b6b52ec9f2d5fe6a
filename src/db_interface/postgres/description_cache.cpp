// description_cache.cpp - see description_cache.hpp.
#include "db_interface/postgres/description_cache.hpp"

namespace kestrel::db::pg {

void description_cache::start_request(std::optional<std::string> generation) {
    current_ = std::move(generation);
    if (!current_ || *current_ != generation_) {
        entries_.clear();
        generation_ = current_.value_or("");
    }
}

const routine_description* description_cache::find(std::string_view scope,
                                                   std::string_view name) const {
    if (!current_) {
        return nullptr;
    }
    const auto found = entries_.find(std::pair(std::string(scope), std::string(name)));
    return found != entries_.end() ? &found->second : nullptr;
}

void description_cache::store(std::string_view scope, const routine_description& routine) {
    if (current_) {
        entries_.insert_or_assign(std::pair(std::string(scope), routine.requested), routine);
    }
}

void description_cache::clear() {
    current_.reset();
    entries_.clear();
    generation_.clear();
}

}  // namespace kestrel::db::pg
