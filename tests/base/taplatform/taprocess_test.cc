#include <taplatform/taprocess.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

namespace {

class ShellTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/taprocess_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  static std::string contents(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static int exitStatus(pid_t pid) {
    int status = 0;
    EXPECT_EQ(pid, waitpid(pid, &status, 0));
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string dir_;
};

TEST_F(ShellTest, ReturnsBeforeTheCommandEnds) {
  std::string fifo = dir_ + "/fifo";
  std::string out = dir_ + "/out";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  // The command blocks opening the FIFO until this test opens its other end.
  std::string command = "read line < '" + fifo + "'; echo \"got $line\" > '" + out + "'";
  pid_t pid = 0;
  ASSERT_EQ(0, ta_shell_create(&pid, command.c_str()));
  ASSERT_GT(pid, 0);
  int status;
  EXPECT_EQ(0, waitpid(pid, &status, WNOHANG));

  int fd = open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(3, write(fd, "go\n", 3));
  close(fd);
  EXPECT_EQ(0, exitStatus(pid));
  EXPECT_EQ("got go\n", contents(out));
}

TEST_F(ShellTest, ChildDoesNotInheritDescriptors) {
  // An inheritable descriptor at a number the shell itself will not use.
  int fd = open((dir_ + "/held").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(100, dup2(fd, 100));
  close(fd);

  std::string out = dir_ + "/out";
  std::string command = "test -e /proc/$$/fd/100; echo $? > '" + out + "'";
  pid_t pid = 0;
  ASSERT_EQ(0, ta_shell_create(&pid, command.c_str()));
  EXPECT_EQ(0, exitStatus(pid));
  EXPECT_EQ("1\n", contents(out));

  // The same check through system(), which keeps descriptors, sees it.
  ASSERT_EQ(0, system(command.c_str()));
  EXPECT_EQ("0\n", contents(out));
  close(100);
}

TEST_F(ShellTest, CommandExitStatusReachesTheParent) {
  pid_t pid = 0;
  ASSERT_EQ(0, ta_shell_create(&pid, "exit 7"));
  EXPECT_EQ(7, exitStatus(pid));
}

}  // namespace
