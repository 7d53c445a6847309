// The pitch file ("\QDXFILES\pitfile.fil"): the widths of the roman
// characters of each font, read block by block through a five-block cache.
//
// The file is a 1024-byte header, then blocks of 256 bytes. Header byte
// 2 + f is the block number of font index f (font & 0x3FF); block b lies at
// offset (b + 3) * 256. Byte k of a block is the signed width of column k:
// columns 0x00-0x7F serve 0xC300-0xC37F, columns 0x80-0xFF 0xC400-0xC47F.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tables/table_file.h"
#include "tables/table_root.h"

namespace velkan {

// Result codes of the pitch file.
inline constexpr int16_t kPitchOpened = 1;
inline constexpr int16_t kPitchNotOpened = -135;
inline constexpr int16_t kPitchShortHeader = -150;
inline constexpr int16_t kPitchNoBlock = -151;
inline constexpr int16_t kPitchSeekFailed = -152;
inline constexpr int16_t kPitchShortBlock = -153;

class PitchFile {
 public:
  static constexpr int kHeaderBytes = 1024;
  static constexpr int kBlockBytes = 256;
  static constexpr int kCacheSlots = 5;

  PitchFile() = default;
  PitchFile(const PitchFile&) = delete;
  PitchFile& operator=(const PitchFile&) = delete;
  ~PitchFile() { Close(); }

  // Opens the file (closing one opened before), reads its header and empties
  // the cache. Returns kPitchOpened, kPitchNotOpened or kPitchShortHeader;
  // in the last two cases no widths are given and `why` (if given) says why.
  int16_t Open(const std::filesystem::path& path, Note* why = nullptr);
  // Closes the file and empties the cache.
  void Close();

  // Reads the whole of the opened file (as far as a block can lie) into
  // memory and closes the descriptor: the widths are read from memory from
  // then on, and `Share` lends them. False, with the file closed, when the
  // file was not opened or cannot be read.
  bool ReadWhole();
  // Whether the widths come from memory read by ReadWhole.
  bool whole() const { return image_ != nullptr; }
  // Opens the widths `loaded` read whole, sharing them: no file is opened
  // (`loaded` must have been read whole, and keep its widths while they are
  // shared). The cache is this file's own.
  void Share(const PitchFile& loaded);

  // The width of roman character `code` (0xC300-0xC37F or 0xC400-0xC47F) in
  // `font`: a signed byte (-128..127), or a result code below -128 when the
  // file gives none (not open, no block for the font, seek failure, short
  // block). Blocks are kept in five slots reused in turn.
  int16_t Width(int16_t font, uint16_t code);

  // The result of the last Open (kPitchNotOpened before any).
  int16_t openResult() const { return openResult_; }
  // Blocks read from the file since it was opened (for tests of the cache).
  int blocksRead() const { return blocksRead_; }

 private:
  struct Slot {
    bool filled = false;
    int key = 0;
    std::array<int8_t, kBlockBytes> widths{};
  };

  // Reads up to n bytes at `offset` from the file or its image: the count
  // read, or -1 on an error.
  long Read(uint8_t* buf, size_t n, off_t offset) const;

  int fd_ = -1;
  // The whole file, once read by ReadWhole (then shared, read-only).
  std::shared_ptr<const std::vector<uint8_t>> image_;
  int16_t openResult_ = kPitchNotOpened;
  // The header as Open read it (a file read whole or shared reads it from
  // `image_`); looked at only while the file is open.
  std::array<uint8_t, kHeaderBytes> header_;
  std::array<Slot, kCacheSlots> cache_{};
  int nextSlot_ = 0;
  int blocksRead_ = 0;
};

// The pitch file of the tables `paths` names.
std::filesystem::path PitchFilePath(const TablePaths& paths);

// Opens the pitch file of a pass; its result is informative only. When no
// widths can be given, `fault` (if given) names the file and says why.
int16_t OpenPitchFile(PitchFile& pitch, const TablePaths& paths, TableFault* fault = nullptr);

// The width of a roman character, as PitchFile::Width.
inline int16_t PitchWidth(PitchFile& pitch, int16_t font, uint16_t code) { return pitch.Width(font, code); }

// True when a PitchWidth result is a width, false when it is a failure code.
inline bool IsPitchWidth(int16_t result) { return result >= -128; }

}  // namespace velkan
