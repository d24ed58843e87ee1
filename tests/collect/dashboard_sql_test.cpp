// SPDX-License-Identifier: MIT
// The database's Grafana dashboard against a real PostgreSQL that the collector filled from
// simulated meters, one of them after a power outage (gaps, days with records missing, power
// events), one whose clock runs ahead (warnings): every query of the dashboard, its variables
// and Grafana's macros written in as Grafana writes them for PostgreSQL, runs and finds rows.
#include "support/dashboards.hpp"
#include "support/site.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <regex>

namespace collect_test {
namespace {

using ktest::read_dashboard;
using nlohmann::json;

std::string utc_text(std::time_t t) {  // RFC 3339, as Grafana writes a time into SQL
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&t));
    return text;
}

// `sql` with Grafana's macros for PostgreSQL expanded over the time range `from` to `to` and the
// variables written in. A macro or variable the test does not know fails the test.
std::string expanded(const std::string& sql, const std::string& from, const std::string& to,
                     const std::map<std::string, std::string>& variables) {
    // As Grafana finds a macro: $__name(arguments), the arguments without parentheses.
    const std::regex macro(R"(\$(__[_a-zA-Z0-9]+)\(([^)]*)\))");
    std::string text;
    auto rest = sql.cbegin();
    for (std::sregex_iterator it(sql.begin(), sql.end(), macro), end; it != end; ++it) {
        const std::string name = (*it)[1], argument = (*it)[2];
        text.append(rest, (*it)[0].first);
        rest = (*it)[0].second;
        if (name == "__time")
            text += argument + " AS \"time\"";
        else if (name == "__timeFilter")
            text += argument + " BETWEEN '" + from + "' AND '" + to + "'";
        else if (name == "__timeFrom")
            text += "'" + from + "'";
        else if (name == "__timeTo")
            text += "'" + to + "'";
        else
            ADD_FAILURE() << "a macro the test does not know: $" << name;
    }
    text.append(rest, sql.cend());
    for (const auto& [name, value] : variables) {
        const std::regex variable("\\$(" + name + "\\b|\\{" + name + "\\})");
        text = std::regex_replace(text, variable, value);
    }
    EXPECT_EQ(text.find('$'), std::string::npos) << "a variable the test does not know in " << text;
    return text;
}

// The values of a query variable: its first column (__value when it has __text too).
std::vector<std::string> values_of(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::string> values;
    for (const auto& row : rows) values.push_back(row.at(0));
    return values;
}

TEST(DashboardSql, EveryQueryRunsAndFindsRowsOfTheCollectedSite) {
    std::string uri;
    try {
        uri = fresh_postgres_database();
    } catch (const std::exception& e) {
        FAIL() << e.what();
    }
    const json dashboard = read_dashboard("kolvane-database.json");
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    ksim::Simulator outage(meter_after_outage(5101, now));
    outage.set_journal_enabled(false);
    outage.start();
    SiteMeter ahead(ksim::Model::em235, 5102, 100, 10, now + 3 * 3600);
    const Outcome run =
        collect({"--hosts",
                 hosts_file("127.0.0.1:" + std::to_string(outage.port()) +
                            " em133 name=\"Main incomer\"\n" + ahead.address() + " em235\n"),
                 "--db", uri});
    ASSERT_EQ(run.exit_status, 0) << run.err << run.out;
    const auto db = open_postgres(uri);
    // A week back to a day ahead: every record, event and pass of both meters.
    const std::string from = utc_text(now - 7 * 86400), to = utc_text(now + 86400);

    // The variables in the order the dashboard lists them, each query with those before it.
    std::map<std::string, std::string> variables;
    for (const json& variable : dashboard.at("templating").at("list")) {
        if (variable.at("type") != "query") continue;
        const std::string name = variable.at("name"), sql = variable.at("query");
        std::vector<std::string> values;
        try {
            values = values_of(db->rows(expanded(sql, from, to, variables)));
        } catch (const std::exception& e) {
            FAIL() << "variable " << name << ": " << e.what();
        }
        ASSERT_FALSE(values.empty()) << "variable " << name << " has no values";
        if (name == "meter") {
            std::sort(values.begin(), values.end());
            ASSERT_EQ(values, (std::vector<std::string>{"5101", "5102"}));
            variables[name] = "5101";  // a single value goes in as it is: the meter with gaps
        } else {
            ASSERT_TRUE(variable.value("multi", false)) << name;
            std::string list;  // each value of a multiple choice quoted, as Grafana does
            for (const std::string& value : values)
                list += (list.empty() ? "'" : ",'") +
                        std::regex_replace(value, std::regex("'"), "''") + "'";
            variables[name] = list;
        }
    }

    for (const json& panel : dashboard.at("panels")) {
        for (const json& target : panel.at("targets")) {
            const std::string sql = expanded(target.at("rawSql"), from, to, variables);
            try {
                EXPECT_FALSE(db->rows(sql).empty()) << panel.at("title") << " finds no rows:\n"
                                                    << sql;
            } catch (const std::exception& e) {
                ADD_FAILURE() << panel.at("title") << ": " << e.what() << "\n" << sql;
            }
        }
    }
}

}  // namespace
}  // namespace collect_test
