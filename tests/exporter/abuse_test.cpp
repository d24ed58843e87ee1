// SPDX-License-Identifier: MIT
// Clients that try to wear the exporter out: connections that trickle their headers or say
// nothing, requests with a flood of headers, scrapes abandoned while their probe runs. Its own
// pages keep answering, its memory stays bounded, idle connections are closed, an abandoned
// probe lets go of its meter.
#include "exporter_process.hpp"

#include "support/loopback_ports.hpp"

#include <simulator.hpp>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

namespace exporter_test {
namespace {

using namespace std::chrono_literals;

// A raw connection to the exporter from another loopback address, as a second client would be.
class RawConnection {
public:
    RawConnection(int port, const char* from) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in source = ktest::loopback_address(0);
        inet_pton(AF_INET, from, &source.sin_addr);
        const sockaddr_in server = ktest::loopback_address(static_cast<uint16_t>(port));
        if (fd_ < 0 || ::bind(fd_, reinterpret_cast<const sockaddr*>(&source), sizeof source) ||
            ::connect(fd_, reinterpret_cast<const sockaddr*>(&server), sizeof server))
            throw std::runtime_error("cannot connect to the exporter");
    }
    ~RawConnection() { ::close(fd_); }
    RawConnection(const RawConnection&) = delete;
    RawConnection& operator=(const RawConnection&) = delete;

    // Sends what it can; the exporter may close the connection meanwhile.
    void send(const std::string& bytes) const {
        for (std::size_t sent = 0; sent < bytes.size();) {
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return;
            sent += static_cast<std::size_t>(n);
        }
    }
    // What the exporter sends until `text` came, at most for `limit`.
    std::string read_until(const std::string& text, std::chrono::milliseconds limit) const {
        return read(limit, text).text;
    }
    // Closes the sending side only, as a client may once its request is out.
    void half_close() const { ::shutdown(fd_, SHUT_WR); }
    // Everything the exporter sends until it closes the connection or `limit` passes.
    std::string read_until_closed(std::chrono::milliseconds limit) const {
        Received received = read(limit, "");
        if (!received.closed) throw std::runtime_error("the exporter kept the connection open");
        return received.text;
    }

private:
    struct Received {
        std::string text;
        bool closed = false;
    };
    // What the exporter sends within `limit`, until `text` came (empty: until it closes).
    Received read(std::chrono::milliseconds limit, const std::string& text) const {
        Received received;
        const auto end = std::chrono::steady_clock::now() + limit;
        while (text.empty() || received.text.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd entry{fd_, POLLIN, 0};
            if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) break;
            char buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) {
                received.closed = true;
                break;
            }
            received.text.append(buffer, static_cast<std::size_t>(n));
        }
        return received;
    }

    int fd_ = -1;
};

TEST(Abuse, IdleTricklingAndBloatedRequestsLeaveTheExporterServing) {
    Exporter exporter({"--allow-any-target", "--max-concurrent", "1"});
    const long resident_before = exporter.resident_kb();

    // More connections than the pool of worker threads the exporter once had, half of them
    // silent, half sending a header byte every 300 ms. Waiting for them costs next to no CPU.
    const double cpu_before = exporter.cpu_seconds();
    std::vector<std::unique_ptr<RawConnection>> silent, trickling;
    for (int i = 0; i < 24; ++i) {
        silent.push_back(std::make_unique<RawConnection>(exporter.port(), "127.0.0.2"));
        trickling.push_back(std::make_unique<RawConnection>(exporter.port(), "127.0.0.3"));
        trickling.back()->send("GET /metrics HTTP/1.1\r\n");
    }
    for (int round = 0; round < 10; ++round) {
        for (const auto& connection : trickling) connection->send("X");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(exporter.get("/metrics").status, 200) << "round " << round;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "round " << round;
        std::this_thread::sleep_for(300ms);
    }
    // A connection that says nothing is closed after a short time-out, without an answer.
    EXPECT_EQ(silent.front()->read_until_closed(5s), "");
    EXPECT_LT(exporter.cpu_seconds() - cpu_before, 0.5);

    // 25,000 headers a request: refused once they outgrow the bound, never kept in memory.
    std::string flood = "GET /metrics HTTP/1.1\r\nHost: x\r\n";
    for (int i = 0; i < 25000; ++i) flood += "X-Header-" + std::to_string(i) + ": 0123456789\r\n";
    flood += "\r\n";
    for (int i = 0; i < 4; ++i) {
        const RawConnection bloated(exporter.port(), "127.0.0.4");
        bloated.send(flood);
        const std::string answer = bloated.read_until_closed(5s);
        EXPECT_TRUE(answer.starts_with("HTTP/1.1 431 ")) << answer.substr(0, 80);
    }
    EXPECT_LT(exporter.resident_kb() - resident_before, 32 * 1024);  // kB
    EXPECT_EQ(exporter.get("/metrics").status, 200);
}

// Connections that trickle their headers from the scraper's own address and three others, as
// many as each address may open, half of them after a first request answered on the connection:
// an address keeps at most half of its connections waiting for headers (its oldest cut for a new
// one), and no connection waits for them longer than 5 s, from its accept or its last answer, so
// every scrape from the scraper's address is answered at once all along.
TEST(Abuse, TricklingConnectionsNeverShutOutTheScraper) {
    Exporter exporter({"--allow-any-target"});  // 16 probes: 64 connections an address
    std::vector<std::unique_ptr<RawConnection>> trickling;
    std::string first_answer;  // of the last connection kept after a request
    for (const char* from : {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"}) {
        for (int i = 0; i < 64; ++i) {
            trickling.push_back(std::make_unique<RawConnection>(exporter.port(), from));
            if (i % 2 == 1) {
                trickling.back()->send("GET /-/healthy HTTP/1.1\r\nHost: x\r\n\r\n");
                first_answer = trickling.back()->read_until("healthy.\n", 5s);
            }
            trickling.back()->send("GET /metrics HTTP/1.1\r\n");
        }
    }
    const auto begun = std::chrono::steady_clock::now();
    for (int round = 0; round < 20; ++round) {
        for (const auto& connection : trickling) connection->send("X");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(exporter.get("/metrics").status, 200) << "round " << round;
        EXPECT_LT(std::chrono::steady_clock::now() - start, 1s) << "round " << round;
        std::this_thread::sleep_for(300ms);
    }
    ASSERT_GT(std::chrono::steady_clock::now() - begun, 5s);
    // Cut, the trickled request never answered, on a new connection and on one kept after an
    // answer alike.
    EXPECT_TRUE(first_answer.starts_with("HTTP/1.1 200 OK\r\n")) << first_answer;
    EXPECT_EQ(trickling[trickling.size() - 2]->read_until_closed(1s), "");
    EXPECT_EQ(trickling.back()->read_until_closed(1s), "");
}

// Waits, for at most `limit`, until the exporter's own metric `name` reaches `value`.
bool metric_reaches(const Exporter& exporter, const char* name, double value,
                    std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
        const auto sample = find_sample(parse_samples(exporter.get("/metrics").body), name);
        if (sample && sample->value >= value) return true;
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(100ms);
    }
}

double up(const httplib::Response& response) {
    const auto up = find_sample(parse_samples(response.body), "kolvane_up");
    return up ? up->value : -1;
}

// A scrape given up after 300 ms with a budget of 29.5 s: its probe reads nothing more of the
// meter once the read in progress is done, or leaves the queue for its gateway at once.
TEST(Abuse, AProbeWhoseClientLeftStopsTalkingToTheMeter) {
    const struct {
        const char* name;
        bool behind_another_probe;  // queued for the gateway while another probe reads the meter
        std::size_t connections;    // the meter's, until every probe is done
    } cases[] = {
        {"reading the identity", false, 1},    // the live values are not read
        {"waiting for the gateway", true, 2},  // the other probe's identity and live values only
    };
    for (const auto& c : cases) {
        ksim::Simulator meter(ksim::default_meter(ksim::Model::em235));
        meter.set_latency(100ms);  // about 2 s for the identity, as long for the live values
        const std::string probe =
            "/probe?target=127.0.0.1:" + std::to_string(meter.start()) + "&model=em235";
        Exporter exporter({"--allow-any-target", "--max-probe-time", "30"});
        std::future<httplib::Response> other;
        if (c.behind_another_probe) {
            other = std::async(std::launch::async, [&] { return exporter.get(probe); });
            ASSERT_TRUE(meter.wait_for_requests(1)) << c.name;
        }
        const double probes = c.behind_another_probe ? 2 : 1;
        {
            const RawConnection scrape(exporter.port(), "127.0.0.1");
            scrape.send("GET " + probe +
                        " HTTP/1.1\r\nHost: x\r\nX-Prometheus-Scrape-Timeout-Seconds: 30\r\n\r\n");
            ASSERT_TRUE(metric_reaches(exporter, "kolvane_exporter_probes_in_flight", probes, 5s))
                << c.name;
            std::this_thread::sleep_for(300ms);
        }
        // Within half the budget; what each probe did shows in the meter's connections.
        ASSERT_TRUE(metric_reaches(exporter, "kolvane_exporter_probes_total", probes, 15s))
            << c.name;
        if (other.valid()) {
            EXPECT_EQ(up(other.get()), 1) << c.name;
        }
        EXPECT_EQ(meter.connections_accepted(), c.connections) << c.name;

        meter.set_latency(0ms);
        EXPECT_EQ(up(exporter.get(probe)), 1) << c.name;
        EXPECT_NE(exporter.stop().err.find(
                      " unit 1 failed: the client closed its connection before the answer\n"),
                  std::string::npos)
            << c.name;
    }
}

// A client that closes its sending side once its request is out still awaits the answer: it
// gets an interim 102, then the probe's answer, the meter up.
TEST(Abuse, AClientThatHalfClosesAfterItsRequestGetsItsAnswer) {
    ksim::Simulator meter(ksim::default_meter(ksim::Model::em133));
    meter.set_latency(50ms);
    const int meter_port = meter.start();
    Exporter exporter({"--allow-any-target"});
    const RawConnection scrape(exporter.port(), "127.0.0.1");
    scrape.send("GET /probe?target=127.0.0.1:" + std::to_string(meter_port) +
                "&model=em133 HTTP/1.1\r\nHost: x\r\n\r\n");
    scrape.half_close();
    const std::string answer = scrape.read_until_closed(20s);
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 102 Processing\r\n\r\nHTTP/1.1 200 OK\r\n"))
        << answer.substr(0, 80);
    EXPECT_NE(answer.find("\nkolvane_up 1\n"), std::string::npos) << answer;
}

}  // namespace
}  // namespace exporter_test
