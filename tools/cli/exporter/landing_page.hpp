// SPDX-License-Identifier: MIT
// The page at "/": what the exporter serves and how Prometheus scrapes it.
#pragma once

#include <string>

namespace kexp {

// A Prometheus scrape configuration for the multi-target pattern, pointing at `exporter`
// (HOST:PORT of this exporter): each meter its own instance, HOST:PORT/UNIT behind a gateway.
// The README shows the same one.
std::string scrape_config_example(const std::string& exporter);

std::string landing_page(const std::string& exporter);

}  // namespace kexp
