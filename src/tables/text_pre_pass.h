// The text pre-pass: turns a Shift-JIS text job into the code words a pass
// converts (16-bit words, high byte first).
//
// A text holds plain characters, which the input mode in force looks up in
// its tables, and three kinds of in-text notation: characters that stand for
// command words or input modes ("SJIS_ZAN.TBL"), named escapes behind lead
// characters and markers ("velkansys.tbl", "velkanuser.tbl"), and text
// sequences replaced by lists of code words ("nmcnv.tbl").
//
// The pre-pass is a byte source: it reads the text block by block as the
// pass asks for words, so no word file is written and memory stays flat
// however long the text is.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/byte_streams.h"
#include "io/note.h"
#include "tables/command_words.h"
#include "tables/escape_definitions.h"
#include "tables/pre_pass_tables.h"
#include "tables/table_root.h"
#include "tables/text_line_marks.h"
#include "tables/utf8_evidence.h"

namespace velkan {

class PrePassRecords;

// Code words the pre-pass itself produces.
inline constexpr uint16_t kNoUsableForm = 0x963C;    // no full-width form, bad hexadecimal escape
inline constexpr uint16_t kUnknownCharacter = 0x9631;  // the tables of the mode do not know it
inline constexpr uint16_t kCircledTen = 0x95B4;       // "10" counted in mode 1
inline constexpr uint16_t kParenthesisedTen = 0x95BE; // "10" counted in mode 2

// The state of one pre-pass, reset for each text.
struct PrePassState {
  int mode = 6;          // mode of plain characters
  int savedMode = 6;     // mode to return to when mode 10 ends
  int mode10 = 0;        // 1 while mode 10 is on
  int group = 0;         // 1 between 0xD003 and 0xD004: plain characters use mode 8
  int countdown = 0;     // characters left in a counted mode
  int countedMode = 0;   // the mode (1-5) the countdown belongs to
  int argumentCount = 0; // characters after a command that count as its argument
  int digitPosition = 0; // position within a combined number (0, 1, 2)
  int dot = 0;           // a "." was seen in modes 1-3
  uint16_t lastCode = 0; // the code word produced last
  int argumentA = 0;     // the two flags of the argument counts
  int argumentB = 0;
};

// What a pre-pass derives from its tables and definitions before it reads a
// byte, the same for every pre-pass over the same ones (see
// TextPrePass::Derived): derived once for tables lent to many passes. Empty
// until derived.
struct TextPrePassSetup {
  // The "&" pairs in force (those before the first key 0), the first pair of
  // each key, sorted by key.
  std::vector<std::pair<uint16_t, uint16_t>> pairs;
  // The two-byte values that may be a code pair, a mode character or a
  // command character (one bit each), and what each byte may begin: a
  // replacement key, a marker, a mode escape, a command escape (the bits of
  // kLead..., none for a byte that can only begin a plain character). What
  // the plain characters of mode 6 are told apart by, and what spares a
  // step the searches that cannot match.
  std::vector<uint64_t> notation;
  static constexpr uint8_t kLeadReplacement = 1, kLeadMarker = 2, kLeadMode = 4, kLeadCommand = 8;
  std::array<uint8_t, 256> leads{};
  // The bytes a plain character beginning with each byte takes when it
  // needs no step of its own (1 or 2), or 0: a control byte, a byte that may
  // begin notation, and 0x7F and 0xA0 (no usable form in mode 6).
  std::array<uint8_t, 256> plainWidth{};
  // What a single-byte character becomes in mode 6, and in modes 7 and 8
  // (which, unlike the counted modes, keep no state of their own); the
  // mark of an unknown character where the tables know none.
  std::array<uint16_t, 256> singleSix{};
  std::array<std::array<uint16_t, 256>, 2> singleSevenEight{};
  // The command names by their second byte.
  CommandNameIndex commandNames;
  // The words of pre-passes over these tables kept to be read again (see
  // TextWords); made by Derived, so tables loaded again start with none.
  std::shared_ptr<PrePassRecords> records;
  bool empty() const { return notation.empty(); }
};

// Reads a Shift-JIS text from `text` and delivers its code words, high byte
// first. The tables and definitions must outlive the source. A read error of
// the text delivers the words made before it, then -1. A 0x1A byte ends the
// text. `setup`, when given and not empty, is what Derived gave for the same
// tables and definitions, taken instead of deriving it again.
class TextPrePass final : public ByteSource {
 public:
  TextPrePass(ByteSource& text, const PrePassTables& tables, const EscapeDefinitions& escapes,
              const TextPrePassSetup* setup = nullptr);
  // What a pre-pass over `tables` and `escapes` derives before it reads.
  static TextPrePassSetup Derived(const PrePassTables& tables, const EscapeDefinitions& escapes);
  TextPrePass(const TextPrePass&) = delete;
  TextPrePass& operator=(const TextPrePass&) = delete;

  long Read(uint8_t* buf, size_t n) override;

  // Bytes of the text read so far, and whether a read of it failed.
  long long textRead() const { return textRead_; }
  bool readError() const { return readError_; }
  // Whether the text read so far looks like UTF-8 rather than Shift_JIS
  // (see Utf8Evidence).
  bool looksLikeUtf8() const { return encoding_.LooksLikeUtf8(); }
  // Marks in `marks` (when not null) where the words of each line of the
  // text begin, and tells it at each Read the words delivered before (but
  // the last word, which a reader of words in blocks may still hold).
  void TrackLines(TextLineMarks* marks) { marks_ = marks; }
  // The state as the last step left it (for tests).
  const PrePassState& state() const { return state_; }

 private:
  bool Refill();
  void Produce();
  size_t Step(std::string_view t);
  size_t PlainStretch(std::string_view t);
  template <bool kModeSix>
  size_t PlainRun(std::string_view t, const uint16_t* singles);
  // Whether a run of plain characters may begin at byte `b` (PlainStretch
  // tells the rest): no counted number goes on, and `b` has a plain width.
  bool PlainMayBegin(uint8_t b) const { return state_.countdown == 0 && setup_->plainWidth[b] != 0; }
  bool MayBeNotation(uint16_t u) const { return (setup_->notation[u >> 6] >> (u & 63)) & 1; }

  void Emit(uint16_t word) {
    const char bytes[2] = {static_cast<char>(word >> 8), static_cast<char>(word & 0xFF)};
    Append(std::string_view(bytes, 2));
    state_.lastCode = word;
  }
  void Append(std::string_view bytes) {
    if (bytes.size() > outCapacity_ - outSize_) [[unlikely]] Grow(bytes.size());
    std::memcpy(out_.get() + outSize_, bytes.data(), bytes.size());
    outSize_ += bytes.size();
  }
  void Grow(size_t n);
  // Derives the "&" pairs, the notation bits, the plain leads and the
  // characters of mode 6 from the tables and definitions.
  void Derive();
  size_t ApplyMode(int mode, std::string_view rest);
  void ApplyCommand(uint16_t code);
  int ArgumentCount(uint16_t code);
  void LineEnd(std::string_view after);
  void PlainCharacter(std::string_view t, bool singleByte);
  int ChooseMode(bool digit);
  uint16_t LookupSingle(uint8_t c, int m, bool& nothing);
  uint16_t LookupDouble(uint16_t d, int m);
  uint16_t ModeSix(uint16_t sjis) const;
  uint16_t Pair(uint16_t sjis) const;
  uint16_t Block(BlockTableId id, uint16_t key) const { return tables_.block(id).Lookup(key); }

  ByteSource& text_;
  const PrePassTables& tables_;
  const EscapeDefinitions& escapes_;
  // What Derive made, when no setup was given.
  TextPrePassSetup ownSetup_;
  // What the pre-pass derives from its tables: `ownSetup_`, or the setup
  // given, which is not copied.
  const TextPrePassSetup* setup_ = &ownSetup_;
  PrePassState state_;

  // Text bytes, kTextBlock + kLookahead of them; [inPos_, inEnd_) not yet
  // processed. The two buffers are made for each pass of a text job and only
  // what was written is read: they are not cleared.
  std::unique_ptr<char[]> in_;
  size_t inPos_ = 0;
  size_t inEnd_ = 0;
  bool textEnded_ = false;  // the last byte of the text is in `in_`
  bool stopped_ = false;    // 0x1A met
  bool readError_ = false;
  long long textRead_ = 0;
  Utf8Evidence encoding_;

  // Words made, [0, outSize_) of `out_` (`outCapacity_` bytes);
  // [outPos_, outSize_) not yet delivered.
  std::unique_ptr<char[]> out_;
  size_t outCapacity_ = 0;
  size_t outSize_ = 0;
  size_t outPos_ = 0;
  // The byte offset of out_[0] among all words made, and the line of the
  // text being read (counted only while lines are tracked).
  long long outBase_ = 0;
  long long line_ = 1;
  TextLineMarks* marks_ = nullptr;
};

// Converts a whole text into code words written to `words`: loads the
// pre-pass tables and the escape definitions from `paths`, runs the
// pre-pass and releases them again. Returns -1 when the text is empty, a
// read of it fails or a write fails; 0 otherwise. Missing tables do not stop
// it; `notes` (if given) receives a line for each table that failed to load.
int16_t PrepareTextInput(const TablePaths& paths, ByteSource& text, ByteSink& words,
                         std::vector<Note>* notes = nullptr);

// Loads what the pre-pass reads: LoadPrePassTables, then
// LoadEscapeDefinitions. Adds a line to `notes` (if given) for each load that
// failed; the pre-pass then runs with what was loaded.
void LoadTextInputTables(PrePassTables& tables, EscapeDefinitions& escapes, const TablePaths& paths,
                         std::vector<Note>* notes);

}  // namespace velkan
