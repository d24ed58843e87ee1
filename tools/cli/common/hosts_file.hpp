// SPDX-License-Identifier: MIT
// The hosts file: the meters of a site, one per line.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace kcli {

struct HostEntry {
    std::string host;
    std::string meter;        // em133 or em235
    std::optional<int> port;  // from HOST:PORT; otherwise -p or the default applies
};

// A hosts file that cannot be used, with every problem found in it, each naming its line.
class HostsFileError : public std::runtime_error {
public:
    HostsFileError(std::vector<std::string> problems, int exit_status);
    const std::vector<std::string>& problems() const { return problems_; }
    int exit_status() const { return exit_status_; }  // 1: unreadable, 2: bad content

private:
    std::vector<std::string> problems_;
    int exit_status_;
};

// Prints every problem of `error` on standard error and returns its exit status.
int report_hosts_error(const HostsFileError& error);

// Reads one "HOST[:PORT] [MODEL]" per line ("-" reads standard input; an IPv6 address with a
// port is written [ADDRESS]:PORT); '#' starts a comment, blank lines are skipped and
// `default_meter` (the -m model, may be empty) stands for a missing MODEL. The whole file is
// checked before it is used: throws HostsFileError naming every bad line.
std::vector<HostEntry> read_hosts_file(const std::string& path, const std::string& default_meter);

}  // namespace kcli
