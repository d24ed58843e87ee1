// SPDX-License-Identifier: MIT
// The transfer locks: one meter however its address is written, and lock files that no other
// user can use to block a collection or to slip a transfer past the lock.
#include "served_meter.hpp"
#include "support/as_user.hpp"
#include "support/process.hpp"
#include "support/site.hpp"
#include "support/temp_dir.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace cli_test {
namespace {

using collect_test::summaries;

const User ROOT{0, 0};

void make_file(const std::string& path, mode_t mode, const User& owner) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0) << path;
    EXPECT_EQ(::fchown(fd, owner.uid, owner.gid), 0);
    EXPECT_EQ(::fchmod(fd, mode), 0);
    ::close(fd);
}

struct stat status_of(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info;
}

Outcome collect_as(const User& user, const std::string& address, const std::string& db) {
    return run_tool_as(user, {"collect", address, "-m", "em133", "--tz", "UTC", "--db", db});
}

// The service user as packaged: nobody, in the group of the library's gateway turn file (the
// kolvane group), without which it cannot talk to a meter. A file not made yet it makes itself.
User service_user() {
    struct stat info {};
    for (const char* turns : {"/run/lock/kolvane-gateways", "/tmp/kolvane-gateways"})
        if (::stat(turns, &info) == 0) return {NOBODY.uid, NOBODY.gid, {info.st_gid}};
    return NOBODY;
}

// The machine-wide locks are taken in a private directory, sticky like /run/lock.
class MeterLocks : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(::chmod(locks_.path().c_str(), 01777), 0);
        ::setenv("KOLVANE_LOCK_DIR", locks_.path().c_str(), 1);
    }
    void TearDown() override { ::unsetenv("KOLVANE_LOCK_DIR"); }
    std::string lock_file() const { return locks_.file("kolvane-meters.lock"); }

    ktest::TempDir locks_;
};

TEST_F(MeterLocks, ATransferKeepsOutACollectThatSpellsTheAddressOtherwise) {
    const struct {
        const char* listen;
        const char* transferring;
        const char* collected;  // HOST as collect takes it
    } cases[] = {
        {"127.0.0.1", "127.0.0.1", "localhost"},
        {"127.0.0.1", "::ffff:127.0.0.1", "127.0.0.1"},
        {"::1", "::1", "[0:0:0:0:0:0:0:1]"},
        {"::1", "0::1", "[::1]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.transferring) + " then " + c.collected);
        ksim::Simulator sim(ksim::default_meter(ksim::Model::em133, 2880));
        sim.set_latency(std::chrono::milliseconds(20));  // the transfer lasts many seconds
        const std::string port = std::to_string(sim.start(0, c.listen));
        Process datalog({KOLVANE_TOOL, "datalog", c.transferring, "1", "-p", port, "-m", "em133",
                         "--deadline", "600"});
        // Its first line out: it holds the meter's lock.
        ASSERT_NE(datalog.read_out_line(), "") << datalog.finish().err;
        const Outcome run = collect_test::collect(
            {std::string(c.collected) + ":" + port, "--db", fresh_dir("spellings") + "/site.db",
             "--deadline", "2"});  // a collect let in gives up soon
        const auto lines = summaries(run.out);
        ASSERT_EQ(lines.size(), 1u) << run.out << run.err;
        EXPECT_EQ(lines[0].value("busy", false), true) << run.out;
    }
}

// Not busy, and never read without the lock: the meter fails with the file's fault.
TEST_F(MeterLocks, ALockFileAnotherUserCouldMisuseFailsTheMeterAndKeepsItsMode) {
    const struct {
        const char* about;
        mode_t mode;
        User owner;
        bool by_service;    // run by the service user, else by root
        const char* error;  // nullptr: the file is sound and the meter collected
    } cases[] = {
        {"any user may write it", 0666, NOBODY, false,
         ": any user may write it (mode 0666, user nobody), so its locks keep nothing apart"},
        {"another user's", 0600, ROOT, true,
         ": Permission denied (it belongs to user root: run as that user or in its group)"},
        {"the runner's own", 0640, ROOT, false, nullptr},
    };
    ServedMeter meter(ksim::Model::em133, 50);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.about);
        ::unlink(lock_file().c_str());
        make_file(lock_file(), c.mode, c.owner);
        ktest::TempDir site;
        ASSERT_EQ(::chmod(site.path().c_str(), 01777), 0);  // either user may make the database
        const Outcome run = collect_as(c.by_service ? service_user() : ROOT,
                                       "127.0.0.1:" + meter.port(), site.file("site.db"));
        const auto lines = summaries(run.out);
        ASSERT_EQ(lines.size(), 1u) << run.out << run.err;
        EXPECT_FALSE(lines[0].contains("busy"));
        if (c.error) {
            EXPECT_EQ(run.exit_status, 1);
            EXPECT_NE(lines[0].value("error", "").find(lock_file() + c.error), std::string::npos)
                << lines[0].value("error", "");
            EXPECT_FALSE(lines[0].value("complete", false));
        } else {
            EXPECT_EQ(run.exit_status, 0) << run.out << run.err;
            EXPECT_TRUE(lines[0].value("complete", false)) << run.out;
        }
        EXPECT_EQ(status_of(lock_file()).st_mode & 07777, c.mode);
    }
}

TEST_F(MeterLocks, ARootCollectLeavesTheDatabaseLockToTheDatabaseOwner) {
    ServedMeter meter(ksim::Model::em133, 50);
    ktest::TempDir site;
    ASSERT_EQ(::chown(site.path().c_str(), NOBODY.uid, NOBODY.gid), 0);
    ASSERT_EQ(::chmod(site.path().c_str(), 0755), 0);
    const std::string db = site.file("site.db");
    make_file(db, 0644, NOBODY);           // the service user's database
    make_file(lock_file(), 0660, NOBODY);  // the machine's lock file, as the packages make it
    const Outcome by_root = collect_as(ROOT, "127.0.0.1:" + meter.port(), db);
    EXPECT_EQ(by_root.exit_status, 0) << by_root.out << by_root.err;
    const Outcome by_service = collect_as(service_user(), "127.0.0.1:" + meter.port(), db);
    EXPECT_EQ(by_service.exit_status, 0) << by_service.out << by_service.err;
    const struct stat lock = status_of(db + "-kolvane-lock");
    EXPECT_EQ(lock.st_uid, NOBODY.uid);
    EXPECT_EQ(lock.st_gid, NOBODY.gid);
    EXPECT_EQ(lock.st_mode & 07777, 0600u);  // only who may write the database
}

}  // namespace
}  // namespace cli_test
