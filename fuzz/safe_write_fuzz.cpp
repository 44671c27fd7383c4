// SPDX-License-Identifier: GPL-3.0-or-later
// The safe writer against hostile paths and trees: long names, newlines and bytes that are not
// UTF-8 in names, pipes, folders, dangling and looping symbolic links. Each run builds a small
// tree in a fresh folder, saves to a path into it and compares the tree before and after: the
// save either put exactly its content where the path leads or changed nothing (bar a file it
// says may be incomplete), left no temporary file and no descriptor open, and never replaced a
// folder, a pipe or a link.
//
// Input: a count of entries, then per entry its kind (low four bits; 0x40 and 0x80 are flags), the
// folder it goes in, its name and (for a file) its content or (for a link) what it points at; then
// the path to save to, as components; a limit on the file size (in 16 bytes, 0 for none); the rest
// is what is saved.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "export/SafeWrite.h"
#include "fuzz/Check.h"
#include "fuzz/Scratch.h"
#include "fuzz/Script.h"

namespace fennow::fuzz {
namespace {

constexpr std::string_view kTemporaryPrefix = ".fennow-save-";

struct Entry {
  mode_t type = 0;
  mode_t mode = 0;
  std::string content;  // of a regular file
  std::string target;   // of a symbolic link
  bool operator==(const Entry&) const = default;
};

using Tree = std::map<std::string, Entry>;  // by path under the run's folder

std::string ReadAll(const std::string& path) {
  std::string content;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return "<unreadable>";
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return content;
}

void Walk(const std::string& folder, const std::string& under, Tree& tree) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  while (const dirent* item = ::readdir(dir)) {
    const std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = folder + "/" + name;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) continue;
    Entry entry;
    entry.type = info.st_mode & S_IFMT;
    entry.mode = info.st_mode & 07777;
    if (S_ISREG(info.st_mode)) entry.content = ReadAll(path);
    if (S_ISLNK(info.st_mode)) {
      char target[4096];
      const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
      if (n > 0) entry.target.assign(target, static_cast<std::size_t>(n));
    }
    tree[under + name] = entry;
    if (S_ISDIR(info.st_mode)) Walk(path, under + name + "/", tree);
  }
  ::closedir(dir);
}

Tree Snapshot(const std::string& folder) {
  Tree tree;
  Walk(folder, "", tree);
  return tree;
}

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++count;
  }
  return count;
}

// A name as the input gives it: any bytes but '/' and NUL, or a long run past what one name may
// hold; "." and ".." and the empty name become "x".
std::string Name(Script& script) {
  const std::uint8_t length = script.Byte();
  std::string name;
  if (length >= 0xF8) {
    name.assign(250 + 8 * static_cast<std::size_t>(length - 0xF8), 'n');  // 250 to 306 bytes
  } else {
    for (int i = length % 24; i > 0; --i) {
      const char c = static_cast<char>(script.Byte());
      name += (c == '/' || c == '\0') ? '_' : c;
    }
  }
  if (name.empty() || name == "." || name == "..") name = "x";
  return name;
}

struct Built {
  std::vector<std::string> paths;    // of every entry made, under the run's folder
  std::vector<std::string> folders;  // the run's folder ("") and every folder made
};

Built BuildTree(Script& script, const std::string& root) {
  Built built;
  built.folders.push_back("");
  for (int count = script.Byte() % 9; count > 0; --count) {
    const std::uint8_t kind = script.Byte();
    const std::string& in = built.folders[script.Byte() % built.folders.size()];
    const std::string path = in + Name(script);
    const std::string full = root + "/" + path;
    bool made = false;
    switch ((kind & 0x0F) % 6) {
      case 0: {  // a file, with its content and a mode
        const std::uint8_t length = script.Byte();
        std::string content;
        for (int i = length % 32; i > 0; --i) content += static_cast<char>(script.Byte());
        const int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
          made =
              ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size());
          ::fchmod(fd, (kind & 0x40) != 0 ? 0444 : ((kind & 0x80) != 0 ? 04750 : 0640));
          ::close(fd);
        }
        break;
      }
      case 1:  // a folder, writable or not
        made = ::mkdir(full.c_str(), (kind & 0x40) != 0 ? 0555 : 0755) == 0;
        if (made) built.folders.push_back(path + "/");
        break;
      case 2:  // a pipe
        made = ::mkfifo(full.c_str(), 0644) == 0;
        break;
      case 3: {  // a link to an entry made before, by a relative name or from the root
        const std::string to =
            built.paths.empty() ? Name(script) : built.paths[script.Byte() % built.paths.size()];
        const std::string text = (kind & 0x40) != 0 ? root + "/" + to : to;
        made = ::symlink(text.c_str(), full.c_str()) == 0;
        break;
      }
      case 4:  // a link to nothing yet, maybe in a folder that does not exist either
        made = ::symlink(
                   ((kind & 0x40) != 0 ? Name(script) + "/" + Name(script) : Name(script)).c_str(),
                   full.c_str()) == 0;
        break;
      default:  // a link to itself, or one of two links to each other
        made =
            ::symlink((kind & 0x40) != 0 ? full.c_str() : (full + "2").c_str(), full.c_str()) == 0;
        if (made && (kind & 0x40) == 0) ::symlink(full.c_str(), (full + "2").c_str());
        break;
    }
    if (made) built.paths.push_back(path);
  }
  return built;
}

// The path to save to: one to three components, each an entry made before or a new name.
std::string TargetPath(Script& script, const Built& built, const std::string& root) {
  std::string path = root;
  for (int n = script.Byte() % 3 + 1; n > 0; --n) {
    const std::uint8_t pick = script.Byte();
    path += "/";
    path += (pick & 1) != 0 && !built.paths.empty() ? built.paths[pick / 2 % built.paths.size()]
                                                    : Name(script);
  }
  return path;
}

// A new name, or an existing regular file, in an existing folder, for a user whom no permission
// stops: then nothing stands in the way of the save.
bool NothingInTheWay(const std::string& path, const std::string& root, const Tree& tree) {
  if (::geteuid() != 0) return false;
  const std::string folder = path.substr(0, path.rfind('/'));
  const std::string leaf = path.substr(path.rfind('/') + 1);
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || leaf.size() > NAME_MAX) {
    return false;
  }
  if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT;
  const auto entry = tree.find(path.substr(root.size() + 1));
  return entry != tree.end() && entry->second.type == S_IFREG;
}

void RunOnce(const std::uint8_t* data, std::size_t size) {
  Script script(data, size);
  const std::string root = ScratchFolder() + "/run";
  RemoveAll(root);
  FUZZ_CHECK(::mkdir(root.c_str(), 0755) == 0);
  const Built built = BuildTree(script, root);
  const std::string path = TargetPath(script, built, root);
  // A limit on the size of a file this process writes makes a write fail part-way, as a full
  // disk does; 0 is no limit.
  const rlim_t sizeLimit = rlim_t{script.Byte()} * 16;
  const std::span<const std::uint8_t> rest = script.Rest();
  const std::string content(rest.begin(), rest.end());

  const Tree before = Snapshot(root);
  const bool mustSucceed =
      NothingInTheWay(path, root, before) && (sizeLimit == 0 || content.size() <= sizeLimit);
  const std::size_t descriptors = OpenDescriptors();
  // Past the limit, a write fails with EFBIG rather than end the process with SIGXFSZ.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction fuzzers {};
  FUZZ_CHECK(::sigaction(SIGXFSZ, &ignore, &fuzzers) == 0);
  rlimit unlimited{};
  FUZZ_CHECK(::getrlimit(RLIMIT_FSIZE, &unlimited) == 0);
  if (sizeLimit > 0) {
    const rlimit limited{sizeLimit, unlimited.rlim_max};
    FUZZ_CHECK(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
  }
  const WriteOutcome outcome = WriteFileSafely(path, content);
  FUZZ_CHECK(::setrlimit(RLIMIT_FSIZE, &unlimited) == 0);
  FUZZ_CHECK(::sigaction(SIGXFSZ, &fuzzers, nullptr) == 0);
  const Tree after = Snapshot(root);

  FUZZ_CHECK(OpenDescriptors() == descriptors);
  FUZZ_CHECK(outcome.ok() || outcome.error != 0);
  for (const auto& [name, entry] : after) {
    // No temporary file stays behind, wherever the save went. (A user may save under a name
    // like a temporary one: then it holds the whole content.)
    const std::string_view leaf = std::string_view(name).substr(name.rfind('/') + 1);
    if (leaf.rfind(kTemporaryPrefix, 0) == 0 && before.count(name) == 0) {
      FUZZ_CHECK(outcome.ok() && entry.content == content);
    }
  }
  // At most one entry changed or appeared, and it is a regular file; nothing went missing, and
  // nothing changed its kind: a folder, a pipe or a link is never replaced.
  int changed = 0;
  for (const auto& [name, entry] : before) FUZZ_CHECK(after.count(name) == 1);
  for (const auto& [name, entry] : after) {
    const auto old = before.find(name);
    if (old != before.end() && old->second == entry) continue;
    ++changed;
    FUZZ_CHECK(entry.type == S_IFREG);
    FUZZ_CHECK(old == before.end() || old->second.type == S_IFREG);
    if (outcome.ok()) FUZZ_CHECK(entry.content == content);
  }
  FUZZ_CHECK(changed <= 1);
  if (outcome.ok()) {
    // The path now leads to exactly the content.
    struct stat info {};
    FUZZ_CHECK(::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode));
    FUZZ_CHECK(ReadAll(path) == content);
  } else if (!outcome.targetIncomplete) {
    // A failure changed nothing: no half-written file, the old one intact.
    FUZZ_CHECK(changed == 0);
  }
  FUZZ_CHECK(outcome.ok() || !mustSucceed);
}

}  // namespace
}  // namespace fennow::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fennow::fuzz::RunOnce(data, size);
  return 0;
}
