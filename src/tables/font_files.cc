#include "tables/font_files.h"

#include <cstdio>
#include <string>

#include "tables/table_file.h"

namespace velkan {

namespace fs = std::filesystem;

namespace {

// The ruby table's words: 8192 bytes.
constexpr size_t kRubyBytes = 8192;

// Reads the file at `path`, at most `limit` bytes of it, into a FontFile
// whose words are still to be taken from `bytes`.
std::shared_ptr<FontFile> ReadFontFile(const fs::path& path, size_t limit, std::string& bytes) {
  auto file = std::make_shared<FontFile>();
  file->path = path;
  int error = 0;
  const TableFileStatus status = ReadTableFile(path, bytes, limit, &error);
  file->opened = status != TableFileStatus::kCannotOpen;
  // A file larger than the limit is read as far as it is used.
  file->whole = status == TableFileStatus::kRead || status == TableFileStatus::kTooLarge;
  if (!file->whole) file->why = DescribeTableFileStatus(status, error);
  return file;
}

uint16_t WordAt(const std::string& bytes, size_t i) {
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
}

}  // namespace

std::string OverlayFileName(uint16_t overlay) {
  char name[32];
  std::snprintf(name, sizeof name, "\\qdxfiles\\conv%02d.tbl", static_cast<int16_t>(overlay));
  return name;
}

std::shared_ptr<const FontFile> ReadCodeFile(const fs::path& path) {
  std::string bytes;
  std::shared_ptr<FontFile> file = ReadFontFile(path, 4 * kMaxFontFileRecords, bytes);
  // Whole records only: a trailing partial one is no record.
  const size_t records = bytes.size() / 4;
  file->words.resize(2 * records);
  for (size_t r = 0; r < records; ++r) {
    file->words[2 * r] = WordAt(bytes, 4 * r);
    file->words[2 * r + 1] = WordAt(bytes, 4 * r + 2);
  }
  return file;
}

std::shared_ptr<const FontFile> ReadRubyFile(const fs::path& path) {
  std::string bytes;
  std::shared_ptr<FontFile> file = ReadFontFile(path, kRubyBytes, bytes);
  file->words.resize((bytes.size() + 1) / 2);
  for (size_t i = 0; i < bytes.size(); i += 2) {
    const unsigned high = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    file->words[i / 2] = static_cast<uint16_t>(static_cast<unsigned char>(bytes[i]) | high << 8);
  }
  return file;
}

template <class Read>
std::shared_ptr<const FontFile> FontFileCache::Find(int key, Read read) {
  // Read under the lock: two passes asking at once read the file once.
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Entry& entry : entries_) {
    if (entry.key == key) return entry.file;
  }
  std::shared_ptr<const FontFile> file = read();
  ++reads_;
  if ((!file->opened || file->whole) && entries_.size() < kCachedFontFiles &&
      words_ + file->words.size() <= kCachedFontFileWords) {
    entries_.push_back({key, file});
    words_ += file->words.size();
  }
  return file;
}

std::shared_ptr<const FontFile> FontFileCache::Overlay(const TablePaths& paths, uint16_t overlay) {
  return Find(overlay, [&] { return ReadCodeFile(paths.Fixed(OverlayFileName(overlay))); });
}

std::shared_ptr<const FontFile> FontFileCache::Ruby(const TablePaths& paths) {
  return Find(kRuby, [&] { return ReadRubyFile(paths.Prefixed("\\qdxfiles\\convura.tbl")); });
}

int FontFileCache::reads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reads_;
}

}  // namespace velkan
