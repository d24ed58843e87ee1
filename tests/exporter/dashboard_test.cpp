// SPDX-License-Identifier: MIT
// The exporter's Grafana dashboard against a real Prometheus scraping, through the exporter,
// four simulated meters of both models behind one gateway: every expression, its variables
// written in as Grafana writes them, finds series of each meter, and the meter variable lists
// each of them.
#include "exporter_process.hpp"

#include "support/dashboards.hpp"

#include <simulator.hpp>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <regex>
#include <stdexcept>
#include <string_view>

namespace exporter_test {
namespace {

using ktest::read_dashboard;
using nlohmann::json;

// A value as Grafana writes a multi-value variable into a PromQL regular expression: regular
// expression characters escaped by a backslash, itself escaped in the string literal.
std::string regex_escaped(const std::string& value) {
    std::string escaped;
    for (const char c : value) {
        if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos)
            escaped += "\\\\";
        escaped += c;
    }
    return escaped;
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// Every expression of the dashboard's panels for the meter `instance`, Grafana's interval
// variables as fixed durations. An expression with a variable left over fails the test.
std::vector<std::string> expressions(const json& dashboard, const std::string& instance) {
    const std::vector<std::pair<std::string, std::string>> variables{
        {"$__rate_interval", "1m"},
        {"$__interval", "15s"},
        {"$__range", "1h"},
        {"${instance}", regex_escaped(instance)},
        {"$instance", regex_escaped(instance)}};
    std::vector<std::string> found;
    for (const json& panel : dashboard.at("panels")) {
        for (const json& target : panel.at("targets")) {
            std::string expr = target.at("expr");
            for (const auto& [name, value] : variables) expr = replaced(expr, name, value);
            EXPECT_EQ(expr.find('$'), std::string::npos)
                << panel.at("title") << ": a variable the test does not know in " << expr;
            found.push_back(expr);
        }
    }
    return found;
}

// The PromQL that gives the values of a query variable `label_values(METRIC, LABEL)`, and LABEL.
std::pair<std::string, std::string> label_values_query(const json& variable) {
    const std::regex label_values(R"(label_values\((\w+),\s*(\w+)\))");
    std::smatch match;
    const std::string query = variable.at("query");
    if (!std::regex_match(query, match, label_values))
        throw std::runtime_error("not a label_values query: " + query);
    return {"count by (" + match[2].str() + ") (" + match[1].str() + ")", match[2]};
}

TEST(Dashboard, EveryExpressionFindsSeriesOfEachMeterAndTheVariableListsThem) {
    const json dashboard = read_dashboard("kolvane-exporter.json");
    ksim::Simulator gateway;
    for (const int unit : {1, 2, 3, 4})
        gateway.add_unit(
            static_cast<std::uint8_t>(unit),
            ksim::default_meter(unit <= 2 ? ksim::Model::em133 : ksim::Model::em235, 2));
    const std::string address = "127.0.0.1:" + std::to_string(gateway.start());
    std::vector<ScrapeTarget> targets;
    std::vector<std::string> meters, hosts;  // the instances, the hosts file
    for (const int unit : {1, 2, 3, 4}) {
        targets.push_back({address, unit});
        meters.push_back(address + "/" + std::to_string(unit));
        hosts.push_back(address + (unit <= 2 ? " em133" : " em235") +
                        " unit=" + std::to_string(unit));
    }
    Exporter exporter({"--hosts", hosts_file(hosts)});
    Prometheus prometheus(targets, exporter.address());

    std::map<std::string, Prometheus::Answer> answers;
    for (const std::string& meter : meters)
        for (const std::string& expr : expressions(dashboard, meter)) answers[expr] = {};
    // increase() and rate() need two samples of a series: a few scrapes.
    const bool all_answered = Prometheus::wait_until([&] {
        bool all = true;
        for (auto& [expr, answer] : answers) {
            if (answer.series.empty()) answer = prometheus.query(expr);
            all = all && !answer.series.empty();
        }
        return all;
    });
    if (!all_answered) {
        for (const auto& [expr, answer] : answers)
            if (answer.series.empty())
                ADD_FAILURE() << expr << ": "
                              << (answer.error.empty() ? "no series" : answer.error);
        FAIL() << "not every expression found series within 60 s; Prometheus: "
               << prometheus.stop();
    }

    const json& variables = dashboard.at("templating").at("list");
    const auto meter_variable = std::find_if(variables.begin(), variables.end(), [](const json& v) {
        return v.at("name") == "instance";
    });
    ASSERT_TRUE(meter_variable != variables.end());
    const auto [query, label] = label_values_query(*meter_variable);
    std::vector<std::string> listed;
    for (const json& series : prometheus.query(query).series)
        listed.push_back(series["metric"][label]);
    std::sort(listed.begin(), listed.end());
    std::vector<std::string> expected = meters;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
}

}  // namespace
}  // namespace exporter_test
