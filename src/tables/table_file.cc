#include "tables/table_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace velkan {

TableFileStatus ReadTableFile(const std::filesystem::path& path, std::string& bytes) {
  bytes.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return TableFileStatus::kCannotOpen;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return TableFileStatus::kCannotOpen;
  }
  if (st.st_size > 0) bytes.reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  TableFileStatus status = TableFileStatus::kRead;
  for (;;) {
    ssize_t r = ::read(fd, buf, sizeof buf);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      status = TableFileStatus::kReadError;
      break;
    }
    if (r == 0) break;
    bytes.append(buf, static_cast<size_t>(r));
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
