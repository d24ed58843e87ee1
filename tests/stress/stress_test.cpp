// SPDX-License-Identifier: MIT
// Sixteen threads run a mix of operations against sixteen simulated meters at once, while
// another thread sets, replaces and clears the log callback, and the log callback itself
// calls back into the library. Run in the ThreadSanitizer build: no race, no deadlock,
// every result as a single-threaded call gives it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "kolvane.h"
#include "simulator.hpp"

namespace {

constexpr int THREADS = 16;
constexpr int CALLS_PER_THREAD = 200;
constexpr int LOG_RECORDS = 12;

struct Meter {
    std::unique_ptr<ksim::Simulator> sim;
    std::string meter_name;
    std::string options;
    std::string device_info;  // the document a single call returns
    int live_count = 0;
    int events = 0;
};

std::string read_document(int (*op)(const char*, const char*, const char*, char*, int, char*, int),
                          const Meter& m, int& status) {
    std::vector<char> out(1 << 16);
    char err[256];
    status = op("127.0.0.1", m.meter_name.c_str(), m.options.c_str(), out.data(), int(out.size()),
                err, sizeof err);
    return status >= 0 ? std::string(out.data()) : std::string(err);
}

int count_records(const char*, void* user) {
    ++*static_cast<int*>(user);
    return 0;
}

std::atomic<int> messages{0};

void nested_log_callback(int, const char*, void*) {
    messages.fetch_add(1, std::memory_order_relaxed);
    // Calls back into the library from inside the callback: an operation that logs its
    // failure, and a change of the callback itself.
    char out[8], err[64];
    kolvane_list_points("no-such-model", out, sizeof out, err, sizeof err);
    kolvane_set_log_callback(nested_log_callback, nullptr);
}

void counting_log_callback(int, const char*, void*) {
    messages.fetch_add(1, std::memory_order_relaxed);
}

class Stress : public ::testing::Test {
protected:
    void SetUp() override {
        const auto now = std::int64_t(std::time(nullptr));
        for (int i = 0; i < THREADS; ++i) {
            const ksim::Model model = i % 2 ? ksim::Model::em235 : ksim::Model::em133;
            Meter m;
            m.sim =
                std::make_unique<ksim::Simulator>(ksim::default_meter(model, LOG_RECORDS, now, 8));
            m.meter_name = ksim::model_name(model);
            m.options = "{\"port\":" + std::to_string(m.sim->start()) + ",\"timeout_ms\":5000}";
            int status = 0;
            m.device_info = read_document(kolvane_read_device_info, m, status);
            ASSERT_GT(status, 0) << m.device_info;
            m.live_count = model == ksim::Model::em235 ? 61 : 55;
            m.events = 8;
            meters.push_back(std::move(m));
        }
        const auto dir = std::filesystem::temp_directory_path() /
                         ("kolvane-stress-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir);
        csv_dir = dir.string();
    }
    void TearDown() override {
        kolvane_set_log_callback(nullptr, nullptr);
        std::filesystem::remove_all(csv_dir);
    }

    // One call; returns an empty text when the result is as expected. A meter serves one log
    // transfer at a time (its read position is per file, not per connection), so each thread
    // reads logs only from its own meter; plain register reads go to any meter.
    std::string run_one(int thread, int call) {
        const bool log_call = call % 7 == 2 || call % 7 == 3 || call % 7 == 5;
        const Meter& m = meters[size_t(log_call ? thread : (thread + call) % THREADS)];
        int status = 0;
        switch (call % 7) {
            case 0: {
                const std::string doc = read_document(kolvane_read_device_info, m, status);
                return doc == m.device_info ? "" : "device info: " + doc;
            }
            case 1: {
                read_document(kolvane_read_live_ex, m, status);
                return status == m.live_count ? "" : "live: " + std::to_string(status);
            }
            case 2: {
                int records = 0;
                char err[256];
                status =
                    kolvane_read_datalog("127.0.0.1", m.meter_name.c_str(), 1, m.options.c_str(),
                                         count_records, &records, err, sizeof err);
                return status == LOG_RECORDS && records == LOG_RECORDS + 1
                           ? ""
                           : std::string("datalog: ") + err;
            }
            case 3: {
                const std::string path = csv_dir + "/t" + std::to_string(thread) + ".csv";
                char err[256];
                status = kolvane_export_eventlog_ex("127.0.0.1", m.meter_name.c_str(), 0,
                                                    path.c_str(), m.options.c_str(), nullptr,
                                                    nullptr, err, sizeof err);
                return status == m.events ? "" : std::string("eventlog: ") + err;
            }
            case 4: {
                std::vector<char> out(1 << 16);
                char err[256];
                status = kolvane_list_points(m.meter_name.c_str(), out.data(), int(out.size()), err,
                                             sizeof err);
                return status == (m.live_count == 61 ? 205 : 199)
                           ? ""
                           : "points: " + std::to_string(status);
            }
            case 5: {
                read_document(kolvane_list_logs, m, status);
                return status == 4 ? "" : "logs: " + std::to_string(status);
            }
            default: {
                char out[64], err[256];
                status = kolvane_read_live_ex("127.0.0.1", "em133", "{\"port\":0}", out, sizeof out,
                                              err, sizeof err);
                return status == -1 && std::string(err) == "options.port must be 1-65535"
                           ? ""
                           : "bad options";
            }
        }
    }

    std::vector<Meter> meters;
    std::string csv_dir;
};

TEST_F(Stress, SixteenThreadsWhileTheLogCallbackChanges) {
    std::atomic<bool> done{false};
    std::thread switcher([&] {
        for (int i = 0; !done.load(); ++i) {
            switch (i % 3) {
                case 0:
                    kolvane_set_log_callback(counting_log_callback, nullptr);
                    break;
                case 1:
                    kolvane_set_log_callback(nested_log_callback, nullptr);
                    break;
                default:
                    kolvane_set_log_callback(nullptr, nullptr);
                    break;
            }
            std::this_thread::yield();
        }
    });

    std::atomic<int> failures{0};
    std::vector<std::string> first_failure(THREADS);
    std::vector<std::thread> workers;
    for (int t = 0; t < THREADS; ++t) {
        workers.emplace_back([&, t] {
            for (int call = 0; call < CALLS_PER_THREAD; ++call) {
                std::string problem = run_one(t, call);
                if (!problem.empty()) {
                    if (failures.fetch_add(1) == 0 || first_failure[size_t(t)].empty())
                        first_failure[size_t(t)] = problem;
                }
            }
        });
    }
    for (auto& worker : workers) worker.join();
    done = true;
    switcher.join();

    for (const auto& problem : first_failure) EXPECT_EQ(problem, "");
    EXPECT_EQ(failures.load(), 0);
    EXPECT_GT(messages.load(), 0) << "the log callbacks never ran";
}

}  // namespace
