// description_cache.hpp - routine descriptions kept across the requests of a
// kept session, so that a warm request does not plan the catalog query again.
// Each entry belongs to the scope it was looked up in (the schemas a request
// may reach, or any schema for a post-action), so one never answers another.
// An entry serves only while the toolkit's DDL generation, read at the start
// of each request, is the one it was described at; any DDL that can change a
// description moves the generation and empties the cache.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "db_interface/postgres/routines.hpp"

namespace kestrel::db::pg {

class description_cache {
  public:
    // The generation of the request now starting; none when the database
    // cannot tell (no counter or no trigger): nothing is served then.
    void start_request(std::optional<std::string> generation);
    const routine_description* find(std::string_view scope, std::string_view name) const;
    void store(std::string_view scope, const routine_description& routine);
    void clear();

  private:
    std::optional<std::string> current_;
    std::string generation_;  // the one every entry was described at
    std::map<std::pair<std::string, std::string>, routine_description, std::less<>> entries_;
};

}  // namespace kestrel::db::pg
