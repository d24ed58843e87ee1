// SPDX-License-Identifier: MIT
// Which family a stored data log column belongs to, by the exporter's rule for live values: the
// column's unit and name, and whether its point is an energy counter, which the model's point
// catalogue tells from the point id the column's name belongs to.
#pragma once

#include "exporter/probe_metrics.hpp"

#include <map>
#include <string>
#include <tuple>

namespace kbackfill {

class LogFamilies {
public:
    // The family of a column of a `model` meter; nullptr for a column whose name is no point of
    // the model's catalogue, which the exporter never serves. Throws when the library cannot
    // list the model's points.
    const kexp::PointFamily* family_of(const std::string& model, const std::string& name,
                                       const std::string& unit);

private:
    // Per model: each point name, and whether it is an energy counter.
    std::map<std::string, std::map<std::string, bool>> counters_;
    // Per model, column name and unit: the family found.
    std::map<std::tuple<std::string, std::string, std::string>, const kexp::PointFamily*> known_;
};

}  // namespace kbackfill
