#include "store.hpp"

namespace kcollect {

std::unique_ptr<Store> open_store(const std::string& target) {
    auto starts_with = [&](const char* prefix) { return target.rfind(prefix, 0) == 0; };
    if (starts_with("postgresql://") || starts_with("postgres://")) return open_postgres_store(target);
    if (starts_with("sqlite:")) return open_sqlite_store(target.substr(7));
    return open_sqlite_store(target);
}

}  // namespace kcollect
