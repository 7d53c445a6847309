#include "tables/pitch_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "io/message_mark.h"
#include "tables/table_file.h"

namespace velkan {

namespace {

// Reads up to n bytes at offset; the count read, or -1 on an error.
long ReadAt(int fd, uint8_t* buf, size_t n, off_t offset) {
  size_t got = 0;
  while (got < n) {
    ssize_t r = ::pread(fd, buf + got, n - got, offset + static_cast<off_t>(got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  return static_cast<long>(got);
}

}  // namespace

int16_t PitchFile::Open(const std::filesystem::path& path, Note* why) {
  Close();
  int error = 0;
  fd_ = OpenRegularFile(path, &error);
  if (fd_ < 0) {
    if (why) *why = DescribeTableFileStatus(TableFileStatus::kCannotOpen, error);
    return openResult_ = kPitchNotOpened;
  }
  long got = ReadAt(fd_, header_.data(), header_.size(), 0);
  if (got != kHeaderBytes) {
    if (why) {
      *why = got < 0 ? DescribeTableFileStatus(TableFileStatus::kReadError, errno)
                     : Note(N_("is shorter than its header of %s bytes"), {std::to_string(kHeaderBytes)});
    }
    return openResult_ = kPitchShortHeader;
  }
  return openResult_ = kPitchOpened;
}

void PitchFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  image_.reset();
  // The header is read only while the file is open, and a slot only while
  // filled: neither needs clearing.
  openResult_ = kPitchNotOpened;
  for (Slot& slot : cache_) slot.filled = false;
  nextSlot_ = 0;
  blocksRead_ = 0;
}

bool PitchFile::ReadWhole() {
  if (openResult_ != kPitchOpened || fd_ < 0) return false;
  // Block numbers are signed bytes: no block lies beyond block 127.
  constexpr size_t kMostBytes = static_cast<size_t>(127 + 3 + 1) * kBlockBytes;
  auto image = std::make_shared<std::vector<uint8_t>>(kMostBytes);
  const long got = ReadAt(fd_, image->data(), image->size(), 0);
  if (got < kHeaderBytes) {
    Close();
    return false;
  }
  image->resize(static_cast<size_t>(got));
  image->shrink_to_fit();
  ::close(fd_);
  fd_ = -1;
  image_ = std::move(image);
  return true;
}

void PitchFile::Share(const PitchFile& loaded) {
  Close();
  if (!loaded.image_) return;
  // The header is read from the image (see Width).
  image_ = loaded.image_;
  openResult_ = loaded.openResult_;
}

long PitchFile::Read(uint8_t* buf, size_t n, off_t offset) const {
  if (!image_) return ReadAt(fd_, buf, n, offset);
  const size_t size = image_->size();
  const size_t from = static_cast<size_t>(offset);
  if (from >= size) return 0;
  const size_t count = std::min(n, size - from);
  std::memcpy(buf, image_->data() + from, count);
  return static_cast<long>(count);
}

int16_t PitchFile::Width(int16_t font, uint16_t code) {
  int column = (code & 0xFF) + ((code & 0xFF00) == 0xC400 ? 0x80 : 0);
  column &= 0xFF;
  int key = static_cast<uint16_t>(font) & 0x3FF;
  for (const Slot& s : cache_) {
    if (s.filled && s.key == key) return s.widths[static_cast<size_t>(column)];
  }
  if (openResult_ != kPitchOpened) return openResult_;
  // The header holds block numbers for font indexes 0-1021 only.
  if (2 + key >= kHeaderBytes) return kPitchNoBlock;
  // A file read whole holds its header at its start (ReadWhole keeps no
  // shorter file).
  const uint8_t* header = image_ ? image_->data() : header_.data();
  int block = static_cast<int8_t>(header[2 + key]);
  if (block == 0) return kPitchNoBlock;
  if (block < 0) return kPitchSeekFailed;
  std::array<uint8_t, kBlockBytes> bytes;
  long got = Read(bytes.data(), bytes.size(), static_cast<off_t>(block + 3) * kBlockBytes);
  if (got < 0) return kPitchSeekFailed;
  if (got != kBlockBytes) return kPitchShortBlock;
  Slot& s = cache_[static_cast<size_t>(nextSlot_)];
  nextSlot_ = (nextSlot_ + 1) % kCacheSlots;
  for (size_t i = 0; i < bytes.size(); ++i) s.widths[i] = static_cast<int8_t>(bytes[i]);
  s.key = key;
  s.filled = true;
  ++blocksRead_;
  return s.widths[static_cast<size_t>(column)];
}

std::filesystem::path PitchFilePath(const TablePaths& paths) { return paths.Prefixed("\\QDXFILES\\pitfile.fil"); }

int16_t OpenPitchFile(PitchFile& pitch, const TablePaths& paths, TableFault* fault) {
  std::filesystem::path path = PitchFilePath(paths);
  Note why;
  int16_t r = pitch.Open(path, &why);
  if (r != kPitchOpened && fault) *fault = {path, why};
  return r;
}

}  // namespace velkan
