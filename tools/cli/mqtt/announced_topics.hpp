// SPDX-License-Identifier: MIT
// The discovery topics announced for each meter, kept in a small JSON file (--state), so that a
// meter that left the hosts file, or a quantity a meter no longer has, is removed from Home
// Assistant (an empty retained message) also after a restart. A file rather than a table of the
// collector's database: the announcements belong to this program and its broker, not to the
// collected data, and kolvane mqtt runs without --db too.
#pragma once

#include <map>
#include <set>
#include <string>

namespace kmqtt {

// Config topics by meter address ("127.0.0.1:1502 unit=1").
using AnnouncedTopics = std::map<std::string, std::set<std::string>>;

// The file's topics; none when it does not exist. Throws std::runtime_error for one that cannot
// be read or is malformed.
AnnouncedTopics read_announced(const std::string& path);
// Replaces the file whole (written beside it, then renamed). Throws std::runtime_error.
void write_announced(const std::string& path, const AnnouncedTopics& topics);

}  // namespace kmqtt
