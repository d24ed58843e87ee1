// SPDX-License-Identifier: MIT
#include "report/html_page.hpp"

#include "report_assets.hpp"

#include <string>

namespace kreport {
namespace {

// JSON inside a <script> element: "</" would end the element early, "<!--" would open a comment.
// Escaping every "<" keeps it valid JSON and inert HTML, whatever a meter's texts hold.
std::string script_safe_json(const nlohmann::json& document) {
    const std::string text =
        document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '<')
            out += "\\u003c";
        else
            out += c;
    }
    return out;
}

}  // namespace

void write_page(std::ostream& out, const nlohmann::json& report) {
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<title>kolvane report</title>\n<style>\n"
        << assets::UPLOT_CSS << '\n'
        << assets::PAGE_CSS
        << "</style>\n</head>\n<body>\n<div id=\"report\"></div>\n"
           "<script type=\"application/json\" id=\"kolvane-data\">"
        << script_safe_json(report)
        << "</script>\n<script>\n/*! uPlot " KOLVANE_UPLOT_VERSION
           ", embedded unchanged under its licence:\n"
        << assets::UPLOT_LICENSE << "*/\n"
        << assets::UPLOT_JS << "\n</script>\n<script>\n"
        << assets::PAGE_JS << "</script>\n</body>\n</html>\n";
}

}  // namespace kreport
