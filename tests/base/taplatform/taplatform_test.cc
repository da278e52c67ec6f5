#include <taplatform/taplatform.h>

#include <errno.h>
#include <string.h>
#include <sys/socket.h>

#include <set>
#include <string>

#include <gtest/gtest.h>

namespace {

TEST(ErrorText, SystemCodesGiveTheSystemText) {
  char buffer[128];
  EXPECT_EQ(0, ta_platform_errstr(ENOENT, buffer, sizeof buffer));
  EXPECT_STREQ("No such file or directory", buffer);
  // An unknown code answers what XSI strerror_r answers: 22, with its text.
  EXPECT_EQ(EINVAL, ta_platform_errstr(TA_ERR_LAST + 1, buffer, sizeof buffer));
  EXPECT_STREQ("Unknown error 28712", buffer);
  EXPECT_EQ(EINVAL, ta_platform_errstr(-1, buffer, sizeof buffer));
  // Cut to fit, like the XSI form of strerror_r.
  char small[8];
  EXPECT_EQ(ERANGE, ta_platform_errstr(ENOENT, small, sizeof small));
  EXPECT_STREQ("No such", small);
}

TEST(ErrorText, LibraryCodesHaveTheirOwnMessages) {
  char buffer[128];
  EXPECT_EQ(0, ta_platform_errstr(TA_ERR_INSUFFICIENT_BUFFER, buffer, sizeof buffer));
  EXPECT_STREQ("Insufficient buffer space", buffer);
  EXPECT_EQ(0, ta_platform_errstr(TA_ERR_LOG_FAILED, buffer, sizeof buffer));
  EXPECT_STREQ("Could not log message", buffer);

  std::set<std::string> texts;
  for (int code = TA_ERR_BASE; code <= TA_ERR_LAST; ++code) {
    ASSERT_EQ(0, ta_platform_errstr(code, buffer, sizeof buffer));
    EXPECT_EQ(nullptr, strstr(buffer, "Unknown error")) << code;
    texts.insert(buffer);
  }
  EXPECT_EQ(size_t(TA_ERR_LAST - TA_ERR_BASE + 1), texts.size());
}

TEST(ErrorText, NullOrEmptyBufferGives22) {
  char buffer[4];
  EXPECT_EQ(EINVAL, ta_platform_errstr(2, nullptr, 16));
  EXPECT_EQ(EINVAL, ta_platform_errstr(2, buffer, 0));
}

TEST(Sockets, CloseMarksTheSocketClosed) {
  EXPECT_EQ(0, ta_sock_init());
  int pair[2];
  ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, pair));
  EXPECT_EQ(0, ta_sock_close(&pair[0]));
  EXPECT_EQ(-1, pair[0]);
  EXPECT_EQ(EBADF, ta_sock_close(&pair[0]));
  EXPECT_EQ(0, ta_sock_close(&pair[1]));
  EXPECT_EQ(0, ta_sock_fini());
}

}  // namespace
