#include "tables/table_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "io/message_mark.h"

namespace velkan {

int OpenRegularFile(const std::filesystem::path& path, int* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (error) *error = errno;
    return -1;
  }
  struct stat st {};
  int err = ::fstat(fd, &st) != 0 ? errno : 0;
  if (err != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    if (error) *error = err;
    errno = EINVAL;
    return -1;
  }
  return fd;
}

TableFileStatus ReadTableFile(const std::filesystem::path& path, std::string& bytes, size_t limit, int* error) {
  bytes.clear();
  int fd = OpenRegularFile(path, error);
  if (fd < 0) return TableFileStatus::kCannotOpen;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    if (error) *error = errno;
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
      if (error) *error = errno;
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

namespace {

// The system's error as it goes on in a sentence: "permission denied".
Note ErrorText(int error) { return Note::SystemError(error, true); }

}  // namespace

Note DescribeTableFileStatus(TableFileStatus status, int error) {
  switch (status) {
    case TableFileStatus::kRead:
      return Note();
    case TableFileStatus::kCannotOpen:
      if (error == 0) return Note(N_("not a file"));
      if (error == ENOENT || error == ENOTDIR) return Note(N_("missing"));
      return Note(N_("cannot be read: %s"), {ErrorText(error)});
    case TableFileStatus::kReadError:
      return Note(N_("could not be read whole: %s"), {ErrorText(error)});
    case TableFileStatus::kTooLarge:
      return Note(N_("larger than %s MiB"), {std::to_string(kMaxTableFileBytes >> 20)});
  }
  return Note();
}

// TRANSLATORS: a table file and why it could not be used ("missing",
// "cannot be read: ...").
Note TableFault::Text() const { return Note(N_("%s %s"), {ShownPath(path), why}); }

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
