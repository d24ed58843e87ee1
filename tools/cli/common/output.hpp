// SPDX-License-Identifier: MIT
// Whole lines onto standard output and standard error. Each line is written completely before
// an interrupt can end the tool, so no output line is ever cut.
#pragma once

#include <string>

namespace kcli {

// Writes `text` and a line feed to standard output. Returns false once standard output has
// failed (a full disk, a closed pipe): nothing more is written to it then.
bool write_stdout_line(const std::string& text);

// Writes `text` and a line feed to standard error.
void write_stderr_line(const std::string& text);

// Writes `text` as it is to standard error (the progress bar's redraws).
void write_stderr_text(const std::string& text);

// Prints "kolvane: " and `message` on standard error.
void print_diagnostic(const char* message);

// True once a write to standard output has failed.
bool stdout_failed();

// Flushes what the tool wrote to standard output through the C++ streams (CLI11's help);
// returns the errno of the first write to standard output that failed, 0 when all went well.
int flush_stdout();

}  // namespace kcli
