// SPDX-License-Identifier: MIT
// Printed values do not depend on the locale the host process has chosen.
#include <gtest/gtest.h>

#include <clocale>
#include <locale>
#include <string>

#include "points/value_format.hpp"

namespace {

using kolvane::ColumnFormat;
using kolvane::format_value;

// A decimal comma and digit grouping, as many locales have.
struct CommaPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

// Restores the process's C and C++ locales however the test ends.
class LocaleGuard {
public:
    LocaleGuard() : cpp_(std::locale()), c_(std::setlocale(LC_ALL, nullptr)) {}
    ~LocaleGuard() {
        std::locale::global(cpp_);
        std::setlocale(LC_ALL, c_.c_str());
    }

private:
    std::locale cpp_;
    std::string c_;
};

void expect_classic_texts() {
    ColumnFormat voltage;
    voltage.scale = 0.1;
    voltage.decimals = 1;
    ColumnFormat energy;
    energy.scale = 0.01;
    energy.decimals = 2;
    EXPECT_EQ(format_value(2301, voltage), "230.1");
    EXPECT_EQ(format_value(-123456789, energy), "-1234567.89");
    EXPECT_EQ(format_value(1234567, ColumnFormat{}), "1234567");
}

TEST(FormatValueLocale, GlobalCppLocaleWithDecimalComma) {
    const LocaleGuard guard;
    std::locale::global(std::locale(std::locale::classic(), new CommaPunct));
    expect_classic_texts();
}

TEST(FormatValueLocale, GermanCLocale) {
    const LocaleGuard guard;
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    }
    expect_classic_texts();
}

}  // namespace
