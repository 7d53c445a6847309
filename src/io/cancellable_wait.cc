#include "io/cancellable_wait.h"

#include <fcntl.h>
#include <poll.h>

#include <cerrno>

namespace velkan {

int OpenCancellably(const char* path, int flags, bool fifo, const std::function<bool()>& cancelled) {
  for (;;) {
    const int fd = ::open(path, flags | O_NONBLOCK);
    if (fd >= 0 || errno != ENXIO || !fifo) return fd;
    if (cancelled()) {
      errno = ECANCELED;
      return -1;
    }
    // No reader yet: nothing to poll for, the open is tried again.
    ::poll(nullptr, 0, kCancelAskMs);
  }
}

int WaitUntilWritable(int fd, const std::function<bool()>& cancelled) {
  for (;;) {
    if (cancelled()) return ECANCELED;
    pollfd p{fd, POLLOUT, 0};
    const int r = ::poll(&p, 1, kCancelAskMs);
    // Room, or an error or hang-up that the next write reports.
    if (r > 0) return 0;
    if (r < 0 && errno != EINTR) return errno;
  }
}

}  // namespace velkan
