#include "tables/table_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace velkan {

int OpenRegularFile(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

TableFileStatus ReadTableFile(const std::filesystem::path& path, std::string& bytes, size_t limit) {
  bytes.clear();
  int fd = OpenRegularFile(path);
  if (fd < 0) return TableFileStatus::kCannotOpen;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    return TableFileStatus::kCannotOpen;
  }
  if (st.st_size > 0) bytes.reserve(std::min(static_cast<size_t>(st.st_size), limit));
  char buf[65536];
  TableFileStatus status = TableFileStatus::kRead;
  for (;;) {
    // One byte past the limit tells a file of exactly `limit` bytes from a
    // larger one (the size in `st` may change while the file is read).
    size_t want = std::min(sizeof buf, limit + 1 - bytes.size());
    ssize_t r = ::read(fd, buf, want);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      status = TableFileStatus::kReadError;
      break;
    }
    if (r == 0) break;
    bytes.append(buf, static_cast<size_t>(r));
    if (bytes.size() > limit) {
      bytes.resize(limit);
      status = TableFileStatus::kTooLarge;
      break;
    }
  }
  ::close(fd);
  return status;
}

std::vector<std::string_view> SplitTableLines(std::string_view text, size_t maxLine) {
  std::vector<std::string_view> lines;
  if (maxLine == 0) return lines;
  while (!text.empty()) {
    size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (lf == std::string_view::npos) {
      text = {};
    } else {
      text.remove_prefix(lf + 1);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    }
    do {
      lines.push_back(line.substr(0, maxLine));
      line.remove_prefix(line.size() < maxLine ? line.size() : maxLine);
    } while (!line.empty());
  }
  return lines;
}

}  // namespace velkan
