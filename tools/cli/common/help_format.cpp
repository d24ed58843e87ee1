// SPDX-License-Identifier: MIT
// Included by its own name, not through "common/": kolvane-sim compiles this file too.
#include "help_format.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace kcli {

namespace {

constexpr std::size_t WIDEST = 80;
constexpr std::size_t NARROWEST = 40;

// Appends `line` to `lines`, broken between words when it is wider than `room`; the pieces keep
// the line's own leading spaces. A word wider than the room stands on a line of its own.
void break_line(const std::string& line, std::size_t room, std::vector<std::string>& lines) {
    const std::size_t lead = line.find_first_not_of(' ');
    if (line.size() <= room || lead == std::string::npos) {
        lines.push_back(line);
        return;
    }
    const std::string margin(lead, ' ');
    std::string piece = margin;
    std::istringstream words(line.substr(lead));
    for (std::string word; words >> word;) {
        if (piece.size() > margin.size()) {
            if (piece.size() + 1 + word.size() > room) {
                lines.push_back(piece);
                piece = margin;
            } else {
                piece += ' ';
            }
        }
        piece += word;
    }
    lines.push_back(piece);
}

// `text` filled to `width` columns, its line breaks kept. Its first line starts at column `indent`
// (the caller printed what stands left of it); the others are indented to that column.
std::string fill(const std::string& text, std::size_t indent, std::size_t width) {
    const std::size_t room = width > indent ? width - indent : 1;
    std::vector<std::string> lines;
    for (std::size_t begin = 0;;) {
        const std::size_t end = text.find('\n', begin);
        break_line(text.substr(begin, end - begin), room, lines);
        if (end == std::string::npos) break;
        begin = end + 1;
    }
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            out += '\n';
            if (!lines[i].empty()) out.append(indent, ' ');
        }
        out += lines[i];
    }
    return out;
}

class FilledHelp : public CLI::Formatter {
public:
    std::string make_option(const CLI::Option* option, bool is_positional) const override {
        return entry(make_option_name(option, is_positional) + make_option_opts(option),
                     make_option_desc(option));
    }
    std::string make_subcommand(const CLI::App* command) const override {
        return entry(command->get_display_name(true), command->get_description());
    }
    std::string make_description(const CLI::App* app) const override {
        return fill(CLI::Formatter::make_description(app), 0, width_);
    }
    std::string make_footer(const CLI::App* app) const override {
        return fill(CLI::Formatter::make_footer(app), 0, width_);
    }

private:
    // One entry of an option or command list: the name in the left column, the description to
    // its right, or under it when the name fills the column.
    std::string entry(const std::string& name, const std::string& description) const {
        const std::size_t column = get_column_width();
        std::string out = "  " + name;
        if (description.empty()) return out + '\n';
        if (out.size() < column)
            out.resize(column, ' ');
        else
            out.append("\n").append(column, ' ');
        return out + fill(description, column, width_) + '\n';
    }

    std::size_t width_ = help_width();
};

}  // namespace

std::size_t help_width() {
    const char* columns = std::getenv("COLUMNS");
    if (columns == nullptr) return WIDEST;
    char* end = nullptr;
    const long value = std::strtol(columns, &end, 10);
    if (end == columns || *end != '\0' || value <= 0) return WIDEST;
    return std::clamp(static_cast<std::size_t>(value), NARROWEST, WIDEST);
}

void use_filled_help(CLI::App& app) { app.formatter(std::make_shared<FilledHelp>()); }

void add_examples(CLI::App& command, std::initializer_list<const char*> lines) {
    std::string footer = command.get_footer();
    if (!footer.empty()) footer += "\n\n";
    footer += "Examples:";
    for (const char* line : lines) footer.append("\n  $ ").append(line);
    command.footer(footer);
}

}  // namespace kcli
