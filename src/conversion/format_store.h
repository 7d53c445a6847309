// The store of user-defined formats: numbered sequences of code words that a
// job defines once and replays by number.
//
// The store lies on disk in two files under the store directory (by default
// the table root): "\QDXFILES\udf2.tbl", one byte per format saying whether
// it is defined, and "\QDXFILES\udf2.fle", one record of 512 little-endian
// words per format. A record reaches the file at once when a format is
// defined; the defined flags reach the table when the store is closed.
//
// Conversions running at the same time share the store through an advisory
// lock on the table file, held only while the store's files are read or
// written: shared while the flags or a record are read, exclusive while a
// record or the flags are written. A pass holds nothing in between, so a
// pass that waits (for the reader of its output, say) never holds up another
// one. A record is written whole under the exclusive lock and read whole
// under the shared one, so no pass sees half of a format. The defined flags
// are only ever set: a pass merges its own into those the table holds when
// it writes them back, so nothing another pass defined meanwhile is lost.
// A pass knows the formats the table held when it opened the store and those
// it defines itself; a format another pass redefines meanwhile is read as it
// stands when it is loaded into the cache. A pass lent files kept open by
// its batch (FormatStoreFiles) looks at them and reads the flags only when
// it first loads or defines a format: a pass that does neither writes
// nothing that depends on the store, and leaves the table as it is.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>

#include "io/note.h"

namespace velkan {

inline constexpr int kFormatCount = 400;
inline constexpr int kFormatWords = 512;
inline constexpr int kCacheSlots = 8;
inline constexpr int kFormatRecordBytes = kFormatWords * 2;
// Format calls started one after the other without the input moving on
// before the call chain counts as endless and fails the pass (the default
// of FormatStore::maxStartsWithoutInput).
inline constexpr uint32_t kMaxStartsWithoutInput = 1u << 20;
// State byte: the defined bit, and the cache slot in bits 0-6.
inline constexpr uint8_t kFormatDefined = 0x80;
inline constexpr uint8_t kNoSlot = 0x7F;

// The store files as the system names them below the store directory.
inline constexpr const char* kFormatTableName = "\\QDXFILES\\udf2.tbl";
inline constexpr const char* kFormatFileName = "\\QDXFILES\\udf2.fle";

using FormatWords = std::array<uint16_t, kFormatWords>;

// The store's files kept open from pass to pass by one thread of a batch, so
// that a pass neither looks for them nor opens them again. Each thread keeps
// its own: the store's lock is taken on an open file, and threads sharing one
// would share its lock. A pass lent them still reads the defined flags afresh
// under the shared lock (when it first needs them) and writes its own back
// when it closes the store, as a pass that opened the files itself does, so
// it sees what the passes before it defined, in this program or another.
// When the pass first needs the store, the files are found and opened again
// if their names no longer lead to them (another program replaced or
// removed one); a pass whose store directory is another opens its own.
struct FormatStoreFiles {
  FormatStoreFiles() = default;
  // Closes the files kept.
  ~FormatStoreFiles();
  FormatStoreFiles(const FormatStoreFiles&) = delete;
  FormatStoreFiles& operator=(const FormatStoreFiles&) = delete;

  // Whether files of the store in `dir` are kept (`dir` spelled as when
  // they were opened).
  bool Holds(const std::filesystem::path& dir) const { return tableFd >= 0 && storeDir.native() == dir.native(); }

  std::filesystem::path storeDir;
  int tableFd = -1;
  int formatFd = -1;
  std::filesystem::path tablePath;
  std::filesystem::path formatPath;
  // The identity (device, inode) of each file when it was opened.
  std::pair<unsigned long long, unsigned long long> tableId{}, formatId{};
};

struct FormatStore {
  FormatStore();
  // Closes the files (without writing the flags back) if still open.
  ~FormatStore();
  FormatStore(const FormatStore&) = delete;
  FormatStore& operator=(const FormatStore&) = delete;

  // Per format: bit 7 defined, bits 0-6 cache slot (0x7F none). (This and
  // the next two are set by the constructor, once.)
  std::array<uint8_t, kFormatCount> state;
  // Per format: plays left, -1 unlimited.
  std::array<int16_t, kFormatCount> playCounter;
  // The words of the formats in the cache slots. A slot is filled whole
  // (PutInCache) before anything reads it, so a new store leaves the 8 KiB
  // unset instead of clearing them for every pass.
  std::array<FormatWords, kCacheSlots> cache;
  // The format each cache slot holds, -1 for a free slot.
  std::array<int16_t, kCacheSlots> owner;
  // The next slot to be given out.
  int16_t ring = 0;
  // The format being replayed (-1 none), the cache slot its words are taken
  // from and the position of the word it starts from: the code stream takes
  // the words from there (CodeStream::PlayStoredFormat), and notes here where
  // it left them when it reads the input meanwhile. The slot is never given
  // to another format while the replay holds it.
  int16_t replaying = -1;
  int16_t replaySlot = -1;
  uint16_t position = 0;

  // Format replays started since the input last moved on, and the input
  // position then: a chain of calls that never reads the input is stopped.
  uint32_t startsWithoutInput = 0;
  long long inputAtLastStart = -1;
  // How many such starts end the pass (the fuzz targets lower it, to spend
  // their time elsewhere than in long chains).
  uint32_t maxStartsWithoutInput = kMaxStartsWithoutInput;

  // The open files (-1 when closed) and where they are.
  int tableFd = -1;
  // The table's bytes as last read from the file.
  std::array<uint8_t, kFormatCount> tableOnDisk{};
  // Set while the defined flags are still to be read (files kept open were
  // lent): `state` and `tableOnDisk` hold nothing yet.
  bool flagsPending = false;
  int formatFd = -1;
  std::filesystem::path tablePath;
  std::filesystem::path formatPath;
  // The store directory the files were opened for.
  std::filesystem::path storeDir;
  // What went wrong in the last failed store operation, for the person.
  Note error;
  // Where the files are taken from when they were kept open, and handed back
  // to when the store is closed; none when null.
  FormatStoreFiles* kept = nullptr;
};

// Opens (or creates with their exact sizes: 400 and 409600 zero bytes) the
// store files below `storeDir`, an existing file being found without regard
// to case; a missing "QDXFILES" folder is created. Reads the defined flags
// under the shared lock (so it waits while another pass writes the store;
// files are created or filled up under the exclusive one) and empties the
// cache. A file found shorter than its size is filled up with zero bytes.
// Returns 0, or -1 with `error` set and nothing held open. No lock is held
// once it returns. With `kept` set, files it keeps for `storeDir` are taken
// from it; the first LoadFormat or WriteFormat then checks that the store's
// names still lead to them at their full sizes (else finds, opens or
// creates the files afresh) and reads the flags (`flagsPending`).
int16_t OpenFormatStore(FormatStore& s, const std::filesystem::path& storeDir);

// Writes the 400 defined flags (0 or 1) back unless they are the bytes the
// table held when it was read: under the exclusive lock it reads what the
// table holds now and writes, with one write, every format defined there or
// here as defined (nothing when the table holds exactly those bytes). Then
// closes both files, or hands them to `kept` when that is set and every step
// succeeded. Every step is attempted; returns -1 with `error` set
// when any failed, else 0. Does nothing and returns 0 when the store is not
// open.
int16_t CloseFormatStore(FormatStore& s);

// Clears the play counters and the replay (called at the start of every pass,
// with the stream's replay stopped).
void ResetFormatReplay(FormatStore& s);

// Makes format n (0-399) available in the cache. Returns 0 when it is not
// defined, 1 when it is in a cache slot (read from the format file under the
// shared lock if it was not), -1 when reading the file (or the flags still to
// be read) failed.
int16_t LoadFormat(FormatStore& s, int16_t n);

// Puts the words of format n into its cache slot, taking a slot first when
// it has none (or when its slot is the one being replayed, which must not
// change under the replay); marks the format defined. The slot being
// replayed is never given out. Not while the flags are still to be read.
void PutInCache(FormatStore& s, int16_t n, const FormatWords& words);

// Stores the words of format n in the cache and writes its record to the
// format file with one write, low byte first, under the exclusive lock.
// Returns 0, or -1 when the write failed (the cache then holds the new words
// all the same) or the flags still to be read could not be (then it does
// not).
int16_t WriteFormat(FormatStore& s, int16_t n, const FormatWords& words);

}  // namespace velkan
