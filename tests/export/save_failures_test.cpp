// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "export/Exporters.h"
#include "export/FileContent.h"
#include "tests/export/ExportFixtures.h"
#include "tests/support/FakeServices.h"

// Where the file system takes no modes (FAT on a USB stick), fchmod fails with EPERM. In this
// test program, this fchmod stands in for the C library's and fails so when a test asks it to.
namespace {
std::atomic<int> refuseModesWith{0};
}  // namespace

extern "C" int fchmod(int fd, mode_t mode) noexcept {
  if (const int error = refuseModesWith.load(); error != 0) {
    errno = error;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_fchmod, fd, mode));
}

namespace fennow::test {
namespace {

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// Saves the test screen to path and returns what the user was shown; whatever happened, no
// descriptor may stay open.
std::vector<Message> SaveScreenTo(const std::string& path) {
  FakeServices ui;
  ui.saveAnswers.push_back({IDOK, path});
  std::string savePath;
  const CaptureStore store = MakeScreen();
  const std::size_t before = OpenDescriptors();
  SaveScreen(store, ui, savePath);
  EXPECT_EQ(OpenDescriptors(), before) << path;
  EXPECT_EQ(ui.saveRequests.size(), 1u);
  return ui.messages;
}

// Saves a screen to `path` under a file size limit below the bitmap's 2942 bytes, which makes the
// write fail part-way with EFBIG, as a full disk would, instead of ending the process (SIGXFSZ).
void SaveScreenPastASizeLimit(const std::string& path, std::vector<Message>& messages) {
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 2000;
  auto* previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  messages = SaveScreenTo(path);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
}

// One stop box naming the path and the system's reason.
void ExpectFailure(const std::vector<Message>& messages, const std::string& path, int error) {
  ASSERT_EQ(messages.size(), 1u) << path;
  EXPECT_EQ(messages[0].title, "Save Status");
  EXPECT_EQ(messages[0].style, MessageStyle::MB_ICONSTOP);
  EXPECT_NE(messages[0].text.find(path), std::string::npos) << messages[0].text;
  EXPECT_NE(messages[0].text.find(std::strerror(error)), std::string::npos)
      << messages[0].text << " (expected: " << std::strerror(error) << ")";
}

constexpr const char* kOldContent = "an earlier file that must survive";

#define SKIP_IF_ROOT()                                                                    \
  if (RunningAsRoot())                                                                    \
  GTEST_SKIP() << "running as root, where permission bits do not stop writes; run as an " \
                  "ordinary user to cover this case"

TEST(SaveFailures, ReadOnlyFolderTakesNoNewFileAndKeepsItsReadOnlyOnes) {
  SKIP_IF_ROOT();
  TempDir dir;
  const std::string folder = dir / "locked";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  WriteFile(folder + "/old.bmp", kOldContent);
  ASSERT_EQ(::chmod((folder + "/old.bmp").c_str(), 0444), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);

  for (const char* name : {"old.bmp", "new.bmp"}) {
    ExpectFailure(SaveScreenTo(folder + "/" + name), folder + "/" + name, EACCES);
  }
  EXPECT_EQ(Names(folder), (std::set<std::string>{"old.bmp"}));
  EXPECT_EQ(ReadFile(folder + "/old.bmp"), kOldContent);
}

// No temporary file can be made beside it, so the file is written in place, as the user expects
// of a file they may write.
TEST(SaveTargets, WritableFileInAReadOnlyFolderIsSavedInPlace) {
  SKIP_IF_ROOT();
  TempDir dir;
  const std::string folder = dir / "locked";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  const std::string path = folder + "/old.bmp";
  WriteFile(path, std::string(5000, 'x'));  // longer than the bitmap: cut to its length
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  struct stat before {};
  ASSERT_EQ(::stat(path.c_str(), &before), 0);

  EXPECT_TRUE(SaveScreenTo(path).empty());
  const std::string saved = ReadFile(path);
  const std::vector<std::uint8_t> expected = ScreenBitmapFile(MakeScreen());
  EXPECT_EQ(saved.size(), expected.size());
  EXPECT_TRUE(saved == std::string(expected.begin(), expected.end()));
  struct stat after {};
  ASSERT_EQ(::stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);  // the same file, not a replacement
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  EXPECT_EQ(Names(folder), (std::set<std::string>{"old.bmp"}));
}

// Written in place, a file that fails part-way has lost its old content: the message says so.
TEST(SaveFailures, FailedSaveInPlaceSaysTheFileMayBeIncomplete) {
  SKIP_IF_ROOT();
  TempDir dir;
  const std::string folder = dir / "locked";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  const std::string path = folder + "/old.bmp";
  WriteFile(path, kOldContent);
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
  std::vector<Message> messages;
  ASSERT_NO_FATAL_FAILURE(SaveScreenPastASizeLimit(path, messages));

  ExpectFailure(messages, path, EFBIG);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].text.find("may be incomplete"), std::string::npos) << messages[0].text;
  EXPECT_EQ(Names(folder), (std::set<std::string>{"old.bmp"}));
}

TEST(SaveFailures, ReadOnlyFileIsNotReplaced) {
  SKIP_IF_ROOT();
  TempDir dir;
  const std::string path = dir / "old.bmp";
  WriteFile(path, kOldContent);
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  ExpectFailure(SaveScreenTo(path), path, EACCES);
  EXPECT_EQ(ReadFile(path), kOldContent);
  EXPECT_EQ(ModeOf(path) & 07777, 0444u);
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"old.bmp"}));
}

TEST(SaveFailures, MissingFolderIsReportedForEveryWriter) {
  TempDir dir;
  const std::string path = dir / "no-such-folder/out";
  for (auto* save : {SaveScreen, SaveRawData, SaveMathcadData}) {
    FakeServices ui;
    ui.saveAnswers.push_back({IDOK, path});
    std::string savePath;
    EXPECT_EQ(save(save == SaveScreen ? MakeScreen() : MakeData(), ui, savePath),
              SaveOutcome::WriteFailed);
    ExpectFailure(ui.messages, path, ENOENT);
  }
  EXPECT_TRUE(Names(dir.path()).empty());
}

TEST(SaveFailures, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  TempDir dir;
  const std::string path = dir / "old.bmp";
  WriteFile(path, kOldContent);
  std::vector<Message> messages;
  ASSERT_NO_FATAL_FAILURE(SaveScreenPastASizeLimit(path, messages));

  ExpectFailure(messages, path, EFBIG);
  EXPECT_EQ(messages[0].text.find("incomplete"), std::string::npos) << messages[0].text;
  EXPECT_EQ(ReadFile(path), kOldContent);
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"old.bmp"}));
}

TEST(SaveFailures, EmptyPathAfterOkIsReported) {
  ExpectFailure(SaveScreenTo(""), "\"\"", ENOENT);
}

TEST(SaveFailures, FullDeviceIsWrittenInPlaceAndTheErrorReported) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no writable /dev/full here";
  const std::set<std::string> before = Names("/dev");
  ExpectFailure(SaveScreenTo("/dev/full"), "/dev/full", ENOSPC);
  // Still the device, and nothing of ours left beside it.
  EXPECT_TRUE(S_ISCHR(ModeOf("/dev/full")));
  EXPECT_EQ(Names("/dev"), before);
}

TEST(SaveFailures, FolderAsTargetIsReported) {
  TempDir dir;
  const std::string folder = dir / "sub";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  ExpectFailure(SaveScreenTo(folder), folder, EISDIR);
  EXPECT_TRUE(S_ISDIR(ModeOf(folder)));
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"sub"}));
}

TEST(SaveFailures, PipeWithoutReaderFailsAtOnceInsteadOfHanging) {
  TempDir dir;
  const std::string fifo = dir / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ExpectFailure(SaveScreenTo(fifo), fifo, ENXIO);
  EXPECT_TRUE(S_ISFIFO(ModeOf(fifo)));
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"pipe"}));
}

TEST(SaveFailures, BlockDeviceIsRefused) {
  if (!RunningAsRoot()) GTEST_SKIP() << "making a device node needs root";
  TempDir dir;
  const std::string node = dir / "disk";
  // The loop device's numbers; nothing is ever opened through this node.
  if (::mknod(node.c_str(), S_IFBLK | 0600, makedev(7, 0)) != 0) {
    GTEST_SKIP() << "cannot make a device node here: " << std::strerror(errno);
  }
  ExpectFailure(SaveScreenTo(node), node, ENOTSUP);
  EXPECT_TRUE(S_ISBLK(ModeOf(node)));
}

TEST(SaveTargets, PipeWithReaderGetsTheWholeFile) {
  TempDir dir;
  const std::string fifo = dir / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  // The file fits the pipe's buffer, so no second thread has to drain it meanwhile.
  EXPECT_TRUE(SaveScreenTo(fifo).empty());
  std::string received(4096, '\0');
  const ssize_t got = ::read(reader, received.data(), received.size());
  ::close(reader);
  ASSERT_EQ(got, 2942);
  received.resize(2942);
  EXPECT_EQ(received.substr(0, 2), "BM");
  EXPECT_TRUE(S_ISFIFO(ModeOf(fifo)));
}

TEST(SaveTargets, SymbolicLinkIsWrittenThroughAndKept) {
  TempDir dir;
  const std::string real = dir / "real.bmp";
  WriteFile(real, kOldContent);
  ASSERT_EQ(::symlink("real.bmp", (dir / "link.bmp").c_str()), 0);
  ASSERT_EQ(::symlink((dir / "link.bmp").c_str(), (dir / "link2.bmp").c_str()), 0);
  EXPECT_TRUE(SaveScreenTo(dir / "link2.bmp").empty());
  EXPECT_TRUE(S_ISLNK(ModeOf(dir / "link.bmp")));
  EXPECT_TRUE(S_ISLNK(ModeOf(dir / "link2.bmp")));
  EXPECT_EQ(std::filesystem::file_size(real), 2942u);
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"real.bmp", "link.bmp", "link2.bmp"}));
}

TEST(SaveTargets, DanglingLinkCreatesItsTarget) {
  TempDir dir;
  ASSERT_EQ(::symlink("made.bmp", (dir / "link.bmp").c_str()), 0);
  EXPECT_TRUE(SaveScreenTo(dir / "link.bmp").empty());
  EXPECT_TRUE(S_ISLNK(ModeOf(dir / "link.bmp")));
  EXPECT_EQ(std::filesystem::file_size(dir / "made.bmp"), 2942u);
}

TEST(SaveTargets, LinkLoopIsReported) {
  TempDir dir;
  ASSERT_EQ(::symlink("b", (dir / "a").c_str()), 0);
  ASSERT_EQ(::symlink("a", (dir / "b").c_str()), 0);
  ExpectFailure(SaveScreenTo(dir / "a"), dir / "a", ELOOP);
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"a", "b"}));
}

class RefuseModes {
 public:
  explicit RefuseModes(int error) { refuseModesWith = error; }
  ~RefuseModes() { refuseModesWith = 0; }
  RefuseModes(const RefuseModes&) = delete;
  RefuseModes& operator=(const RefuseModes&) = delete;
};

TEST(SaveTargets, AFileSystemThatTakesNoModesStillGetsTheFile) {
  TempDir dir;
  WriteFile(dir / "old.bmp", kOldContent);
  RefuseModes refuse(EPERM);
  // the refusal is real: a mode change fails
  const int fd = ::open((dir / "old.bmp").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  EXPECT_NE(::fchmod(fd, 0600), 0);
  ::close(fd);

  for (const char* name : {"new.bmp", "old.bmp"}) {
    EXPECT_TRUE(SaveScreenTo(dir / name).empty()) << name;
    EXPECT_EQ(std::filesystem::file_size(dir / name), 2942u) << name;
  }
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"new.bmp", "old.bmp"}));
}

// A write by anyone but root clears the set-user-ID and set-group-ID bits, so they are set once
// the data is in, whether the file is replaced or, in a read-only folder, written in place.
TEST(SaveTargets, SetIdBitsOfOnesOwnFileSurviveASave) {
  SKIP_IF_ROOT();
  for (bool lockedFolder : {false, true}) {
    SCOPED_TRACE(lockedFolder ? "read-only folder" : "writable folder");
    TempDir dir;
    const std::string folder = dir / "f";
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    const std::string path = folder + "/tool.bmp";
    WriteFile(path, kOldContent);
    if (::chmod(path.c_str(), 06750) != 0 || (ModeOf(path) & 07777) != 06750) {
      GTEST_SKIP() << "set-ID bits cannot be set here";
    }
    if (lockedFolder) {
      ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    }
    EXPECT_TRUE(SaveScreenTo(path).empty());
    EXPECT_EQ(std::filesystem::file_size(path), 2942u);
    EXPECT_EQ(ModeOf(path) & 07777, 06750u);
  }
}

class UmaskScope {
 public:
  explicit UmaskScope(mode_t mask) : old_(::umask(mask)) {}
  ~UmaskScope() { ::umask(old_); }

 private:
  mode_t old_;
};

TEST(SaveTargets, NewFileGetsTheUmaskedModeAndAReplacedFileKeepsItsOwn) {
  TempDir dir;
  {
    UmaskScope mask(027);
    EXPECT_TRUE(SaveScreenTo(dir / "new.bmp").empty());
  }
  EXPECT_EQ(ModeOf(dir / "new.bmp") & 07777, 0640u);

  WriteFile(dir / "old.bmp", kOldContent);
  ASSERT_EQ(::chmod((dir / "old.bmp").c_str(), 0604), 0);
  EXPECT_TRUE(SaveScreenTo(dir / "old.bmp").empty());
  EXPECT_EQ(ModeOf(dir / "old.bmp") & 07777, 0604u);
  EXPECT_EQ(std::filesystem::file_size(dir / "old.bmp"), 2942u);
}

TEST(SaveTargets, RelativePathIsSavedInTheWorkingFolder) {
  TempDir dir;
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  const std::vector<Message> messages = SaveScreenTo("plain.bmp");
  std::filesystem::current_path(previous);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(Names(dir.path()), (std::set<std::string>{"plain.bmp"}));
  EXPECT_EQ(std::filesystem::file_size(dir / "plain.bmp"), 2942u);
}

}  // namespace
}  // namespace fennow::test
