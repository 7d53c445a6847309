// The table files a pass reads as its fonts need them, the overlay files
// ("\qdxfiles\convNN.tbl") and the ruby table ("convura.tbl"): each as read,
// and, for the passes lent one set of tables, read once for all of them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "io/note.h"
#include "tables/table_root.h"

namespace velkan {

// The records of a code file or "convpi.tbl" that are read: enough for every
// 16-bit key once over. The rest of a larger file is ignored, so a huge file
// where a table should be costs no more than this.
inline constexpr size_t kMaxFontFileRecords = 65536;

// One read of a font file.
struct FontFile {
  // Where it was looked for (the name matched against its folder).
  std::filesystem::path path;
  // Whether it opened; when it did not, `why` says why.
  bool opened = false;
  // Whether it was read to its end, or as far as it is used; when it was
  // not, `why` says why.
  bool whole = false;
  Note why;
  // The 16-bit little-endian words read. An overlay file gives its whole
  // (key, value) records, at most kMaxFontFileRecords of them; the ruby
  // table its first 4096 words, a last odd byte being the low byte of a
  // word of its own.
  std::vector<uint16_t> words;
};

// The name of an overlay file: "\qdxfiles\conv05.tbl" for 5 (the number
// taken as signed: 0xFFFF is "conv-1.tbl").
std::string OverlayFileName(uint16_t overlay);

// Reads the code file at `path` (an overlay file, say), or the ruby table,
// as FontFile describes.
std::shared_ptr<const FontFile> ReadCodeFile(const std::filesystem::path& path);
std::shared_ptr<const FontFile> ReadRubyFile(const std::filesystem::path& path);

// The font files of one set of tables lent to many passes (see
// TableLender), each read once, when a pass first asks for it, and handed
// to every pass that asks later: the lender reads the tables again, with a
// new cache, when a file of the tables folders (or a folder) changed, so a
// cache holds the files as they were after its tables were loaded. A read
// that did not reach the end of the file is not kept (the next pass that
// asks reads the file again, as it would without a cache), nor are files
// past kCachedFontFiles or kCachedFontFileWords. Safe to use from any
// thread.
inline constexpr size_t kCachedFontFiles = 128;
inline constexpr size_t kCachedFontFileWords = size_t{4} << 20;

class FontFileCache {
 public:
  FontFileCache() = default;
  FontFileCache(const FontFileCache&) = delete;
  FontFileCache& operator=(const FontFileCache&) = delete;

  // The overlay file `overlay` under `paths` (OverlayFileName, a fixed
  // path), or the ruby table (a prefixed path): as read before, or read now
  // (and kept when it can be). `paths` must be those of the tables the cache
  // belongs to.
  std::shared_ptr<const FontFile> Overlay(const TablePaths& paths, uint16_t overlay);
  std::shared_ptr<const FontFile> Ruby(const TablePaths& paths);

  // How many files were read through the cache (for tests).
  int reads() const;

 private:
  // A file kept, by the overlay number; kRuby for the ruby table.
  static constexpr int kRuby = -1;
  struct Entry {
    int key = 0;
    std::shared_ptr<const FontFile> file;
  };
  template <class Read>
  std::shared_ptr<const FontFile> Find(int key, Read read);

  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  size_t words_ = 0;
  int reads_ = 0;
};

}  // namespace velkan
