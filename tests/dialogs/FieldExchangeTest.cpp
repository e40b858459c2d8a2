#include "FieldExchange.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(FieldExchange, FloatsAreWrittenShortAndReadBackExactly)
{
    struct Case
    {
        float value;
        const char *text;
    } const cases[] = {{2.0f, "2"}, {-128.0f, "-128"}, {0.1f, "0.1"}, {0.9921875f, "0.9921875"}};
    for (const Case &c : cases) {
        const QString text = CFieldExchange::FormatFloat(c.value);
        EXPECT_EQ(text.toStdString(), c.text);
        const auto back = CFieldExchange::ParseFloat(text);
        ASSERT_TRUE(back);
        EXPECT_EQ(std::memcmp(&*back, &c.value, sizeof(float)), 0) << c.text;
    }
    // Values whose shortest form is long or has an exponent still come back bit for bit.
    for (const float value : {1e20f, -3.4028235e38f, 1.17549435e-38f, 16777217.0f, 0.3f}) {
        const auto back = CFieldExchange::ParseFloat(CFieldExchange::FormatFloat(value));
        ASSERT_TRUE(back);
        EXPECT_EQ(*back, value);
    }
}

TEST(FieldExchange, ParsesOnlyWhatFitsTheField)
{
    struct Case
    {
        const char *text;
        bool isFloat, isLevel;
    } const cases[] = {
        {"0", true, true},       {"255", true, true},
        {" 7 ", true, true},     {"+3", true, true},
        {"256", true, false},    {"-1", true, false},
        {"1.5", true, false},    {"-0.5e2", true, false},
        {"", false, false},      {"abc", false, false},
        {"12abc", false, false}, {"nan", false, false},
        {"inf", false, false},   {"-infinity", false, false},
        {"1e50", false, false},  {"99999999999999999999", true, false},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(CFieldExchange::ParseFloat(QString::fromLatin1(c.text)).has_value(), c.isFloat)
            << '"' << c.text << '"';
        EXPECT_EQ(CFieldExchange::ParseLevel(QString::fromLatin1(c.text)).has_value(), c.isLevel)
            << '"' << c.text << '"';
    }
    EXPECT_EQ(CFieldExchange::ParseLevel(QStringLiteral(" 7 ")), 7);
    EXPECT_EQ(CFieldExchange::ParseFloat(QStringLiteral("-0.5e2")), -50.0f);
}
