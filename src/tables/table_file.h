// Reading a table file whole, and cutting a text table into the lines its
// readers see.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "io/note.h"
#include "io/shown_path.h"

namespace velkan {

enum class TableFileStatus {
  kRead,        // the whole file is in `bytes`
  kCannotOpen,  // missing, unreadable, or not a regular file (a directory, say)
  kReadError,   // opened, but a read failed; `bytes` holds what came before
  kTooLarge,    // larger than the limit; `bytes` holds its first `limit` bytes
};

// Opens a regular file for reading and returns its descriptor, or -1 when it
// is missing, unreadable, or no regular file. A directory, a FIFO or a device
// where a table should be counts as a file that cannot be opened; a FIFO
// never stops the job waiting for a writer. On -1, `error` (if given)
// receives the errno of the failed open, or 0 for a file that is no regular
// file.
int OpenRegularFile(const std::filesystem::path& path, int* error = nullptr);

// No table or definition file of the system comes near this size (the
// largest hold a few thousand records or lines); a larger file is read no
// further, so a stray huge file cannot exhaust the memory.
inline constexpr size_t kMaxTableFileBytes = size_t{16} << 20;

// Reads the regular file at `path` into `bytes` (replacing its content), at
// most `limit` bytes of it. Anything that is not a regular file counts as a
// file that cannot be opened, so a directory standing where a table should be
// is reported, never read as an empty table. A file larger than `limit` gives
// kTooLarge, which callers treat as a read that failed after `limit` bytes.
// `error` (if given) receives the errno of a failed open or read, 0 for a
// file that is no regular file.
TableFileStatus ReadTableFile(const std::filesystem::path& path, std::string& bytes,
                              size_t limit = kMaxTableFileBytes, int* error = nullptr);

// Why a table file could not be used, as a note says it (UTF-8): "missing"
// (nothing of that name, or a folder on the way missing), "not a file" (a
// directory or FIFO stands there), "cannot be read: permission denied" (or
// the open's other error), "could not be read whole: ..." (a read that
// failed), "larger than 16 MiB". `error` is what ReadTableFile or
// OpenRegularFile gave; empty for kRead.
Note DescribeTableFileStatus(TableFileStatus status, int error);

// A table file that could not be used: where it was looked for and why
// (DescribeTableFileStatus, or another reason of the loader's own).
struct TableFault {
  std::filesystem::path path;
  Note why;
  // "PATH why", as notes name it (the path shown as messages show paths).
  Note Text() const;
};

// The lines of a text table as its line reader takes them. A line ends at a
// line feed, which is not part of it; a CR right before the line feed is not
// part of it either. A line longer than `maxLine` bytes is read in pieces of
// `maxLine` bytes, each piece a line of its own. A last line without a line
// feed counts; an empty text has no lines. `maxLine` must be above 0. The
// views point into `text`.
std::vector<std::string_view> SplitTableLines(std::string_view text, size_t maxLine);

}  // namespace velkan
