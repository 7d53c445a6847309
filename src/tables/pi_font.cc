#include "tables/pi_font.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "tables/table_file.h"

namespace velkan {

int16_t LoadPiFontFile(PiWidths& pi, const TablePaths& paths, TableFault* fault) {
  pi.width.fill(0);
  std::filesystem::path path = paths.Fixed("\\qdxfiles\\pifont.fil");
  int error = 0;
  int fd = OpenRegularFile(path, &error);
  if (fd < 0) {
    if (fault) *fault = {path, DescribeTableFileStatus(TableFileStatus::kCannotOpen, error)};
    return -1;
  }
  size_t got = 0;
  while (got < pi.width.size() && error == 0) {
    ssize_t r = ::read(fd, pi.width.data() + got, pi.width.size() - got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) error = errno;
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0 && fault) *fault = {path, DescribeTableFileStatus(TableFileStatus::kReadError, error)};
  return error == 0 ? 0 : -1;
}

}  // namespace velkan
