#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "export/Exporters.h"
#include "tests/export/ExportFixtures.h"
#include "tests/support/FakeServices.h"

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
  SaveScreenBitmap(store, ui, savePath);
  EXPECT_EQ(OpenDescriptors(), before) << path;
  EXPECT_EQ(ui.saveRequests.size(), 1u);
  return ui.messages;
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

TEST(SaveFailures, ReadOnlyFolderLeavesItsFilesAlone) {
  SKIP_IF_ROOT();
  TempDir dir;
  const std::string folder = dir / "locked";
  ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
  WriteFile(folder + "/old.bmp", kOldContent);
  ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);

  for (const char* name : {"old.bmp", "new.bmp"}) {
    ExpectFailure(SaveScreenTo(folder + "/" + name), folder + "/" + name, EACCES);
  }
  EXPECT_EQ(Names(folder), (std::set<std::string>{"old.bmp"}));
  EXPECT_EQ(ReadFile(folder + "/old.bmp"), kOldContent);
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
  for (auto* save : {SaveScreenBitmap, SaveRawData, SaveMathcadData}) {
    FakeServices ui;
    ui.saveAnswers.push_back({IDOK, path});
    std::string savePath;
    save(save == SaveScreenBitmap ? MakeScreen() : MakeData(), ui, savePath);
    ExpectFailure(ui.messages, path, ENOENT);
  }
  EXPECT_TRUE(Names(dir.path()).empty());
}

// A file size limit makes the write fail part-way, as a full disk would, on an ordinary folder.
TEST(SaveFailures, FailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  TempDir dir;
  const std::string path = dir / "old.bmp";
  WriteFile(path, kOldContent);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 2000;  // below the bitmap's 2942 bytes
  auto* previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::vector<Message> messages = SaveScreenTo(path);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  ExpectFailure(messages, path, EFBIG);
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
