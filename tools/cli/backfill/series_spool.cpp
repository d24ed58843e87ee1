// SPDX-License-Identifier: MIT
#include "backfill/series_spool.hpp"

#include "backfill/openmetrics.hpp"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <tuple>

namespace kbackfill {
namespace {

struct Spooled {
    std::int64_t milliseconds;
    double value;
};

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    throw std::runtime_error(what + " " + path + ": " + std::strerror(errno));
}

// One part of a series, read back sample by sample.
class PartReader {
public:
    explicit PartReader(const std::string& path)
        : path_(path), file_(std::fopen(path.c_str(), "rb")) {
        if (!file_) fail("Cannot read back", path);
        next();
    }
    ~PartReader() {
        if (file_) std::fclose(file_);
    }
    PartReader(const PartReader&) = delete;
    PartReader& operator=(const PartReader&) = delete;
    bool done() const { return done_; }
    const Spooled& current() const { return current_; }
    void next() {
        if (std::fread(&current_, sizeof current_, 1, file_) == 1) return;
        if (std::ferror(file_)) fail("Cannot read back", path_);
        done_ = true;
    }

private:
    std::string path_;
    std::FILE* file_;
    Spooled current_{};
    bool done_ = false;
};

}  // namespace

bool SeriesKey::operator<(const SeriesKey& other) const {
    return std::tuple(family->name, instance, point, unit) <
           std::tuple(other.family->name, other.instance, other.point, other.unit);
}

SeriesSpool::SeriesSpool() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kolvane-backfill-XXXXXX";
    if (!mkdtemp(pattern.data())) fail("Cannot make a temporary directory", pattern);
    dir_ = pattern;
}

SeriesSpool::~SeriesSpool() {
    end_run();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void SeriesSpool::add(const SeriesKey& key, int file_id, std::int64_t milliseconds, double value) {
    auto open = open_.find({key, file_id});
    if (open == open_.end()) {
        const std::string path = dir_ + "/" + std::to_string(++files_);
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) fail("Cannot write", path);
        open = open_.emplace(std::pair{key, file_id}, file).first;
        parts_[key].push_back({file_id, path});
    }
    const Spooled sample{milliseconds, value};
    if (std::fwrite(&sample, sizeof sample, 1, open->second) != 1) fail("Cannot write", dir_);
}

void SeriesSpool::end_run() {
    bool failed = false;
    for (const auto& [key, file] : open_) failed = std::fclose(file) != 0 || failed;
    open_.clear();
    if (failed) fail("Cannot write", dir_);
}

SpoolTotals SeriesSpool::write(std::FILE* out) {
    end_run();
    SpoolTotals totals;
    OpenMetricsWriter writer(out);
    for (const auto& [key, parts] : parts_) {
        writer.series(*key.family, key.instance, key.point, key.unit);
        ++totals.series;
        // The parts of a series, one per log, merged by time; a part of a lower file id first.
        std::vector<std::unique_ptr<PartReader>> readers;
        for (const Part& part : parts) readers.push_back(std::make_unique<PartReader>(part.path));
        std::int64_t last = -1;
        for (;;) {
            PartReader* earliest = nullptr;
            for (const auto& reader : readers)
                if (!reader->done() && (!earliest || reader->current().milliseconds <
                                                         earliest->current().milliseconds))
                    earliest = reader.get();
            if (!earliest) break;
            const Spooled sample = earliest->current();
            earliest->next();
            if (sample.milliseconds <= last) {
                ++totals.repeated;
                continue;
            }
            last = sample.milliseconds;
            writer.sample(sample.milliseconds, sample.value);
            ++totals.samples;
        }
    }
    writer.end();
    return totals;
}

}  // namespace kbackfill
