// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/TerminalKeys.h"

namespace fennow {
namespace {

constexpr const char* kChildFd = "FENNOW_TERMINAL_KEYS_CHILD_FD";
constexpr const char* kChildEnd = "FENNOW_TERMINAL_KEYS_CHILD_END";

// Kept reachable so a leak checker does not count it when the child exits with it still alive.
TerminalKeys* childKeys = nullptr;

// A re-run of this test program as a child that takes the terminal and then ends one way or
// another, before any test or Qt state exists. Runs before main.
[[maybe_unused]] const bool kRanAsChild = [] {
  const char* fd = std::getenv(kChildFd);
  const char* end = std::getenv(kChildEnd);
  if (fd == nullptr || end == nullptr) return false;
  const int terminal = std::atoi(fd);
  childKeys = new TerminalKeys(terminal);
  TerminalKeys* keys = childKeys;
  termios now{};
  // Tells the parent, through the way it ends, that the settings really were changed.
  if (tcgetattr(terminal, &now) != 0 || (now.c_lflag & ICANON) != 0 || !keys->HasTerminal()) {
    _exit(4);
  }
  const std::string how = end;
  if (how == "exit") std::exit(0);
  if (how == "destroy") {
    delete keys;
    _exit(0);
  }
  if (how == "fault") {
    // A real invalid access, not a raised signal: the handler returns into the faulting store.
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page != MAP_FAILED) *static_cast<volatile int*>(page) = 1;
    _exit(7);
  }
  raise(std::atoi(end));
  _exit(5);  // the signal did not end us
}();

class PseudoTerminal {
 public:
  PseudoTerminal() {
    ok = openpty(&master, &slave, nullptr, nullptr, nullptr) == 0;
    if (ok) ok = tcgetattr(slave, &original) == 0;
  }
  ~PseudoTerminal() {
    if (master >= 0) close(master);
    if (slave >= 0) close(slave);
  }
  termios Settings() const {
    termios now{};
    tcgetattr(slave, &now);
    return now;
  }
  // Waits until the line discipline has passed the byte on (it does so asynchronously).
  bool Readable() const {
    pollfd entry{slave, POLLIN, 0};
    return poll(&entry, 1, 5000) == 1;
  }

  bool ok = false;
  int master = -1;
  int slave = -1;
  termios original{};
};

bool SameSettings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
         a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

TEST(TerminalKeys, SeesAWaitingKeyWithoutTakingIt) {
  PseudoTerminal tty;
  ASSERT_TRUE(tty.ok);
  ASSERT_NE(tty.original.c_lflag & ICANON, 0u);
  {
    TerminalKeys keys(tty.slave);
    ASSERT_TRUE(keys.HasTerminal());
    EXPECT_EQ(tty.Settings().c_lflag & (ICANON | ECHO), 0u);  // single keys, not lines
    EXPECT_FALSE(keys.KeyWaiting());

    ASSERT_EQ(write(tty.master, "k", 1), 1);
    ASSERT_TRUE(tty.Readable());
    EXPECT_TRUE(keys.KeyWaiting());
    EXPECT_TRUE(keys.KeyWaiting());  // still there: the poll did not consume it

    char got = 0;
    ASSERT_EQ(read(tty.slave, &got, 1), 1);
    EXPECT_EQ(got, 'k');
    EXPECT_FALSE(keys.KeyWaiting());
  }
  EXPECT_TRUE(SameSettings(tty.Settings(), tty.original));
}

TEST(TerminalKeys, WithoutATerminalThereIsNeverAKey) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  ASSERT_EQ(write(pipeEnds[1], "k", 1), 1);  // input waiting, but not from a terminal
  {
    TerminalKeys keys(pipeEnds[0]);
    EXPECT_FALSE(keys.HasTerminal());
    EXPECT_FALSE(keys.KeyWaiting());
  }
  {
    TerminalKeys keys(-1);
    EXPECT_FALSE(keys.KeyWaiting());
  }
  close(pipeEnds[0]);
  close(pipeEnds[1]);
}

TEST(TerminalKeys, SettingsComeBackHoweverTheProgramEnds) {
  const struct {
    std::string end;
    int signal;  // 0: a normal exit with status 0
  } cases[] = {
      {"exit", 0},
      {"destroy", 0},
      {std::to_string(SIGINT), SIGINT},
      {std::to_string(SIGTERM), SIGTERM},
      {std::to_string(SIGHUP), SIGHUP},
      {std::to_string(SIGQUIT), SIGQUIT},  // Ctrl-backslash
      // crashes: the terminal comes back and the default action (a core dump) still happens
      {std::to_string(SIGSEGV), SIGSEGV},
      {std::to_string(SIGABRT), SIGABRT},
      {std::to_string(SIGBUS), SIGBUS},
      {std::to_string(SIGFPE), SIGFPE},
      {"fault", SIGSEGV},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.end);
    PseudoTerminal tty;
    ASSERT_TRUE(tty.ok);
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // No core files from the crashes: a crash is seen in how the child ended.
      const rlimit noCore{0, 0};
      setrlimit(RLIMIT_CORE, &noCore);
      // A fresh program image: nothing of this one's threads or state comes along.
      setenv(kChildFd, std::to_string(tty.slave).c_str(), 1);
      setenv(kChildEnd, c.end.c_str(), 1);
      execl("/proc/self/exe", "app_tests", static_cast<char*>(nullptr));
      _exit(6);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    if (c.signal == 0) {
      ASSERT_TRUE(WIFEXITED(status)) << status;
      EXPECT_EQ(WEXITSTATUS(status), 0);
    } else {
      ASSERT_TRUE(WIFSIGNALED(status)) << status;
      EXPECT_EQ(WTERMSIG(status), c.signal);
    }
    EXPECT_TRUE(SameSettings(tty.Settings(), tty.original));
  }
}

}  // namespace
}  // namespace fennow
