// SPDX-License-Identifier: MIT
// The client over Modbus RTU, on a pseudo-terminal pair and as RTU frames over TCP, at a slow and
// a fast line: the same answers as Modbus TCP from the same meter, the line's faults, and the
// options and devices it refuses.
#include <gtest/gtest.h>

#include <fstream>
#include <thread>
#include <vector>

#include "kolvane.h"
#include "modbus/client.hpp"
#include "rtu_line.hpp"
#include "support/api_call.hpp"
#include "support/descriptors.hpp"
#include "support/failure.hpp"
#include "support/temp_dir.hpp"

namespace {

using namespace std::chrono_literals;
using kolvane::ModbusTcpClient;
using ksim::Fault;
using ktest::Line;
using ktest::RtuMeter;

std::string device_info(const std::string& host, const std::string& options) {
    const auto result = ktest::call_api([&](char* out, int out_len, char* err, int err_len) {
        return kolvane_read_device_info(host.c_str(), "em235", options.c_str(), out, out_len, err,
                                        err_len);
    });
    return result.status < 0 ? "failed: " + result.err : result.out;
}

// The document as read from `host`, told as if read from 127.0.0.1.
std::string from_loopback(std::string document, const std::string& host) {
    const std::string named = "\"host\":\"" + host + "\"";
    const size_t at = document.find(named);
    if (at != std::string::npos) document.replace(at, named.size(), "\"host\":\"127.0.0.1\"");
    return document;
}

int collect(const char* record, void* user) {
    static_cast<std::vector<std::string>*>(user)->push_back(record);
    return 0;
}

std::vector<std::string> datalog(const std::string& host, const std::string& options) {
    std::vector<std::string> records;
    char err[256] = "";
    const int n = kolvane_read_datalog(host.c_str(), "em235", 1, options.c_str(), collect, &records,
                                       err, sizeof err);
    if (n < 0) return {std::string("failed: ") + err};
    if (!records.empty()) records[0] = from_loopback(records[0], host);
    return records;
}

// A read's values, or its failure.
std::string outcome(ModbusTcpClient& client, uint16_t address, int unit = -1) {
    std::string text;
    const std::string failure = ktest::failure_of([&] {
        for (const uint16_t word : client.read_holding_registers(address, 1, unit)) {
            text += "value " + std::to_string(word);
        }
    });
    return failure == "(no failure)" ? text : failure;
}

class RtuLines : public ::testing::TestWithParam<Line> {};

INSTANTIATE_TEST_SUITE_P(Lines, RtuLines,
                         ::testing::Values(Line{"pty9600", true, 9600},
                                           Line{"pty115200", true, 115200},
                                           Line{"tcp9600", false, 9600},
                                           Line{"tcp115200", false, 115200}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(RtuLines, AnswersAsModbusTcpDoes) {
    RtuMeter meter(ksim::default_meter(ksim::Model::em235, 0), GetParam());
    const std::string over_tcp = device_info(ktest::LOOPBACK, meter.tcp_options());
    ASSERT_EQ(over_tcp.rfind("{", 0), 0u) << over_tcp;
    EXPECT_EQ(from_loopback(device_info(meter.host(), meter.rtu_options()), meter.host()),
              over_tcp);

    // More than one request's worth, and a write between two reads.
    std::vector<uint16_t> words(250);
    for (size_t i = 0; i < words.size(); ++i) words[i] = uint16_t(0x9000 + i);
    meter.sim().set_registers(20000, words);
    ModbusTcpClient client(meter.host(), meter.connection());
    client.connect();
    EXPECT_EQ(kolvane::read_words(client, 20000, 250), words);
    client.write_multiple_registers(20010, {7, 8});
    client.write_single_register(20249, 9);
    words[10] = 7;
    words[11] = 8;
    words[249] = 9;
    EXPECT_EQ(kolvane::read_words(client, 20000, 250), words);
}

// A reply spoiled on the line, a silent unit and a reply that comes too late each fail the one
// request; the line then carries the next request's own reply.
TEST_P(RtuLines, LineFaultsFailOneRequest) {
    RtuMeter meter(ksim::default_meter(ksim::Model::em133, 0), GetParam());
    ksim::Simulator& sim = meter.sim();
    sim.set_registers(100, {11, 22});
    sim.add_fault(Fault::bad_crc().reads(100).nth(1));
    sim.add_fault(Fault::no_reply().unit(5));
    sim.add_fault(Fault::delay(900ms).reads(101).nth(1));
    constexpr int TIMEOUT_MS = 300;
    ModbusTcpClient client(meter.host(), meter.connection(TIMEOUT_MS));
    client.connect();
    const std::string from = client.endpoint();
    const std::string no_reply = " within " + std::to_string(TIMEOUT_MS) + " ms";

    struct Step {
        const char* what;
        uint16_t address;
        int unit;
        std::string expected;
    } steps[] = {
        {"spoiled CRC", 100, 1, "reply from " + from + " (unit 1) failed its CRC check"},
        {"after the spoiled CRC", 100, 1, "value 11"},
        {"silent unit", 100, 5, "no reply from " + from + " (unit 5)" + no_reply},
        {"after the silent unit", 100, 1, "value 11"},
        {"late reply", 101, 1, "no reply from " + from + " (unit 1)" + no_reply},
        {"after the late reply", 100, 1, "value 11"},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(outcome(client, step.address, step.unit), step.expected) << step.what;
        if (std::string(step.what) == "late reply") {
            // The late reply has come in by the next request, which must not take it for its own.
            for (int i = 0;
                 i < 100 && sim.journal().back().answered == decltype(ksim::Request::answered){};
                 ++i) {
                std::this_thread::sleep_for(20ms);
            }
            std::this_thread::sleep_for(100ms);
        }
    }
}

// An adapter that passes each request back before the reply: told by the echo key, or found out
// for reads without it.
TEST_P(RtuLines, EchoingAdapter) {
    ksim::RtuLine echoing;
    echoing.echo = true;
    RtuMeter meter(ksim::default_meter(ksim::Model::em235, 0), GetParam(), echoing);
    const std::string over_tcp = device_info(ktest::LOOPBACK, meter.tcp_options());
    for (const char* extra : {",\"echo\":1", ""}) {
        EXPECT_EQ(from_loopback(device_info(meter.host(), meter.rtu_options(extra)), meter.host()),
                  over_tcp)
            << "options " << extra;
    }
    ModbusTcpClient client(meter.host(),
                           kolvane::parse_options(meter.rtu_options(",\"echo\":1").c_str()));
    client.connect();
    client.write_single_register(300, 5);
    client.write_multiple_registers(301, {6, 7});
    EXPECT_EQ(kolvane::read_words(client, 300, 3), (std::vector<uint16_t>{5, 6, 7}));
}

TEST(RtuDatalog, ReadsAsOverModbusTcp) {
    ksim::Meter content = ksim::default_meter(ksim::Model::em235, 0);
    content.logs[1] = ksim::default_meter(ksim::Model::em235, 150).logs.at(1);
    RtuMeter meter(content, Line{"pty115200", true, 115200});
    const std::vector<std::string> over_tcp = datalog(ktest::LOOPBACK, meter.tcp_options());
    ASSERT_EQ(over_tcp.size(), 151u) << over_tcp[0];
    meter.sim().set_log_cursor(1, 0);
    EXPECT_EQ(datalog(meter.host(), meter.rtu_options()), over_tcp);
}

// A write to unit 0 goes to every meter on the line and nobody answers it.
TEST(RtuBroadcast, WritesWithoutReplyAndRefusesReads) {
    RtuMeter meter(ksim::default_meter(ksim::Model::em133, 0), Line{"pty115200", true, 115200});
    kolvane::ConnectionOptions options = meter.connection(300);
    options.unit_id = 0;
    ModbusTcpClient client(meter.host(), options);
    client.connect();
    client.write_single_register(400, 42);
    ASSERT_TRUE(meter.sim().wait_for_requests(1));
    EXPECT_EQ(meter.sim().get_register(400), 42);
    EXPECT_EQ(outcome(client, 400),
              "unit 0 is the broadcast address of an RTU line: no meter answers a read there");
}

// The adapter is pulled out in the middle of the work.
TEST(RtuSerialPort, VanishingDeviceFailsTheRequest) {
    RtuMeter meter(ksim::default_meter(ksim::Model::em133, 0), Line{"pty115200", true, 115200});
    meter.sim().set_register(100, 11);
    const int before = ktest::open_descriptors();
    {
        ModbusTcpClient client(meter.host(), meter.connection());
        client.connect();
        EXPECT_EQ(outcome(client, 100), "value 11");
        meter.pty().stop();
        EXPECT_EQ(outcome(client, 100).rfind("serial port " + meter.host() + " failed: ", 0), 0u)
            << outcome(client, 100);
    }
    EXPECT_EQ(ktest::open_descriptors(), before);
}

// Each refusal is the call's one-line message, and leaves no descriptor open.
TEST(RtuOptions, RefusedWithTheirMessage) {
    RtuMeter meter(ksim::default_meter(ksim::Model::em133, 0), Line{"pty9600", true, 9600});
    const ktest::TempDir dir;
    const std::string plain_file = dir.file("not-a-tty");
    std::ofstream(plain_file) << "x";
    const std::string tty = meter.host();
    ModbusTcpClient holder(tty, meter.connection());
    holder.connect();

    struct Case {
        std::string host;
        std::string options;
        std::string message;
    } cases[] = {
        {tty, "{\"rtu\":2}", "options.rtu must be 0 or 1"},
        {tty, "{\"rtu\":-1}", "options.rtu must be 0 or 1"},
        {tty, "{\"baud\":9601}",
         "options.baud must be 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 or 230400"},
        {tty, "{\"baud\":0}",
         "options.baud must be 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 or 230400"},
        {tty, "{\"parity\":3}", "options.parity must be 0 (none), 1 (odd) or 2 (even)"},
        {tty, "{\"parity\":-1}", "options.parity must be 0 (none), 1 (odd) or 2 (even)"},
        {tty, "{\"stop_bits\":0}", "options.stop_bits must be 1 or 2"},
        {tty, "{\"stop_bits\":3}", "options.stop_bits must be 1 or 2"},
        {tty, "{\"echo\":2}", "options.echo must be 0 or 1"},
        {"127.0.0.1", "{\"baud\":9600}", "options.baud needs RTU: a serial device or \"rtu\":1"},
        {"127.0.0.1", "{\"echo\":1}", "options.echo needs RTU: a serial device or \"rtu\":1"},
        {"127.0.0.1", "{\"rtu\":1,\"parity\":0}", "options.parity needs a serial device"},
        {"127.0.0.1", "{\"rtu\":1,\"stop_bits\":2}", "options.stop_bits needs a serial device"},
        {"/nonexistent/ttyUSB9", "{}",
         "Cannot open serial port /nonexistent/ttyUSB9: No such file or directory"},
        {plain_file, "{}", plain_file + " is not a serial port"},
        {tty, "{}", "serial port " + tty + " is in use by another program"},
    };
    for (const Case& c : cases) {
        const int before = ktest::open_descriptors();
        EXPECT_EQ(device_info(c.host, c.options), "failed: " + c.message) << c.options;
        EXPECT_EQ(ktest::open_descriptors(), before) << c.host << " " << c.options;
    }
}

}  // namespace

// Programs that take turns at the line open the serial port for their turn only: clients on
// several threads (as the collector and the exporter in their processes) all read the meter,
// none refused as the port's other user; a client without turns holds the port meanwhile.
TEST(RtuSerialPort, ClientsTakingTurnsShareTheLine) {
    RtuMeter meter(ksim::default_meter(ksim::Model::em235, 0), Line{"pty115200", true, 115200});
    const std::string expected = device_info(meter.host(), meter.rtu_options());
    ASSERT_EQ(expected.rfind("failed", 0), std::string::npos) << expected;
    std::vector<std::string> failures[3];
    std::vector<std::thread> readers;
    for (auto& failed : failures)
        readers.emplace_back([&meter, &expected, &failed] {
            for (int i = 0; i < 5; ++i) {
                const std::string got =
                    device_info(meter.host(), meter.rtu_options(",\"machine_turns\":1"));
                if (got != expected) failed.push_back(got);
            }
        });
    for (std::thread& reader : readers) reader.join();
    for (const auto& failed : failures) EXPECT_TRUE(failed.empty()) << failed.front();
}
