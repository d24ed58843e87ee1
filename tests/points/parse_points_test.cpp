// SPDX-License-Identifier: MIT
// The points text: separators, brackets, quoting, numbers and names, and every rejection.
#include <gtest/gtest.h>

#include "points/points.hpp"
#include "readings.hpp"

namespace {

using kolvane::parse_points;

TEST(ParsePoints, AcceptedTexts) {
    struct Case {
        const char* text;
        std::vector<uint16_t> ids;
    };
    const Case cases[] = {
        {"4352,4353", {4352, 4353}},
        {R"([4352, "V2", 0x1102])", {4352, 4353, 4354}},
        {R"("kWh import" "Total kW")", {0x1700, 0x1400}},
        {"3072 3073", {3072, 3073}},
        {"[3072,]", {3072}},
        {" ,\t[ 3072 ,, 3073 ]", {3072, 3073}},
        {"\t4352\n\v\f\r,4353", {4352, 4353}},
        {R"("3072")", {3072}},
        {R"(" 4352")", {4352}},  // the conversion skips leading whitespace
        {"+4352", {4352}},
        {"0X1100 0x1101", {0x1100, 0x1101}},
        {"0x0C21", {0x0C21}},  // readable although not in the catalogue
        {"[3072] 9999 junk", {3072}},
        {"3072]\"V1\"", {3072}},
        {"4352, 3072, 4352", {4352, 3072, 4352}},
        {R"("v1")", {0x1100}},
        {R"("V1)", {0x1100}},  // an unterminated quote takes the rest
        {R"("kWh IMPORT")", {0x1700}},
        {R"("V\1")", {0x1100}},
        {R"("Total\ kW")", {0x1400}},
        {R"("Frequency")", {0x1502}},
        {R"("I4")", {0x1500}},
        {R"("In")", {0x1501}},
        {R"("I leakage")", {0x150E}},
        {R"("V12")", {0x111E}},
        {R"("V1 mag")", {0x1080}},
        {R"("V1 THD")", {0x1112}},
        {R"("Energy REG1")", {0x1780}},
        {R"("Max demand REG16")", {0x478F}},
        {R"("V1 max demand")", {0x3700}},
        {R"("I unbalance")", {0x1504}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse_points(c.text), c.ids) << c.text;
    }
}

class PointsText : public ktest::PointsTest {
protected:
    void SetUp() override {
        serve();
        sim().set_all_families_present(true);
    }
};

// Rejections reach the caller before anything is sent: the meter never sees a connection.
TEST_F(PointsText, RejectedTexts) {
    struct Case {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"", "points: at least one point is required"},
        {" , ,\t\n", "points: at least one point is required"},
        {"[]", "points: at least one point is required"},
        {"[ , ]", "points: at least one point is required"},
        {"]", "points: at least one point is required"},
        {R"("")", "points: empty item"},
        {R"(4352,"")", "points: empty item"},
        {"0x10000", "points: 0x10000 is not a 16-bit point ID"},
        {"-1", "points: -1 is not a 16-bit point ID"},
        {"65536", "points: 65536 is not a 16-bit point ID"},
        {R"("70000")", "points: 70000 is not a 16-bit point ID"},
        {"99999999999999999999", "points: 99999999999999999999 is not a 16-bit point ID"},
        {"-99999999999999999999", "points: -99999999999999999999 is not a 16-bit point ID"},
        {"100", "Point 0x0064 is not in a readable register block"},
        {"0x7000", "Point 0x7000 is not in a readable register block"},
        {"65535", "Point 0xFFFF is not in a readable register block"},
        {"0", "Point 0x0000 is not in a readable register block"},
        {"V1", "points: unexpected item V1"},
        {"4352 0x", "points: unexpected item 0x"},
        {"12abc", "points: unexpected item 12abc"},
        {"4352,V1,100", "points: unexpected item V1"},
        {"[4352 kWh import]", "points: unexpected item kWh"},
        {R"("Tariff 1 energy")", "Unknown point 'Tariff 1 energy'"},
        {R"("4352 ")", "Unknown point '4352 '"},
        {R"("V1 ")", "Unknown point 'V1 '"},
        {R"("I4\)", R"(Unknown point 'I4\')"},  // a backslash ending the text stays
        {R"(4352 "nope" V1)", "Unknown point 'nope'"},
    };
    for (const Case& c : cases) {
        const auto result = read_points("em235", c.text);
        EXPECT_EQ(result.status, -1) << c.text;
        EXPECT_EQ(result.err, c.message) << c.text;
    }
    EXPECT_EQ(sim().connections_accepted(), 0u);
}

// Checks in order: model, then the points text, then the options.
TEST_F(PointsText, CheckOrder) {
    const auto call = [](const char* model, const char* options, const char* points) {
        return ktest::call_api([&](char* out, int len, char* err, int err_len) {
            return kolvane_read_points("127.0.0.1", model, options, points, out, len, err, err_len);
        });
    };
    EXPECT_EQ(call("em999", "{\"port\":0}", nullptr).err,
              "Unknown meter model 'em999' (expected em133 or em235)");
    EXPECT_EQ(call("em133", "{\"port\":0}", nullptr).err, "points must not be null");
    EXPECT_EQ(call("em133", "{\"port\":0}", "V1").err, "points: unexpected item V1");
    EXPECT_EQ(call("em133", "{\"port\":0}", "4352").err, "options.port must be 1-65535");
    EXPECT_EQ(sim().connections_accepted(), 0u);
}

}  // namespace
