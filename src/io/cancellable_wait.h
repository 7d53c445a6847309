// Waiting on an output that blocks, while the job it belongs to may be
// cancelled.
//
// A FIFO with no reader, or a pipe or a device whose reader stopped reading,
// would hold a blocking open or write for as long as it pleases. A job that
// can be cancelled opens such an output with O_NONBLOCK instead and waits
// here, asking its `cancelled` every kCancelAskMs milliseconds, so that a
// cancel ends the wait within that time. Outputs of jobs that cannot be
// cancelled, and descriptors the caller gives, still block as they did.
#pragma once

#include <functional>

namespace velkan {

// How often a wait on a blocked output asks whether the job was cancelled.
inline constexpr int kCancelAskMs = 50;

// Opens `path` with `flags` and O_NONBLOCK. A FIFO (`fifo`) that has no
// reader yet (ENXIO) is tried again every kCancelAskMs milliseconds until
// one comes, or until `cancelled` says true: -1 with errno ECANCELED. Any
// other failure is returned at once, as open(2) gives it.
int OpenCancellably(const char* path, int flags, bool fifo, const std::function<bool()>& cancelled);

// Waits until the descriptor `fd` (opened with O_NONBLOCK, a write just
// refused with EAGAIN) takes bytes again or has an error or hang-up for the
// next write to tell. Returns 0 then, ECANCELED once `cancelled` says true
// (asked first, then every kCancelAskMs milliseconds), or the errno of a
// failed poll.
int WaitUntilWritable(int fd, const std::function<bool()>& cancelled);

}  // namespace velkan
