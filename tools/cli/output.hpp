// Whole lines onto standard output and standard error. Each line is written completely before
// an interrupt can end the tool, so no output line is ever cut.
#pragma once

#include <string>

namespace kcli {

// Writes `text` and a line feed to standard output.
void write_stdout_line(const std::string& text);

// Writes `text` and a line feed to standard error.
void write_stderr_line(const std::string& text);

// Writes `text` as it is to standard error (the progress bar's redraws).
void write_stderr_text(const std::string& text);

}  // namespace kcli
