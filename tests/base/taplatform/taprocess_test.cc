#include <taplatform/taprocess.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
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

// The command is no child of ours, so its output comes back through a FIFO:
// opening it for reading blocks until the command writes, and no poll is needed.
class ShellTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/taprocess_test.XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    out_ = dir_ + "/out";
    ASSERT_EQ(0, mkfifo(out_.c_str(), 0600));
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string output() {
    std::ifstream in(out_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Children of this process that ended and were never reaped.
  static int zombieChildren() {
    FILE* ps = popen(("ps -o stat= --ppid " + std::to_string(getpid())).c_str(), "r");
    int count = 0;
    for (int c; ps != nullptr && (c = fgetc(ps)) != EOF;) count += c == 'Z';
    if (ps != nullptr) pclose(ps);
    return count;
  }

  std::string dir_;
  std::string out_;
};

TEST_F(ShellTest, ReturnsAtOnceWithTheCommandsPidAndLeavesNothingToReap) {
  std::string fifo = dir_ + "/in";
  ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
  // The command blocks opening the FIFO until this test opens its other end.
  std::string command = "read line < '" + fifo + "'; echo \"$$ got $line\" > '" + out_ + "'";
  pid_t pid = 0;
  ASSERT_EQ(0, ta_shell_create(&pid, command.c_str()));
  ASSERT_GT(pid, 0);
  EXPECT_EQ(0, kill(pid, 0));  // still running: the call did not wait
  errno = 0;
  EXPECT_EQ(-1, waitpid(pid, nullptr, WNOHANG));  // and it is not our child
  EXPECT_EQ(ECHILD, errno);

  int fd = open(fifo.c_str(), O_WRONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(3, write(fd, "go\n", 3));
  close(fd);
  EXPECT_EQ(std::to_string(pid) + " got go\n", output());
  EXPECT_EQ(0, zombieChildren());

  // Many launches in a row leave no zombie either.
  for (int i = 0; i < 20; ++i) ASSERT_EQ(0, ta_shell_create(&pid, "exit 3"));
  EXPECT_EQ(0, zombieChildren());
  EXPECT_EQ(EINVAL, ta_shell_create(nullptr, "true"));
  EXPECT_EQ(EINVAL, ta_shell_create(&pid, nullptr));
}

TEST_F(ShellTest, ChildDoesNotInheritDescriptors) {
  // An inheritable descriptor at a number the shell itself will not use.
  int fd = open((dir_ + "/held").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(100, dup2(fd, 100));
  close(fd);

  std::string command = "test -e /proc/$$/fd/100; echo $? > '" + out_ + "'";
  pid_t pid = 0;
  ASSERT_EQ(0, ta_shell_create(&pid, command.c_str()));
  EXPECT_EQ("1\n", output());

  // The same check through system(), which keeps descriptors, sees it.
  ASSERT_EQ(0, system((command + " &").c_str()));
  EXPECT_EQ("0\n", output());
  close(100);
}

}  // namespace
