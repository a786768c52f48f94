#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "probe/TextFormat.h"

namespace {

std::string Format(const char* pattern, std::initializer_list<std::int64_t> numbers,
                   std::initializer_list<const char*> texts, int capacity = 256)
{
    char out[256];
    const int length = FormatText(out, capacity, pattern, numbers.begin(), texts.begin());
    EXPECT_EQ(length, static_cast<int>(std::string(out).size()));
    return out;
}

TEST(FormatText, PrintsSignedDecimalsOfTheFull64BitRange)
{
    EXPECT_EQ(Format("%d|%ld|%d|%ld", {0, -7, INT64_MAX, INT64_MIN}, {}),
              "0|-7|9223372036854775807|-9223372036854775808");
    EXPECT_EQ(Format("%ld bytes", {3145728}, {}), "3145728 bytes");
}

TEST(FormatText, InsertsTextsVerbatimEvenWithDirectivesInThem)
{
    EXPECT_EQ(Format("[%s][%s]", {}, {"%s %n %d", "100%"}), "[%s %n %d][100%]");
}

TEST(FormatText, NullTextPrintsNothingAndUnknownDirectivesStayAsTheyAre)
{
    EXPECT_EQ(Format("a%sb", {}, {nullptr}), "ab");
    EXPECT_EQ(Format("50%x %% %", {}, {}), "50%x %% %");
}

TEST(FormatText, CutsAtCapacityAndAlwaysTerminates)
{
    EXPECT_EQ(Format("%s", {}, {"abcdefghij"}, 5), "abcd");
    EXPECT_EQ(Format("%ld", {123456789}, {}, 4), "123");
    char one[1] = {'x'};
    EXPECT_EQ(FormatText(one, 1, "abc", nullptr, nullptr), 0);
    EXPECT_EQ(one[0], '\0');
}

TEST(AppendText, AppendsAndCutsToFit)
{
    char buffer[8] = "abc";
    EXPECT_EQ(AppendText(buffer, 8, "de"), 5);
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_EQ(AppendText(buffer, 8, "fghij"), 7);
    EXPECT_STREQ(buffer, "abcdefg");
    EXPECT_EQ(AppendText(buffer, 8, "more"), 7);
    EXPECT_STREQ(buffer, "abcdefg");
}

} // namespace
