// SPDX-License-Identifier: GPL-3.0-or-later
#include "export/SafeWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace fennow {

namespace {

constexpr int kMaxLinkHops = 40;  // the kernel's own limit for one path lookup

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The umask is read from /proc because the only call that returns it also changes it; the
// set-and-restore below is the fallback where /proc is not mounted.
mode_t CurrentUmask() {
  if (std::FILE* status = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status)) {
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    }
    std::fclose(status);
    if (found) return static_cast<mode_t>(mask);
  }
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

// Follows symbolic links by hand rather than with realpath(), which gives up on a link whose
// target does not exist yet; saving through such a link should create the target.
int ResolveTarget(const std::string& path, std::string& target, struct stat& info, bool& exists) {
  target = path;
  for (int hops = 0;; ++hops) {
    if (::lstat(target.c_str(), &info) != 0) {
      if (errno != ENOENT) return errno;
      exists = false;
      return 0;
    }
    if (!S_ISLNK(info.st_mode)) {
      exists = true;
      return 0;
    }
    if (hops == kMaxLinkHops) return ELOOP;
    std::vector<char> link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 2);
    const ssize_t length = ::readlink(target.c_str(), link.data(), link.size());
    if (length < 0) return errno;
    if (length == 0) return ENOENT;
    // A link that grew since lstat(); reading it again is not worth the loop.
    if (static_cast<std::size_t>(length) >= link.size()) return ENAMETOOLONG;
    std::string next(link.data(), static_cast<std::size_t>(length));
    target = next.front() == '/' ? next : DirectoryOf(target) + "/" + next;
  }
}

int WriteAll(int fd, std::string_view content) {
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    content.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

// On Linux the descriptor is gone after close() whatever it returns, so it is never retried; an
// error still means the data may not have arrived.
int CloseChecked(int fd) {
  return ::close(fd) == 0 ? 0 : errno;
}

int WriteInPlace(const std::string& target, bool isPipe, std::string_view content) {
  int flags = O_WRONLY | O_NOCTTY | O_CLOEXEC;
  // Opening a pipe nobody reads would block the window for good; non-blocking, it fails with
  // ENXIO instead.
  if (isPipe) flags |= O_NONBLOCK;
  const int fd = ::open(target.c_str(), flags);
  if (fd < 0) return errno;
  int error = 0;
  if (isPipe) {
    const int current = ::fcntl(fd, F_GETFL);
    if (current < 0 || ::fcntl(fd, F_SETFL, current & ~O_NONBLOCK) != 0) error = errno;
  }
  if (error == 0) error = WriteAll(fd, content);
  const int closeError = CloseChecked(fd);
  return error != 0 ? error : closeError;
}

// Best effort, like the owner: some file systems (FAT on a USB stick) refuse every mode change,
// and a file saved with the wrong mode is still better than no file.
void SetModeIfAllowed(int fd, mode_t mode) {
  if (::fchmod(fd, mode) != 0) {
    // Not an error worth refusing the save for.
  }
}

// The only way left when no file can be made beside the target: cut it and write it. A failure
// from here on leaves it incomplete, and says so.
WriteOutcome RewriteInPlace(const std::string& target, const struct stat& existing,
                            std::string_view content) {
  const int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return {errno, false};
  int error = WriteAll(fd, content);
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  // A write by anyone but root has cleared the set-user-ID and set-group-ID bits; put them back.
  if (error == 0) SetModeIfAllowed(fd, existing.st_mode & 07777);
  const int closeError = CloseChecked(fd);
  if (error == 0) error = closeError;
  return {error, error != 0};
}

WriteOutcome ReplaceRegular(const std::string& target, const struct stat* existing,
                            std::string_view content) {
  std::string pattern = DirectoryOf(target) + "/.fennow-save-XXXXXX";
  std::vector<char> temporary(pattern.begin(), pattern.end());
  temporary.push_back('\0');
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    // A folder the user may not write to, holding a file they may.
    if (existing != nullptr && (error == EACCES || error == EPERM)) {
      return RewriteInPlace(target, *existing, content);
    }
    return {error, false};
  }

  if (existing != nullptr) {
    // Keeps the replaced file's owner where allowed (only root may give a file away); failing
    // that, the file is still saved, just owned by whoever saved it.
    if (::fchown(fd, existing->st_uid, existing->st_gid) != 0) {
      // Not an error worth refusing the save for.
    }
  }
  int error = WriteAll(fd, content);
  // A full disk often shows only when the blocks are allocated, at fsync() or close().
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  // mkstemp() makes the file 0600; a saved picture should be as readable as any other new file.
  // The mode comes after the data: a write by anyone but root clears the set-user-ID and
  // set-group-ID bits, and a replaced file of one's own should keep them.
  if (error == 0) {
    SetModeIfAllowed(fd,
                     existing != nullptr ? (existing->st_mode & 07777) : (0666 & ~CurrentUmask()));
  }
  const int closeError = CloseChecked(fd);
  if (error == 0) error = closeError;
  if (error == 0 && std::rename(temporary.data(), target.c_str()) != 0) error = errno;
  if (error != 0) ::unlink(temporary.data());
  return {error, false};
}

}  // namespace

WriteOutcome WriteFileSafely(const std::string& path, std::string_view content) {
  if (path.empty()) return {ENOENT, false};
  std::string target;
  struct stat info {};
  bool exists = false;
  if (const int error = ResolveTarget(path, target, info, exists); error != 0)
    return {error, false};
  if (!exists) return ReplaceRegular(target, nullptr, content);
  if (S_ISREG(info.st_mode)) {
    // rename() would replace a read-only file as long as the folder is writable; the file's
    // own permission is what the user expects to protect it.
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return {errno, false};
    return ReplaceRegular(target, &info, content);
  }
  // Writing a picture over a disk is never what was meant.
  if (S_ISBLK(info.st_mode)) return {ENOTSUP, false};
  return {WriteInPlace(target, S_ISFIFO(info.st_mode), content), false};
}

}  // namespace fennow
