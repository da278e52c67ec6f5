#include <taplatform/talog.h>
#include <taplatform/taplatform.h>
#include <taplatform/tastring.h>

#include <errno.h>
#include <limits.h>

#include <cstring>

#include <string>
#include <utility>

#include <gtest/gtest.h>

namespace {

TEST(BoundedCopy, FitsOrCutsWithInsufficientBuffer) {
  char buffer[6];
  EXPECT_EQ(TA_ERR_INSUFFICIENT_BUFFER, ta_str_ncpy(buffer, "0123456789", sizeof buffer));
  EXPECT_STREQ("01234", buffer);
  EXPECT_EQ(0, ta_str_ncpy(buffer, "01234", sizeof buffer));
  EXPECT_STREQ("01234", buffer);
  EXPECT_EQ(0, ta_str_ncpy(buffer, "", sizeof buffer));
  EXPECT_STREQ("", buffer);
}

// A cut inside a multi-byte character drops its leading bytes too.
TEST(BoundedCopy, NeverEndsInsideAUtf8Character) {
  char buffer[6];
  EXPECT_EQ(TA_ERR_INSUFFICIENT_BUFFER, ta_str_ncpy(buffer, "abcd\xC3\xA9", sizeof buffer));
  EXPECT_STREQ("abcd", buffer);
  EXPECT_EQ(TA_ERR_INSUFFICIENT_BUFFER, ta_str_ncpy(buffer, "abc\xE2\x82\xAC", sizeof buffer));
  EXPECT_STREQ("abc", buffer);
  EXPECT_EQ(TA_ERR_INSUFFICIENT_BUFFER, ta_str_ncpy(buffer, "ab\xF0\x9F\x98\x80", sizeof buffer));
  EXPECT_STREQ("ab", buffer);
  // A cut right after a whole character keeps it.
  EXPECT_EQ(TA_ERR_INSUFFICIENT_BUFFER, ta_str_ncpy(buffer, "ab\xE2\x82\xACz", sizeof buffer));
  EXPECT_STREQ("ab\xE2\x82\xAC", buffer);
  EXPECT_EQ(0, ta_str_ncpy(buffer, "a\xF0\x9F\x98\x80", sizeof buffer));
  EXPECT_STREQ("a\xF0\x9F\x98\x80", buffer);
}

TEST(BoundedCopy, StartsAtTheGivenOffsetAndMovesIt) {
  char buffer[8] = "abc";
  size_t length = 3;
  EXPECT_EQ(0, ta_str_to(buffer, "de", sizeof buffer, &length));
  EXPECT_STREQ("abcde", buffer);
  EXPECT_EQ(5u, length);
  EXPECT_EQ(TA_ERR_INSUFFICIENT_BUFFER, ta_str_to(buffer, "\xC3\xA9\xC3\xA9", sizeof buffer, &length));
  EXPECT_STREQ("abcde\xC3\xA9", buffer);
  EXPECT_EQ(7u, length);
}

TEST(BoundedCopy, BadArgumentsEmptyDestinationAndLog) {
  ta_log_init(TA_LOG_TYPE_FILE, "-");
  testing::internal::CaptureStderr();
  char buffer[8] = "full";
  EXPECT_EQ(EINVAL, ta_str_ncpy(buffer, nullptr, sizeof buffer));
  EXPECT_STREQ("", buffer);
  std::strcpy(buffer, "full");
  size_t length = 8;
  EXPECT_EQ(EINVAL, ta_str_to(buffer, "src", sizeof buffer, &length));
  EXPECT_STREQ("", buffer);
  EXPECT_EQ(EINVAL, ta_str_ncpy(nullptr, "src", sizeof buffer));
  std::string text = testing::internal::GetCapturedStderr();
  ta_log_cleanup();
  EXPECT_NE(std::string::npos, text.find(" 8 0 '(nil)'")) << text;
  EXPECT_NE(std::string::npos, text.find("LOG Warning: ta_str_to failure, args ")) << text;
  EXPECT_NE(std::string::npos, text.find(" 8 8 'src'")) << text;
}

TEST(BoundedAppend, AppendsUntilFull) {
  char buffer[6] = "ab";
  EXPECT_EQ(0, ta_str_ncat(buffer, "cd", sizeof buffer));
  EXPECT_STREQ("abcd", buffer);
  EXPECT_EQ(TA_ERR_INSUFFICIENT_BUFFER, ta_str_ncat(buffer, "ef", sizeof buffer));
  EXPECT_STREQ("abcde", buffer);
  // Full now: nothing changes.
  EXPECT_EQ(TA_ERR_INSUFFICIENT_BUFFER, ta_str_ncat(buffer, "x", sizeof buffer));
  EXPECT_STREQ("abcde", buffer);
  EXPECT_EQ(0, ta_str_ncat(buffer, "", sizeof buffer));
  EXPECT_EQ(EINVAL, ta_str_ncat(buffer, nullptr, sizeof buffer));
}

TEST(Numbers, AtoiAndItoa) {
  EXPECT_EQ(-42, ta_str_atoi("  -42x"));
  EXPECT_EQ(17, ta_str_atoi("+17"));
  EXPECT_EQ(0, ta_str_atoi("abc"));
  char buffer[12];
  EXPECT_EQ(buffer, ta_str_itoa(INT_MIN, buffer));
  EXPECT_STREQ("-2147483648", buffer);
  EXPECT_STREQ("0", ta_str_itoa(0, buffer));
}

class Base64Vector : public testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(Base64Vector, EncodesRfc4648) {
  const std::string& in = GetParam().first;
  const std::string& expected = GetParam().second;
  char out[32];
  memset(out, '#', sizeof out);
  ASSERT_EQ(0, ta_str_buf_to_base64(in.data(), in.size(), out, sizeof out));
  EXPECT_EQ(expected, out);
}

INSTANTIATE_TEST_SUITE_P(
    Rfc4648, Base64Vector,
    testing::Values(std::make_pair("", ""), std::make_pair("f", "Zg=="),
                    std::make_pair("fo", "Zm8="), std::make_pair("foo", "Zm9v"),
                    std::make_pair("foob", "Zm9vYg=="), std::make_pair("fooba", "Zm9vYmE="),
                    std::make_pair("foobar", "Zm9vYmFy"),
                    std::make_pair(std::string("\xFB\xFF\x00", 3), "+/8A")));

TEST(Base64, OutputMustHaveRoomForTheNul) {
  char out[8] = "keep";
  EXPECT_EQ(TA_ERR_INSUFFICIENT_BUFFER, ta_str_buf_to_base64("abc", 3, out, 4));
  EXPECT_STREQ("keep", out);
  EXPECT_EQ(0, ta_str_buf_to_base64("abc", 3, out, 5));
  EXPECT_STREQ("YWJj", out);
  EXPECT_EQ(TA_ERR_INSUFFICIENT_BUFFER, ta_str_buf_to_base64("abcd", 4, out, 8));
  EXPECT_EQ(EINVAL, ta_str_buf_to_base64("", 0, out, 0));
}

// Six bits at a time, straight from the RFC: the reference the table-driven
// encoder must match for every tail length and every 12-bit value.
std::string referenceBase64(const std::string& in) {
  static const char alphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < in.size(); i += 3) {
    const size_t n = in.size() - i < 3 ? in.size() - i : 3;
    unsigned v = 0;
    for (size_t k = 0; k < 3; ++k)
      v = v << 8 | (k < n ? static_cast<unsigned char>(in[i + k]) : 0u);
    for (size_t k = 0; k < 4; ++k)
      out += k <= n ? alphabet[(v >> (18 - 6 * k)) & 0x3F] : '=';
  }
  return out;
}

TEST(Base64, MatchesTheReferenceForEveryLengthAndBitPattern) {
  // Consecutive byte pairs of this text run through all 65536 values, so every
  // 12-bit group appears at every position of a six-byte step.
  std::string all;
  for (unsigned v = 0; v < 65536; ++v) {
    all += static_cast<char>(v >> 8);
    all += static_cast<char>(v & 0xFF);
  }
  for (size_t shift = 0; shift < 3; ++shift) {
    const std::string in = all.substr(shift);
    std::string out(4 * ((in.size() + 2) / 3) + 1, '#');
    ASSERT_EQ(0, ta_str_buf_to_base64(in.data(), in.size(), &out[0], out.size()));
    EXPECT_EQ(referenceBase64(in) + '\0', out) << "shift " << shift;
  }
  for (size_t length = 0; length <= 20; ++length) {
    const std::string in = all.substr(1001, length);
    std::string out(4 * ((length + 2) / 3) + 3, '#');
    ASSERT_EQ(0, ta_str_buf_to_base64(in.data(), length, &out[0], out.size()));
    EXPECT_STREQ(referenceBase64(in).c_str(), out.c_str()) << "length " << length;
    EXPECT_EQ('#', out[out.size() - 1]) << "wrote past the NUL, length " << length;
  }
}

}  // namespace
