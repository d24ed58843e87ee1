// SPDX-License-Identifier: MIT
#include "exporter/web_config_watch.hpp"

#include "common/output.hpp"

#include <sys/stat.h>

#include <stdexcept>

namespace kexp {
namespace {

// What tells a file's new version from its last: a rename puts another inode in its place, a
// rewrite moves its times.
std::vector<std::string> stamps_of(const std::vector<std::string>& files) {
    std::vector<std::string> stamps;
    for (const std::string& file : files) {
        struct stat info {};
        if (::stat(file.c_str(), &info) != 0) {
            stamps.emplace_back("missing");
            continue;
        }
        stamps.push_back(std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino) + ':' +
                         std::to_string(info.st_size) + ':' + std::to_string(info.st_mtim.tv_sec) +
                         '.' + std::to_string(info.st_mtim.tv_nsec) + ':' +
                         std::to_string(info.st_ctim.tv_sec) + '.' +
                         std::to_string(info.st_ctim.tv_nsec));
    }
    return stamps;
}

}  // namespace

WebConfigWatch::WebConfigWatch(std::string path) : path_(std::move(path)) {
    auto config = std::make_shared<const WebConfig>(read_web_config(path_));
    stamps_ = stamps_of(config->files);
    config_ = std::move(config);
}

std::shared_ptr<const WebConfig> WebConfigWatch::current() {
    const std::lock_guard lock(mutex_);
    // Taken before the files are read: a change while they are read is seen at the next call.
    std::vector<std::string> now = stamps_of(config_->files);
    if (now == stamps_) return config_;
    try {
        auto config = std::make_shared<const WebConfig>(read_web_config(path_));
        if (config->files != config_->files) now = stamps_of(config->files);
        config_ = std::move(config);
        stamps_ = std::move(now);
        last_problem_.clear();
    } catch (const std::runtime_error& e) {
        // Tried again at every call until it reads: the file it misses may appear.
        if (e.what() != last_problem_)
            kcli::write_stderr_line(std::string("kolvane: ") + e.what() +
                                    ": the settings read before stay");
        last_problem_ = e.what();
    }
    return config_;
}

}  // namespace kexp
