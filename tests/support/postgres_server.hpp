// SPDX-License-Identifier: MIT
// A throwaway PostgreSQL 15 server for tests: a fresh cluster in a temporary directory, served
// on a free loopback port with its socket in that directory, stopped and removed on destruction;
// stop() and start() take it down and up again on the same port, as a restart would.
// The server refuses to run as root, so initdb and pg_ctl run as the postgres user (runuser).
// Construction throws std::runtime_error with the reason when the server cannot start: the
// tests that need it then fail, they never skip.
#pragma once

#include "loopback_ports.hpp"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace ktest {

class PostgresServer {
public:
    static constexpr const char* BIN = "/usr/lib/postgresql/15/bin";

    PostgresServer() {
        char pattern[] = "/tmp/kolvane-pg-XXXXXX";
        if (!::mkdtemp(pattern))
            throw std::runtime_error("PostgreSQL: cannot make a temporary directory");
        dir_ = pattern;
        const passwd* user = ::getpwnam("postgres");
        if (!user || ::chown(dir_.c_str(), user->pw_uid, user->pw_gid) != 0)
            fail("no postgres user to run the server as (install Debian's postgresql)");
        {
            const BoundSocket probe(
                false);  // a free port; released just before the server takes it
            port_ = probe.port();
        }
        try {
            run_as_postgres(std::string(BIN) + "/initdb -D " + dir_ +
                                "/data -A trust -U postgres -E UTF8 --no-sync",
                            "initdb");
            start();
        } catch (const std::runtime_error& e) {
            fail(e.what());
        }
    }

    ~PostgresServer() {
        if (started_) {
            const std::string stop = "runuser -u postgres -- " + std::string(BIN) + "/pg_ctl -D " +
                                     dir_ + "/data -m fast -w stop >/dev/null 2>&1";
            [[maybe_unused]] const int status = std::system(stop.c_str());
        }
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Starts the server (again); throws std::runtime_error with its log when it does not.
    void start() {
        run_as_postgres(std::string(BIN) + "/pg_ctl -D " + dir_ + "/data -l " + dir_ +
                            "/server.log -w -t 60 -o \"" + "-c listen_addresses=127.0.0.1 -p " +
                            std::to_string(port_) + " -k " + dir_ +
                            " -c fsync=off -c full_page_writes=off\" start",
                        "pg_ctl start");
        started_ = true;
    }

    // Stops the server as a restart does: every session is ended. Throws when it does not.
    void stop() {
        run_as_postgres(std::string(BIN) + "/pg_ctl -D " + dir_ + "/data -m fast -w stop",
                        "pg_ctl stop");
        started_ = false;
    }

    int port() const { return port_; }
    // A libpq URI of a database on this server ("postgres" exists from the start).
    std::string uri(const std::string& database = "postgres") const {
        return "postgresql://postgres@127.0.0.1:" + std::to_string(port_) + "/" + database;
    }
    // Creates a fresh database and returns its URI.
    std::string create_database(const std::string& name) const {
        const std::string command = std::string(BIN) + "/createdb -h 127.0.0.1 -p " +
                                    std::to_string(port_) + " -U postgres " + name +
                                    " >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0)
            throw std::runtime_error("PostgreSQL: cannot create database " + name);
        return uri(name);
    }

private:
    void run_as_postgres(const std::string& command, const char* what) {
        const std::string log = dir_ + "/" + what + ".log";
        const std::string line =
            "cd " + dir_ + " && runuser -u postgres -- " + command + " >'" + log + "' 2>&1";
        if (std::system(line.c_str()) != 0) {
            std::ifstream in(log);
            std::stringstream text;
            text << in.rdbuf();
            std::ifstream server(dir_ + "/server.log");
            text << server.rdbuf();
            throw std::runtime_error(std::string(what) + " failed: " + text.str());
        }
    }

    [[noreturn]] void fail(const std::string& why) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
        throw std::runtime_error("PostgreSQL test server: " + why);
    }

    std::string dir_;
    int port_ = 0;
    bool started_ = false;
};

}  // namespace ktest
