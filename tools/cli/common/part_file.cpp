// SPDX-License-Identifier: MIT
#include "common/part_file.hpp"

#include <filesystem>

namespace kcli {
namespace {

namespace fs = std::filesystem;

}  // namespace

PartFile::PartFile(const std::string& path) : path_(path), target_(path) {
    std::error_code ec;
    if (fs::is_symlink(path, ec)) target_ = fs::weakly_canonical(path, ec).string();
    if (ec) target_ = path;
    const fs::file_status status = fs::status(target_, ec);
    const bool replaceable = !fs::exists(status) || fs::is_regular_file(status);
    write_path_ = replaceable ? target_ + ".part" : target_;
    const fs::file_time_type earlier = fs::last_write_time(write_path_, ec);
    if (!ec) earlier_ = earlier;
}

bool PartFile::commit(std::string& error) const {
    if (write_path_ == target_) return true;
    std::error_code ec;
    fs::rename(write_path_, target_, ec);
    if (ec) error = "Cannot rename " + write_path_ + " to " + target_ + ": " + ec.message();
    return !ec;
}

void PartFile::remove() const {
    if (write_path_ == target_) return;
    std::error_code ec;
    const fs::file_time_type now = fs::last_write_time(write_path_, ec);
    if (ec || (earlier_ && now == *earlier_)) return;
    fs::remove(write_path_, ec);
}

}  // namespace kcli
