#include "io/system_error.h"

#include <cerrno>
#include <clocale>
#include <cstring>

#include "io/message_mark.h"

namespace velkan {

const char* SystemErrorMessage(int number) {
  switch (number) {
    case EPERM: return N_("Operation not permitted");
    case ENOENT: return N_("No such file or directory");
    case EINTR: return N_("Interrupted system call");
    case EIO: return N_("Input/output error");
    case ENXIO: return N_("No such device or address");
    case EBADF: return N_("Bad file descriptor");
    case EAGAIN: return N_("Resource temporarily unavailable");
    case ENOMEM: return N_("Cannot allocate memory");
    case EACCES: return N_("Permission denied");
    case EBUSY: return N_("Device or resource busy");
    case EEXIST: return N_("File exists");
    case EXDEV: return N_("Invalid cross-device link");
    case ENODEV: return N_("No such device");
    case ENOTDIR: return N_("Not a directory");
    case EISDIR: return N_("Is a directory");
    case EINVAL: return N_("Invalid argument");
    case ENFILE: return N_("Too many open files in system");
    case EMFILE: return N_("Too many open files");
    case ETXTBSY: return N_("Text file busy");
    case EFBIG: return N_("File too large");
    case ENOSPC: return N_("No space left on device");
    case ESPIPE: return N_("Illegal seek");
    case EROFS: return N_("Read-only file system");
    case EMLINK: return N_("Too many links");
    case EPIPE: return N_("Broken pipe");
    case ENAMETOOLONG: return N_("File name too long");
    case ENOLCK: return N_("No locks available");
    case ENOTEMPTY: return N_("Directory not empty");
    case ELOOP: return N_("Too many levels of symbolic links");
    case EOPNOTSUPP: return N_("Operation not supported");
    case EDQUOT: return N_("Disk quota exceeded");
    case ESTALE: return N_("Stale file handle");
    case ECANCELED: return N_("Operation canceled");
    default: return nullptr;
  }
}

std::string EnglishSystemError(int number) {
  // Made once and never changed.
  static const locale_t c = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  if (c == static_cast<locale_t>(0)) return "error " + std::to_string(number);
  return ::strerror_l(number, c);
}

}  // namespace velkan
