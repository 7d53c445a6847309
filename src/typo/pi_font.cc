#include "typo/pi_font.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "tables/table_file.h"

namespace velkan {

int16_t LoadPiFontFile(PiWidths& pi, const TablePaths& paths) {
  pi.width.fill(0);
  int fd = OpenRegularFile(paths.Fixed("\\qdxfiles\\pifont.fil"));
  if (fd < 0) return -1;
  size_t got = 0;
  bool ok = true;
  while (got < pi.width.size()) {
    ssize_t r = ::read(fd, pi.width.data() + got, pi.width.size() - got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      ok = false;
      break;
    }
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  if (::close(fd) != 0) ok = false;
  return ok ? 0 : -1;
}

}  // namespace velkan
