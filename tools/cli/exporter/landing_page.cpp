// SPDX-License-Identifier: MIT
#include "exporter/landing_page.hpp"

namespace kexp {

std::string scrape_config_example(const std::string& exporter) {
    return "scrape_configs:\n"
           "  - job_name: kolvane\n"
           "    metrics_path: /probe\n"
           "    params:\n"
           "      model: [em235]          # not needed when the hosts file names the model\n"
           "    static_configs:\n"
           "      - targets: ['10.0.0.6:1502']       # a meter of its own, unit 1\n"
           "      - targets: ['10.0.0.5:502']        # a gateway: a group per unit\n"
           "        labels: {__param_unit: '1'}\n"
           "      - targets: ['10.0.0.5:502']\n"
           "        labels: {__param_unit: '2'}\n"
           "    relabel_configs:\n"
           "      - source_labels: [__address__]\n"
           "        target_label: __param_target\n"
           "      - source_labels: [__param_target]\n"
           "        target_label: instance\n"
           "      - source_labels: [__param_target, __param_unit]\n"
           "        separator: /\n"
           "        regex: (.+/.+)                   # a unit named: HOST:PORT/UNIT\n"
           "        target_label: instance\n"
           "      - target_label: __address__\n"
           "        replacement: " +
           exporter + "\n";
}

std::string landing_page(const std::string& exporter) {
    // The address is the one the exporter was told to listen on: digits, dots, colons, brackets.
    return "<!DOCTYPE html>\n<html><head><title>kolvane exporter</title></head><body>\n"
           "<h1>kolvane exporter</h1>\n"
           "<p>Reads em133 and em235 meters over Modbus TCP when Prometheus asks: one meter per "
           "scrape of "
           "<code>/probe?target=HOST[:PORT]&amp;model=em235&amp;unit=1</code>. Only meters of the "
           "hosts file "
           "are read unless the exporter runs with <code>--allow-any-target</code>.</p>\n"
           "<ul>\n<li><a href=\"/metrics\">/metrics</a>: the exporter's own metrics</li>\n"
           "<li><a "
           "href=\"/probe?target=127.0.0.1:502&amp;model=em235\">/"
           "probe?target=127.0.0.1:502&amp;model=em235"
           "</a>: an example probe</li>\n"
           "<li><a href=\"/-/healthy\">/-/healthy</a> and <a href=\"/-/ready\">/-/ready</a>: "
           "health and readiness, as Prometheus's own</li>\n</ul>\n"
           "<h2>Prometheus configuration</h2>\n<pre>" +
           scrape_config_example(exporter) + "</pre>\n</body></html>\n";
}

}  // namespace kexp
