// SPDX-License-Identifier: MIT
// kolvane-sim, the program: its options, exit statuses and messages, and the first line on
// standard output that tests and scripts read the port from.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "raw_client.hpp"
#include "rtu_client.hpp"
#include "simulator.hpp"
#include "support/files.hpp"
#include "support/loopback_ports.hpp"
#include "support/process.hpp"
#include "support/temp_dir.hpp"
#include "zone_clock.hpp"

using namespace ktest;
using Args = std::vector<std::string>;

namespace {

// kolvane-sim with `args`, running.
cli_test::Process start_sim(Args args) {
    args.insert(args.begin(), KOLVANE_SIM);
    return cli_test::Process(args);
}

// kolvane-sim with `args`, run to its end.
cli_test::Outcome run_sim(const Args& args) { return start_sim(args).finish(); }

std::string joined(const Args& args) {
    std::string text;
    for (const std::string& arg : args) text += " '" + arg + "'";
    return text;
}

struct UsageCase {
    Args args;
    std::string message;  // the one line on standard error
};

// Every usage error ends the program with status 2 before it listens, in one line that names
// the reason.
void expect_usage_errors(const std::vector<UsageCase>& cases) {
    for (const UsageCase& c : cases) {
        const cli_test::Outcome sim = run_sim(c.args);
        EXPECT_EQ(sim.exit_status, 2) << joined(c.args);
        EXPECT_EQ(sim.err, c.message + "\n") << joined(c.args);
        EXPECT_EQ(sim.out, "") << joined(c.args);
    }
}

TEST(SimProgram, BadArgumentsAreUsageErrors) {
    const std::string port = "kolvane-sim: --port must be 0-65535";
    const std::string records =
        "kolvane-sim: --records must be 0-65535: a meter announces at most 65535 records per log";
    const std::string serial = "kolvane-sim: --serial must be 0-4294967295";
    const std::string unknown = " (kolvane-sim --help lists the options)";
    const std::string units =
        "kolvane-sim: --units must be unit ids 0-255 separated by commas, e.g. 1,2,5";
    const std::string refusal =
        "kolvane-sim: --refuse must be REGISTER:CODE[:COUNT]: a register 0-65535, an exception "
        "code 1-255, a count of requests 1-1000000";
    const std::string baud =
        "kolvane-sim: --baud must be 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 or "
        "230400";
    const std::string bad_crc =
        "kolvane-sim: --bad-crc must be REGISTER[:COUNT]: a register 0-65535, a count of requests "
        "1-1000000";
    const std::string file_info =
        "kolvane-sim: --refuse-file-info must be FILE:CODE[:COUNT]: a log file 0-16, an "
        "exception code 1-255, a count of requests 1-1000000";
    expect_usage_errors({
        {{"--model", "em999"}, "kolvane-sim: --model must be em133 or em235"},
        {{"--model", "EM133"}, "kolvane-sim: --model must be em133 or em235"},
        {{"--port", "65536"}, port},
        {{"--port", "-1"}, port},
        {{"--port", "0x10"}, port},  // numbers are decimal
        {{"--port", "12x"}, port},
        {{"--port", "5", "--port", "65536"}, port},  // every value given is checked
        {{"--records", "-1"}, records},
        {{"--records", "99999999999999999999"}, records},
        {{"--serial", "4294967296"}, serial},
        {{"--serial", "-1"}, serial},
        {{"--units", "256"}, units},
        {{"--units", "-1"}, units},
        {{"--units", "1,,2"}, units},
        {{"--units", "1,2,"}, units},
        {{"--units", ",1"}, units},
        {{"--units", "1;2"}, units},
        {{"--units", "0x1"}, units},
        {{"--units", "1,2,1"}, "kolvane-sim: --units names unit 1 twice"},
        {{"--units", "5,005"}, "kolvane-sim: --units names unit 5 twice"},
        {{"--units"}, "kolvane-sim: --units needs a value"},
        {{"--latency", "60001"}, "kolvane-sim: --latency must be 0-60000 ms"},
        {{"--min-gap", "-1"}, "kolvane-sim: --min-gap must be 0-60000 ms"},
        {{"--max-connections", "1001"}, "kolvane-sim: --max-connections must be 0-1000"},
        {{"--clock-zone", "Nowhere/Atlantis"}, "kolvane-sim: unknown time zone 'Nowhere/Atlantis'"},
        {{"--clock-zone"}, "kolvane-sim: --clock-zone needs a value"},
        {{"--wrap", "0"}, "kolvane-sim: --wrap must be 1-65535 records"},
        {{"--wrap", "65536"}, "kolvane-sim: --wrap must be 1-65535 records"},
        {{"--record-every", "0"}, "kolvane-sim: --record-every must be 1-86400 seconds"},
        {{"--record-every", "86401"}, "kolvane-sim: --record-every must be 1-86400 seconds"},
        {{"--model"}, "kolvane-sim: --model needs a value"},
        {{"--port", "--records", "10"}, "kolvane-sim: --port needs a value"},
        {{"--listen"}, "kolvane-sim: --listen needs a value"},
        {{"--records", "10", "--meter"}, "kolvane-sim: --meter needs a value"},
        {{"--port", "x", "--help"}, port},  // the first bad argument is reported, not help
        {{"--verbose"}, "kolvane-sim: unknown argument --verbose" + unknown},
        {{"--port", "0", "em133"}, "kolvane-sim: unknown argument em133" + unknown},
        {{"--refuse", "2393"}, refusal},
        {{"--refuse", "65536:6"}, refusal},
        {{"--refuse", "2393:0"}, refusal},
        {{"--refuse", "2393:6:0"}, refusal},
        {{"--refuse", "2393:6:"}, refusal},
        {{"--refuse", "2393:6:1:1"}, refusal},
        {{"--refuse-file-info", "17:6"}, file_info},
        {{"--refuse-file-info", "1:256:1"}, file_info},
        {{"--refuse-file-info", "5:6"},
         "kolvane-sim: --refuse-file-info names log 5, but the meter has no log 5"},
        {{"--mute-unit", "256"}, "kolvane-sim: --mute-unit must be a unit id 0-255"},
        {{"--rtu-tcp", "65536"}, "kolvane-sim: --rtu-tcp must be 0-65535"},
        {{"--baud", "9601"}, baud},
        {{"--baud", "300"}, baud},
        {{"--parity", "mark"}, "kolvane-sim: --parity must be none, even or odd"},
        {{"--stop-bits", "3"}, "kolvane-sim: --stop-bits must be 1 or 2"},
        {{"--bad-crc", "65536"}, bad_crc},
        {{"--bad-crc", "100:0"}, bad_crc},
        {{"--bad-crc", ":1"}, bad_crc},
        {{"--bad-crc", "100:1:1"}, bad_crc},
    });
}

TEST(SimProgram, BadMeterFilesAreUsageErrors) {
    const TempDir dir;
    const std::string counts = dir.file("counts.txt"), missing = dir.file("missing.txt");
    const std::string no_log = dir.file("no_log.txt"), no_code = dir.file("no_code.txt");
    write_file(counts, "# a log larger than a meter can announce\nrecords 65536\n");
    write_file(no_log, "no_log 3\nrefuse_file_info 3 6\n");
    write_file(no_code, "refuse_file_info 1 0\n");
    expect_usage_errors({
        {{"--meter", counts}, "kolvane-sim: " + counts + ":2: records needs a count of 0-65535"},
        {{"--meter", no_log},
         "kolvane-sim: " + no_log + ":2: refuse_file_info names log 3, but the meter has no log 3"},
        {{"--meter", no_code}, "kolvane-sim: " + no_code + ":1: bad value for refuse_file_info"},
        {{"--meter", missing}, "kolvane-sim: cannot open meter file " + missing},
        {{"--meter", dir.path()}, "kolvane-sim: cannot read meter file " + dir.path()},
    });
}

// The port named in "kolvane-sim: MODEL listening on 127.0.0.1:PORT", 0 when the line is not that.
int listening_port(const std::string& line, const std::string& model) {
    std::smatch match;
    const std::regex form("kolvane-sim: " + model + " listening on 127\\.0\\.0\\.1:([0-9]+)");
    return std::regex_match(line, match, form) ? std::stoi(match[1]) : 0;
}

// Help ends the program at once (a program that went on to serve would never end).
TEST(SimProgram, HelpListsTheOptionsAndServesNothing) {
    for (const Args& args : std::vector<Args>{
             {"--help"}, {"-h"}, {"--help", "--port", "x"}, {"--records", "10", "-h"}}) {
        const cli_test::Outcome sim = run_sim(args);
        EXPECT_EQ(sim.exit_status, 0) << joined(args);
        EXPECT_EQ(sim.err, "") << joined(args);
        const std::string usage = sim.out;
        EXPECT_NE(usage.find("Usage: kolvane-sim"), std::string::npos) << usage;
        for (const char* option : {"--model",
                                   "--port",
                                   "--listen",
                                   "--records",
                                   "--serial",
                                   "--meter",
                                   "--units",
                                   "--latency",
                                   "--max-connections",
                                   "--min-gap",
                                   "--journal",
                                   "--clock-zone",
                                   "--wrap",
                                   "--record-every",
                                   "--refuse",
                                   "--refuse-file-info",
                                   "--mute-unit",
                                   "--rtu-device",
                                   "--rtu-tcp",
                                   "--baud",
                                   "--parity",
                                   "--stop-bits",
                                   "--bad-crc",
                                   "--echo",
                                   "first line on standard output"})
            EXPECT_NE(usage.find(option), std::string::npos) << option;
    }
}

std::uint32_t pair32(const std::vector<std::uint16_t>& words) {
    return words[0] | (std::uint32_t{words[1]} << 16);
}

// The File Info words of data log 1: word 8 the records it announces, word 12 its start index.
std::vector<std::uint16_t> data_log_info(RawClient& client) {
    client.writen(ksim::FILE_INFO_REQUEST, {9, 1, 0, 0, 0, 0, 0, 0});
    return client.read(ksim::FILE_INFO_DATA, 14);
}

// The record of data log 1 at seek index `start index + k`, as a collector resuming there reads
// it (empty when the meter serves none).
std::vector<std::uint16_t> data_log_record(RawClient& client, std::uint16_t k) {
    const auto start = data_log_info(client)[12];
    client.writen(ksim::TRANSFER_REQUEST, {3, 1, 0, 0, static_cast<std::uint16_t>(start + k), 0});
    client.writen(ksim::TRANSFER_REQUEST, {11, 1, 0, 0, 0, 0});
    const std::uint16_t words = client.read(ksim::BLOCK_HEADER, 8)[5];
    return words ? client.read(ksim::BLOCK_DATA, words) : std::vector<std::uint16_t>{};
}

TEST(SimProgram, OptionsShapeTheServedMeter) {
    const TempDir dir;
    const std::string meter = dir.file("meter.txt");
    write_file(meter, "model em235\nserial 7\n");
    struct Case {
        Args args;
        std::string model;
        std::uint32_t serial;
        std::uint16_t records;
        int stop_signal;
    } cases[] = {
        {{}, "em133", 1201784, 2880, SIGTERM},  // the defaults
        {{"--model", "pm335", "--records", "0", "--serial", "4294967295"},
         "em235",
         4294967295u,
         0,
         SIGINT},
        {{"--records", "7", "--records", "3", "--serial", "0"}, "em133", 0, 3, SIGTERM},
        {{"--serial", "9", "--meter", meter, "--records", "5"}, "em235", 9, 5, SIGTERM},
        {{"--meter", meter, "--listen", "127.0.0.1", "--port", "0"}, "em235", 7, 2880, SIGINT},
    };
    for (const Case& c : cases) {
        cli_test::Process sim = start_sim(c.args);
        const std::string line = sim.read_out_line();
        const int port = listening_port(line, c.model);
        ASSERT_NE(port, 0) << joined(c.args) << ": " << line;
        {
            RawClient client(static_cast<std::uint16_t>(port));
            EXPECT_EQ(pair32(client.read(ksim::IDENTITY_REGISTER, 2)), c.serial) << joined(c.args);
            EXPECT_EQ(data_log_info(client)[8], c.records) << joined(c.args);
        }
        sim.signal(c.stop_signal);
        const cli_test::Outcome stopped = sim.finish();
        EXPECT_EQ(stopped.exit_status, 0) << joined(c.args);
        EXPECT_EQ(stopped.err, "kolvane-sim: stopped after 1 connections, 3 requests\n")
            << joined(c.args);
    }
}

// RTU over TCP on the line the options describe, with its faults, next to Modbus TCP; a serial
// device that cannot be opened ends the program before it prints anything.
TEST(SimProgram, RtuOptionsShapeTheLine) {
    cli_test::Process sim =
        start_sim({"--rtu-tcp", "0", "--baud", "115200", "--parity", "none", "--stop-bits", "2",
                   "--echo", "--bad-crc", "46081:1", "--serial", "77"});
    ASSERT_NE(listening_port(sim.read_out_line(), "em133"), 0);
    const std::string line = sim.read_out_line();
    std::smatch match;
    ASSERT_TRUE(std::regex_match(
        line, match,
        std::regex(R"(kolvane-sim: em133 RTU over TCP on 127\.0\.0\.1:([0-9]+), 115200 8N2 echo)")))
        << line;
    {
        TcpRtuPort port(static_cast<std::uint16_t>(std::stoi(match[1])));
        const Bytes request = rtu_request(1, pdu_read(ksim::IDENTITY_REGISTER, 2));
        const Bytes good = rtu_request(1, {3, 4, 0, 77, 0, 0});
        const Bytes first = port.call(request, request.size() + good.size());
        ASSERT_EQ(first.size(), request.size() + good.size());
        EXPECT_EQ(Bytes(first.begin(), first.begin() + 8), request);  // the echo
        EXPECT_FALSE(crc_matches(Bytes(first.begin() + 8, first.end())));
        Bytes echo_and_reply = request;
        echo_and_reply.insert(echo_and_reply.end(), good.begin(), good.end());
        EXPECT_EQ(port.call(request, echo_and_reply.size()), echo_and_reply);
    }
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.finish().exit_status, 0);

    const TempDir dir;
    const cli_test::Outcome missing = run_sim({"--rtu-device", dir.file("none")});
    EXPECT_EQ(missing.exit_status, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "kolvane-sim: ksim: cannot open " + dir.file("none") +
                               ": No such file or directory\n");
}

// A gateway on IPv6 loopback: one meter per unit with serials counting up, exception 11 for any
// other unit, and one journal line per request on standard error.
TEST(SimProgram, UnitsServeOneMeterEachBehindOnePort) {
    cli_test::Process sim = start_sim({"--units", "1,2", "--serial", "500", "--records", "0",
                                       "--listen", "::1", "--latency", "5", "--journal"});
    const std::string line = sim.read_out_line();
    std::smatch match;
    ASSERT_TRUE(std::regex_match(
        line, match, std::regex(R"(kolvane-sim: em133 listening on \[::1\]:([0-9]+) units 1,2)")))
        << line;
    {
        RawClient client(static_cast<std::uint16_t>(std::stoi(match[1])), "::1");
        EXPECT_EQ(client.call(1, pdu_read(ksim::IDENTITY_REGISTER, 1), 1).regs()[0], 500);
        EXPECT_EQ(client.call(2, pdu_read(ksim::IDENTITY_REGISTER, 1), 2).regs()[0], 501);
        EXPECT_EQ(client.call(3, pdu_read(ksim::IDENTITY_REGISTER, 1), 3).pdu, (Bytes{0x83, 11}));
    }
    const std::string head = R"(\+[0-9]+\.[0-9]{3}s conn 1 unit )";
    const std::string read = R"( fc 3 addr 46080 qty 1 )";
    const std::string took = R"( in [0-9]+\.[0-9] ms)";
    for (const std::string& expected :
         {head + "1" + read + "replied" + took, head + "2" + read + "replied" + took,
          head + "3" + read + "refused with exception 11" + took}) {
        const std::string journal_line = sim.read_err_line();
        EXPECT_TRUE(std::regex_match(journal_line, std::regex(expected))) << journal_line;
    }
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.finish().exit_status, 0);
}

// With --wrap the logs are circular and go on recording: seconds later data log 1 still announces
// 5 records, newer ones, at the same seek indexes. --clock-zone stamps them with Berlin's wall time
// of the instant each was recorded: the default meter's newest record (sequence number 3879) at
// the quarter hour of start-up, each appended one 15 minutes after the one before.
TEST(SimProgram, WrappedLogsGoOnRecording) {
    const std::int64_t before = ksim::newest_record_time(std::time(nullptr));
    cli_test::Process sim =
        start_sim({"--wrap", "5", "--record-every", "1", "--clock-zone", "Europe/Berlin"});
    const int port = listening_port(sim.read_out_line(), "em133");
    const std::int64_t after = ksim::newest_record_time(std::time(nullptr));
    ASSERT_NE(port, 0);
    const ksim::WallClock berlin = *ksim::zone_wall_clock("Europe/Berlin");
    RawClient client(static_cast<std::uint16_t>(port));
    std::uint16_t first_seq = 0;
    for (const int pause : {0, 3}) {
        std::this_thread::sleep_for(std::chrono::seconds(pause));
        EXPECT_EQ(data_log_info(client)[8], 5);
        const std::vector<std::uint16_t> newest = data_log_record(client, 4);
        ASSERT_GE(newest.size(), 4u);
        const std::int64_t later = 900 * (newest[1] - 3879);
        const std::int64_t stamp = pair32({newest[2], newest[3]});
        EXPECT_TRUE(stamp == berlin(before + later) || stamp == berlin(after + later)) << stamp;
        EXPECT_GT(newest[1], first_seq);
        first_seq = newest[1];
    }
    sim.signal(SIGTERM);
    EXPECT_EQ(sim.finish().exit_status, 0);
}

// One request of a weather case: a read of `address`, or with `file` a File Info request of that
// log (its write answered, then the read of its data), to `unit`; and how it is to be answered.
struct Ask {
    std::uint16_t address = 0;
    int file = -1;
    std::uint8_t unit = 1;
    std::string answer;  // "reply", "exception N" or "no reply"
};

Ask read_of(std::uint16_t address, const std::string& answer, std::uint8_t unit = 1) {
    return {address, -1, unit, answer};
}
Ask file_info_of(int file, const std::string& answer, std::uint8_t unit = 1) {
    return {0, file, unit, answer};
}

// How the meter behind `client` answers `ask` (a refused File Info write is told apart).
std::string answer_to(RawClient& client, const Ask& ask) {
    static std::uint16_t tid = 0;
    auto answer = [&](const Bytes& pdu) -> std::string {
        client.send_request(++tid, pdu, ask.unit);
        const std::optional<Frame> frame = client.recv_frame(300);
        if (!frame) return "no reply";
        if (frame->tid != tid) return "a reply to another request";
        return frame->is_exception() ? "exception " + std::to_string(frame->exception_code())
                                     : "reply";
    };
    if (ask.file < 0) return answer(pdu_read(ask.address, 1));
    const std::string written = answer(pdu_writen(
        ksim::FILE_INFO_REQUEST, {9, static_cast<std::uint16_t>(ask.file), 0, 0, 0, 0, 0, 0}));
    if (written != "reply") return "File Info write: " + written;
    return answer(pdu_read(ksim::FILE_INFO_DATA, 14));
}

// The port in kolvane-sim's first line, with or without units; 0 when the line is not that.
int served_port(const std::string& line) {
    std::smatch match;
    const std::regex form(
        R"(kolvane-sim: em[0-9]+ listening on 127\.0\.0\.1:([0-9]+)( units .*)?)");
    return std::regex_match(line, match, form) ? std::stoi(match[1]) : 0;
}

// --refuse, --refuse-file-info, --mute-unit and the meter file's refuse_file_info: each request
// in turn answered as stated, on one connection.
TEST(SimProgram, WeatherOptionsRefuseAndSilenceAsStated) {
    const TempDir dir;
    const std::string refusing = dir.file("refusing.txt");
    write_file(refusing, "refuse_file_info 2 4\n");
    const std::string reply = "reply", busy = "exception 6", silent = "no reply";
    const struct {
        Args args;
        std::vector<Ask> asks;
    } cases[] = {
        {{"--refuse", "2393:6:2"},
         {read_of(2393, busy), read_of(2390, reply), read_of(2393, busy), read_of(2393, reply)}},
        // Rules add up, in the order given; a read of a block touching the register is refused.
        {{"--refuse", "46085:4", "--refuse", "2393:6:1", "--refuse", "2393:10"},
         {read_of(46080, reply), read_of(46085, "exception 4"), read_of(2393, busy),
          read_of(2393, "exception 10"), read_of(2393, "exception 10")}},
        {{"--refuse-file-info", "1:6:2"},
         {file_info_of(1, busy), file_info_of(2, reply), file_info_of(1, busy),
          file_info_of(1, reply)}},
        {{"--units", "1,2", "--refuse-file-info", "0:11:2"},  // counted over the units
         {file_info_of(0, "exception 11", 2), file_info_of(0, "exception 11", 1),
          file_info_of(0, reply, 2)}},
        {{"--meter", refusing},
         {file_info_of(2, "exception 4"), file_info_of(2, "exception 4"), file_info_of(3, reply)}},
        {{"--meter", refusing, "--refuse-file-info", "2:6:1"},
         {file_info_of(2, busy), file_info_of(2, reply)}},
        {{"--units", "1,2,3", "--mute-unit", "2", "--mute-unit", "9", "--refuse", "46080:4"},
         {read_of(2393, reply, 1), read_of(2393, silent, 2), read_of(46080, silent, 2),
          read_of(2393, reply, 3), read_of(2393, silent, 9), read_of(2393, "exception 11", 4)}},
        {{"--mute-unit", "0"},  // one meter that answers every unit id but 0
         {read_of(2393, silent, 0), read_of(2393, reply, 1), read_of(2393, reply, 247)}},
    };
    for (const auto& c : cases) {
        cli_test::Process sim = start_sim(c.args);
        const int port = served_port(sim.read_out_line());
        ASSERT_NE(port, 0) << joined(c.args);
        {
            RawClient client(static_cast<std::uint16_t>(port));
            for (std::size_t i = 0; i < c.asks.size(); ++i)
                EXPECT_EQ(answer_to(client, c.asks[i]), c.asks[i].answer)
                    << joined(c.args) << ", request " << i + 1;
        }
        sim.signal(SIGTERM);
        EXPECT_EQ(sim.finish().exit_status, 0) << joined(c.args);
    }
}

TEST(SimProgram, ListensOnTheNamedPort) {
    const std::uint16_t free_port = closed_loopback_port();
    cli_test::Process sim = start_sim({"--port", std::to_string(free_port)});
    EXPECT_EQ(listening_port(sim.read_out_line(), "em133"), free_port);
    sim.signal(SIGTERM);
}

TEST(SimProgram, NoListeningSocketIsARuntimeFailure) {
    const BoundSocket taken(true);
    const struct {
        Args args;
        std::string reason;
    } cases[] = {
        {{"--port", std::to_string(taken.port())}, "cannot listen on 127.0.0.1:"},
        {{"--listen", "localhost"}, "bad listen address localhost"},
    };
    for (const auto& c : cases) {
        const cli_test::Outcome sim = run_sim(c.args);
        EXPECT_EQ(sim.exit_status, 1) << joined(c.args);
        EXPECT_EQ(sim.out, "") << joined(c.args);
        const std::string err = sim.err;
        EXPECT_TRUE(err.starts_with("kolvane-sim: ")) << err;
        EXPECT_NE(err.find(c.reason), std::string::npos) << err;
        EXPECT_EQ(err.find('\n'), err.size() - 1) << err;  // one line
    }
}

}  // namespace
