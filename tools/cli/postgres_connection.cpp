// SPDX-License-Identifier: MIT
#include "postgres_connection.hpp"

#include <stdexcept>

namespace kcli {

std::string one_line(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n' || c == '\t' || c == '\r') c = ' ';
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

PGconn* connect_postgres(const std::string& uri) {
    PGconn* connection = PQconnectdb(uri.c_str());
    if (connection == nullptr || PQstatus(connection) != CONNECTION_OK) {
        const std::string reason =
            connection ? one_line(PQerrorMessage(connection)) : "out of memory";
        PQfinish(connection);
        throw std::runtime_error("Cannot connect to PostgreSQL: " + reason);
    }
    return connection;
}

}  // namespace kcli
