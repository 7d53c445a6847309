#include "tables/text_pre_pass.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "io/byte_order.h"
#include "io/message_mark.h"
#include "tables/text_words.h"

namespace velkan {

namespace {

// The text is read in blocks of this size.
constexpr size_t kTextBlock = 64 * 1024;
// Bytes kept ahead of the position while the text goes on: more than the
// longest match looks at (a marker of 40 bytes and the 5 behind marker 0,
// after a line end; a replacement key of 20; an escape name of 8 and a
// hexadecimal code of 8).
constexpr size_t kLookahead = 128;
// Words are made in batches of about this many bytes.
constexpr size_t kOutBlock = 64 * 1024;

bool IsAsciiDigit(uint8_t c) { return c >= '0' && c <= '9'; }
bool IsFullWidthDigit(uint16_t d) { return d >= 0x824F && d <= 0x8258; }
// Stores `word` at `d` high byte first, as one store where the machine's
// order allows.
void StoreHighFirst(char* d, uint16_t word) {
  if constexpr (std::endian::native == std::endian::little) {
    const uint16_t swapped = static_cast<uint16_t>(word << 8 | word >> 8);
    std::memcpy(d, &swapped, sizeof swapped);
  } else {
    d[0] = static_cast<char>(word >> 8);
    d[1] = static_cast<char>(word & 0xFF);
  }
}
uint8_t Byte(std::string_view t, size_t i) { return static_cast<uint8_t>(t[i]); }
uint16_t TwoBytes(std::string_view t, size_t i) { return LoadBigEndian16(t.data() + i); }

// The value of a hexadecimal digit of a mode 9 escape at the start of `t`
// and the bytes it takes; -1 when the character there is none.
std::pair<int, size_t> HexCharacter(std::string_view t) {
  if (t.empty()) return {-1, 0};
  uint8_t b = Byte(t, 0);
  if (b >= '0' && b <= '9') return {b - '0', 1};
  if (b >= 'A' && b <= 'F') return {b - 'A' + 10, 1};
  if (b >= 'a' && b <= 'f') return {b - 'a' + 10, 1};
  if (t.size() < 2) return {-1, 0};
  uint16_t d = TwoBytes(t, 0);
  if (d >= 0x824F && d <= 0x8258) return {d - 0x824F, 2};
  if (d >= 0x8260 && d <= 0x8265) return {d - 0x8260 + 10, 2};
  if (d >= 0x8281 && d <= 0x8286) return {d - 0x8281 + 10, 2};
  return {-1, 0};
}

// The three block tables of the counted modes 1-3 ("_0", "_1", "_2"), and
// the position tables of modes 4 and 5.
BlockTableId DotTable(int m) {
  return m == 1 ? BlockTableId::kKma0 : m == 2 ? BlockTableId::kKka0 : BlockTableId::kKur0;
}
BlockTableId FirstDigitTable(int m) {
  return m == 1 ? BlockTableId::kKma1 : m == 2 ? BlockTableId::kKka1 : BlockTableId::kKur1;
}
BlockTableId SecondDigitTable(int m) {
  return m == 1 ? BlockTableId::kKma2 : m == 2 ? BlockTableId::kKka2 : BlockTableId::kKur2;
}
BlockTableId PositionTable(int m, int position) {
  if (m == 4) return position == 0 ? BlockTableId::kKu20 : BlockTableId::kKu21;
  return position == 0 ? BlockTableId::kKu30 : position == 1 ? BlockTableId::kKu31 : BlockTableId::kKu32;
}

// Commands that end a line: after one, a line end of the text writes nothing.
bool EndsLine(uint16_t code) {
  switch (code) {
    case kLineEndRT: case kLineEndQC: case kLineEnd: case kLineEndQR: case kLineEnd1C: case kEndOfText:
    case kEndOfText23:
      return true;
    default:
      return false;
  }
}

// Commands that end mode 10.
bool EndsRubyMode(uint16_t code) {
  return code == kLineEndRT || code == kLineEndQC || code == kLineEnd || code == kLineEndQR || code == kLineEnd1C;
}

}  // namespace

TextPrePass::TextPrePass(ByteSource& text, const PrePassTables& tables, const EscapeDefinitions& escapes,
                         const TextPrePassSetup* setup)
    : text_(text),
      tables_(tables),
      escapes_(escapes),
      in_(std::make_unique_for_overwrite<char[]>(kTextBlock + kLookahead)),
      out_(std::make_unique_for_overwrite<char[]>(kOutBlock + 2 * kMaxReplacementWords)),
      outCapacity_(kOutBlock + 2 * kMaxReplacementWords) {
  if (setup == nullptr || setup->empty()) {
    Derive();
  } else {
    setup_ = setup;
  }
}

TextPrePassSetup TextPrePass::Derived(const PrePassTables& tables, const EscapeDefinitions& escapes) {
  MemorySource none{std::string_view()};
  TextPrePass pass(none, tables, escapes);
  pass.ownSetup_.records = std::make_shared<PrePassRecords>();
  return std::move(pass.ownSetup_);
}

void TextPrePass::Derive() {
  const EscapeDefinitions& escapes = escapes_;
  const PrePassTables& tables = tables_;
  auto& pairs = ownSetup_.pairs;
  auto& notation = ownSetup_.notation;
  auto& leads = ownSetup_.leads;
  auto& singleSix = ownSetup_.singleSix;
  ownSetup_.commandNames = IndexCommandNames(escapes);
  for (const EscapePair& pair : escapes.pairs) {
    if (pair.key == 0) break;
    pairs.emplace_back(pair.key, pair.value);
  }
  std::stable_sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  pairs.erase(std::unique(pairs.begin(), pairs.end(),
                          [](const auto& a, const auto& b) { return a.first == b.first; }),
              pairs.end());

  notation.assign(65536 / 64, 0);
  auto mark = [&notation](uint16_t u) { notation[u >> 6] |= uint64_t{1} << (u & 63); };
  for (const auto& pair : pairs) mark(pair.first);
  for (const auto& entry : tables.commandIndex) mark(entry.first);
  for (const auto& entry : tables.modeIndex) mark(entry.first);
  for (unsigned b = 0; b < 256; ++b) {
    char ch = static_cast<char>(b);
    leads[b] = static_cast<uint8_t>((IsMarkerLead(escapes, ch) ? TextPrePassSetup::kLeadMarker : 0) |
                                    (IsModeLead(escapes, ch) ? TextPrePassSetup::kLeadMode : 0) |
                                    (IsCommandLead(escapes, ch) ? TextPrePassSetup::kLeadCommand : 0));
  }
  for (size_t i = 0; i < tables.replacements.size(); ++i) {
    std::string_view key = tables.replacements[i].Key();
    if (!key.empty()) leads[static_cast<uint8_t>(key[0])] |= TextPrePassSetup::kLeadReplacement;
  }
  for (unsigned b = 0x20; b < 256; ++b) {
    if (leads[b] != 0 || b == 0x7F || b == 0xA0) continue;
    ownSetup_.plainWidth[b] = b <= 0x7E || (b >= 0xA1 && b <= 0xDF) ? 1 : 2;
  }
  for (unsigned c = 0; c < 256; ++c) {
    bool nothing = false;  // never set in modes 6-8
    uint16_t r = LookupSingle(static_cast<uint8_t>(c), 6, nothing);
    singleSix[c] = r != 0 ? r : kUnknownCharacter;
    for (int m : {7, 8}) {
      r = LookupSingle(static_cast<uint8_t>(c), m, nothing);
      ownSetup_.singleSevenEight[static_cast<size_t>(m - 7)][c] = r != 0 ? r : kUnknownCharacter;
    }
  }
}

long TextPrePass::Read(uint8_t* buf, size_t n) {
  if (marks_ != nullptr) marks_->Delivered(outBase_ + static_cast<long long>(outPos_) - 2);
  while (outPos_ == outSize_) {
    if (stopped_ || readError_ || (textEnded_ && inPos_ == inEnd_)) return readError_ ? -1 : 0;
    outBase_ += static_cast<long long>(outSize_);
    outSize_ = 0;
    outPos_ = 0;
    Produce();
  }
  size_t take = std::min(n, outSize_ - outPos_);
  std::memcpy(buf, out_.get() + outPos_, take);
  outPos_ += take;
  return static_cast<long>(take);
}

bool TextPrePass::Refill() {
  size_t keep = inEnd_ - inPos_;
  if (keep > 0 && inPos_ > 0) std::memmove(in_.get(), in_.get() + inPos_, keep);
  inPos_ = 0;
  inEnd_ = keep;
  while (!textEnded_ && inEnd_ - inPos_ < kLookahead) {
    long r = text_.Read(reinterpret_cast<uint8_t*>(in_.get() + inEnd_), kTextBlock + kLookahead - inEnd_);
    if (r < 0) {
      readError_ = true;
      return false;
    }
    if (r == 0) {
      textEnded_ = true;
      break;
    }
    if (!encoding_.settled()) {
      encoding_.Take(reinterpret_cast<const uint8_t*>(in_.get() + inEnd_), static_cast<size_t>(r));
    }
    inEnd_ += static_cast<size_t>(r);
    textRead_ += r;
  }
  return true;
}

void TextPrePass::Produce() {
  while (outSize_ < kOutBlock && !stopped_) {
    if (!textEnded_ && inEnd_ - inPos_ < kLookahead && !Refill()) return;
    if (inPos_ == inEnd_) return;
    std::string_view t(in_.get() + inPos_, inEnd_ - inPos_);
    size_t plain = PlainMayBegin(static_cast<uint8_t>(t[0])) ? PlainStretch(t) : 0;
    inPos_ += plain != 0 ? plain : Step(t);
  }
}

// A block ends at the first step past kOutBlock; the buffer has room for the
// most one step makes, and grows should a step make more.
void TextPrePass::Grow(size_t n) {
  const size_t capacity = 2 * outCapacity_ + n;
  auto larger = std::make_unique_for_overwrite<char[]>(capacity);
  std::memcpy(larger.get(), out_.get(), outSize_);
  out_ = std::move(larger);
  outCapacity_ = capacity;
}

uint16_t TextPrePass::Pair(uint16_t sjis) const {
  const auto& pairs = setup_->pairs;
  auto it = std::lower_bound(pairs.begin(), pairs.end(), sjis,
                             [](const auto& pair, uint16_t k) { return pair.first < k; });
  return it != pairs.end() && it->first == sjis ? it->second : 0;
}

// The plain characters from the start of `t` on, as Step would take them
// one by one, while the state leaves their look-up stateless: mode 6 or 7
// with no counted number or argument, or a group (mode 8, whatever the mode;
// no counted number, whose "10" Step must see). Each has a plain width and is
// no code pair, mode or command character; in modes 7 and 8 only single-byte
// characters are taken. Stops where Step must decide, and while the text goes
// on, a look-ahead before the end of `t`. Returns the bytes taken. Produce
// calls it only where PlainMayBegin holds.
size_t TextPrePass::PlainStretch(std::string_view t) {
  const PrePassState& s = state_;
  const TextPrePassSetup& setup = *setup_;
  if (s.countdown != 0) return 0;
  if (s.group != 0) return PlainRun<false>(t, setup.singleSevenEight[1].data());
  if (s.argumentCount != 0) return 0;
  // Without a code table every double-byte character is unknown; Step says so.
  if (s.mode == 6 && !tables_.forwardMap.empty()) return PlainRun<true>(t, setup.singleSix.data());
  if (s.mode == 7) return PlainRun<false>(t, setup.singleSevenEight[0].data());
  return 0;
}

// The loop of PlainStretch: single-byte characters from `singles`, and with
// `kModeSix` double-byte characters from the code table.
template <bool kModeSix>
size_t TextPrePass::PlainRun(std::string_view t, const uint16_t* const singles) {
  const size_t n = t.size();
  const size_t stop = textEnded_ ? n : (n > kLookahead ? n - kLookahead : 0);
  // A character of two bytes needs both in `t`, and a single-byte one is
  // told from notation by the two bytes from it on.
  const size_t last = n == 0 ? 0 : std::min(stop, n - 1);
  // The words are stored as bytes, which may alias anything: what the loop
  // reads is held in locals, not read again through `this` at each character.
  const uint8_t* const width = setup_->plainWidth.data();
  const uint64_t* const notation = setup_->notation.data();
  const uint16_t* const forward = tables_.forwardMap.data();
  const uint8_t* const text = reinterpret_cast<const uint8_t*>(t.data());
  size_t p = 0;
  // A character makes one word, written while the block is short of
  // kOutBlock: the buffer has room for a word past it.
  static_assert(kMaxReplacementWords >= 1);
  char* const begin = out_.get() + outSize_;
  char* const full = out_.get() + kOutBlock;
  char* d = begin;
  uint16_t word = 0;
  while (p < last && d < full) {
    const uint8_t b = text[p];
    const uint8_t w = width[b];
    if (w == 0 || (!kModeSix && w == 2)) break;
    const unsigned u = static_cast<unsigned>(b << 8 | text[p + 1]);
    if ((notation[u >> 6] >> (u & 63)) & 1) break;
    if (w == 1) {
      word = singles[b];
    } else {
      // A lead byte of width 2 is 0x80-0x9F or 0xE0-0xFF: the map's two
      // ranges, as PrePassTables::ForwardIndex places them.
      static_assert(PrePassTables::kForwardHalf == 0xE000 - 0xC000);
      const uint16_t r = forward[u - (u >= 0xE000 ? 0xC000u : 0x8000u)];
      word = r != 0 ? r : kUnknownCharacter;
    }
    p += w;
    StoreHighFirst(d, word);
    d += 2;
  }
  if (d != begin) {
    outSize_ += static_cast<size_t>(d - begin);
    state_.lastCode = word;
  }
  return p;
}

// One position of the text: takes the first case that applies and returns
// the number of bytes it covers (0 only when the text stops there).
size_t TextPrePass::Step(std::string_view t) {
  PrePassState& s = state_;
  const bool haveTwo = t.size() >= 2;
  const uint16_t u = haveTwo ? TwoBytes(t, 0) : 0;
  // Only a byte that may begin a key or an escape is searched for one, and
  // only a character that may be a code pair, mode or command character
  // for one of those.
  const uint8_t lead = setup_->leads[Byte(t, 0)];
  const bool notation = haveTwo && MayBeNotation(u);

  // 1. A replacement entry.
  if (lead & TextPrePassSetup::kLeadReplacement) {
    if (const ReplacementEntry* e = tables_.replacements.Match(t)) {
      Append(e->WordBytes());
      s.lastCode = e->Word(e->wordCount - 1u);
      return e->keyLength;
    }
  }

  // 2. "10" as the first two characters of a number counted in mode 1 or 2.
  if (s.countdown == 2 && (s.countedMode == 1 || s.countedMode == 2) && haveTwo && t[0] == '1' &&
      t[1] == '0') {
    Emit(s.countedMode == 1 ? kCircledTen : kParenthesisedTen);
    s.countdown = 0;
    return 2;
  }

  // 3. A code pair.
  if (notation) {
    if (uint16_t code = Pair(u)) {
      Emit(code);
      if (code == kGroupOpen) s.group = 1;
      if (code == kGroupClose) s.group = 0;
      s.countdown = 0;
      s.digitPosition = 0;
      return 2;
    }
  }

  // 4. A marker: skipped, its code word becomes the last code.
  if (lead & TextPrePassSetup::kLeadMarker) {
    MarkerMatch m = MatchMarker(escapes_, t);
    if (m.marker >= 0) {
      s.lastCode = m.code;
      return m.length;
    }
  }

  // 5. A mode escape or mode character.
  if (lead & TextPrePassSetup::kLeadMode) {
    EscapeMatch m = MatchModeName(escapes_, t);
    if (m.code != 0) return m.length + ApplyMode(m.code, t.substr(m.length));
  }
  if (notation) {
    if (int mode = tables_.ModeOfCharacter(u)) return 2 + ApplyMode(mode, t.substr(2));
  }

  // 6. A command escape or command character.
  if (lead & TextPrePassSetup::kLeadCommand) {
    EscapeMatch m = MatchCommandName(escapes_, setup_->commandNames, t);
    if (m.code != 0) {
      ApplyCommand(m.code);
      return m.length;
    }
  }
  if (notation) {
    if (uint16_t code = tables_.CommandOfGlyph(u)) {
      ApplyCommand(code);
      return 2;
    }
  }

  // 7. Plain text.
  const uint8_t b = Byte(t, 0);
  if (b == '\r' && haveTwo && t[1] == '\n') {
    LineEnd(t.substr(2));
    return 2;
  }
  if (b == '\n') {  // a line feed alone ends a line too
    LineEnd(t.substr(1));
    return 1;
  }
  if (b == 0x1A) {
    stopped_ = true;
    return 0;
  }
  if (b >= 0x01 && b <= 0x1F) return 1;
  if ((b >= 0x20 && b <= 0x7E) || (b >= 0xA1 && b <= 0xDF)) {
    PlainCharacter(t, true);
    return 1;
  }
  if (!haveTwo) {
    // A lead byte cut off by the end of the text has no usable form.
    Emit(kNoUsableForm);
    return 1;
  }
  PlainCharacter(t, false);
  return 2;
}

size_t TextPrePass::ApplyMode(int mode, std::string_view rest) {
  PrePassState& s = state_;
  s.countdown = 0;
  s.digitPosition = 0;
  switch (mode) {
    case 1: case 2: case 3: case 4:
      s.countdown = 2;
      s.countedMode = mode;
      break;
    case 5:
      s.countdown = 3;
      s.countedMode = 5;
      break;
    case 9: {
      // Four hexadecimal digits give the code word; the first character that
      // is none ends the escape, unread, with the mark of a bad code.
      unsigned value = 0;
      size_t at = 0;
      for (int i = 0; i < 4; ++i) {
        auto [digit, length] = HexCharacter(rest.substr(at));
        if (digit < 0) {
          Emit(kNoUsableForm);
          return at;
        }
        value = value * 16 + static_cast<unsigned>(digit);
        at += length;
      }
      Emit(static_cast<uint16_t>(value));
      return at;
    }
    case 10:
      if (s.mode10 == 0) {
        s.mode10 = 1;
        s.savedMode = s.mode;
        s.mode = 10;
      } else {
        s.mode10 = 0;
        s.mode = s.savedMode;
      }
      break;
    default:  // 6, 7, 8
      s.mode = mode;
      break;
  }
  return 0;
}

int TextPrePass::ArgumentCount(uint16_t code) {
  int& a = state_.argumentA;
  int& b = state_.argumentB;
  switch (code) {
    case kTagTh: case kTagEm:
      b = 0;
      if (a) {
        a = 0;
        return 1;
      }
      return 0;
    case kBell:
      a = !a;
      return 0;
    case kModePermit:
      b = 1;
      return 0;
    case kLetterSpaceAdd: case kTsumeLoosen: case kLetterSpaceSubtract: case kTsumeTighten:
      a = 0;
      if (b) {
        b = 0;
        return 2;
      }
      return 0;
    default:
      break;
  }
  a = 0;
  b = 0;
  switch (code) {
    case kSuffix: case kIndex: case kVerticalHorizontalRule: case kVerticalHorizontalRule91:
    case kOriginSetValue: case kOriginReturnValue: case kRelativeRuleA7: case kRelativeRuleA8:
    case kRelativeRuleA9: case kRelativeRuleAB:
      return 1;
    case kPiCharacter:
      return 3;
    case kTayo: case kMultipleLineFeed:
      return 2;
    default:
      return 0;
  }
}

void TextPrePass::ApplyCommand(uint16_t code) {
  PrePassState& s = state_;
  s.countdown = 0;
  s.digitPosition = 0;
  Emit(code);
  s.argumentCount = ArgumentCount(code);
  if (code == kGroupOpen) s.group = 1;
  if (code == kGroupClose) s.group = 0;
  if (s.mode10 && EndsRubyMode(code)) {
    s.mode10 = 0;
    s.mode = s.savedMode;
  }
}

void TextPrePass::LineEnd(std::string_view after) {
  PrePassState& s = state_;
  // A line that goes on behind marker 0 is no line end.
  if (MatchMarker(escapes_, after).marker != 0 && !EndsLine(s.lastCode)) {
    Emit(kLineEnd);
    s.countdown = 0;
  }
  s.lastCode = 0;
  if (marks_ != nullptr) marks_->Add(outBase_ + static_cast<long long>(outSize_), ++line_);
}

int TextPrePass::ChooseMode(bool digit) {
  PrePassState& s = state_;
  if (s.group) return 8;
  if (s.countdown > 0) {
    --s.countdown;
    s.argumentCount = 0;
    return s.countedMode;
  }
  if (s.argumentCount > 0) {
    --s.argumentCount;
    if (digit) return 8;
  }
  return s.mode;
}

uint16_t TextPrePass::ModeSix(uint16_t sjis) const {
  if ((sjis >= 0x8000 && sjis <= 0x9FFF) || sjis >= 0xE000) return tables_.Forward(sjis);
  return kNoUsableForm;
}

uint16_t TextPrePass::LookupSingle(uint8_t c, int m, bool& nothing) {
  PrePassState& s = state_;
  const uint16_t f = tables_.singleByteMap[c];
  if (m >= 1 && m <= 3) {
    if (s.digitPosition == 0 && c == '.') {
      s.dot = 1;
      nothing = true;
      return 0;
    }
    if (s.dot) {
      s.dot = 0;
      bool letter = (c >= 'A' && c <= 'J') || (c >= 'a' && c <= 'j');
      if (IsAsciiDigit(c) || (letter && m != 3)) return Block(DotTable(m), f);
      return kNoUsableForm;
    }
  }
  if (f == 0) return kNoUsableForm;
  uint16_t r = 0;
  switch (m) {
    case 6:
      r = Block(BlockTableId::kHnw, f);
      if (r == 0) r = Block(BlockTableId::kRom, f);
      return r != 0 ? r : ModeSix(f);
    case 7: case 8:
      r = Block(m == 7 ? BlockTableId::kIta : BlockTableId::kRom, f);
      if (r == 0 && c == ' ') return kSpaceCommand;
      if (r == 0) r = Block(BlockTableId::kHnw, f);
      return r != 0 ? r : ModeSix(f);
    case 1: case 2: case 3:
      if (s.digitPosition == 0) {
        s.digitPosition = 1;
        return Block(FirstDigitTable(m), f);
      }
      s.digitPosition = 0;
      return Block(SecondDigitTable(m), f);
    case 4: case 5: {
      const int positions = m == 4 ? 2 : 3;
      const int position = s.digitPosition % positions;
      s.digitPosition = (position + 1) % positions;
      if (c == '*') {
        nothing = true;
        return 0;
      }
      return Block(PositionTable(m, position), f);
    }
    case 10:
      return Block(BlockTableId::kRub, f);
    default:  // mode 9 is no look-up mode
      return kNoUsableForm;
  }
}

uint16_t TextPrePass::LookupDouble(uint16_t d, int m) {
  PrePassState& s = state_;
  if (m >= 1 && m <= 3) s.dot = 0;
  switch (m) {
    case 7: case 8: {
      uint16_t r = Block(m == 7 ? BlockTableId::kIta : BlockTableId::kRom, d);
      if (r != 0) return r;
      if (d == 0x8140) return kSpaceCommand;
      return ModeSix(d);
    }
    case 6:
      return ModeSix(d);
    case 1: case 2: case 3:
      return Block(DotTable(m), d);
    case 4: case 5: {
      const int positions = m == 4 ? 2 : 3;
      const int position = s.digitPosition % positions;
      s.digitPosition = (position + 1) % positions;
      return Block(PositionTable(m, position), d);
    }
    case 10:
      return Block(BlockTableId::kRub, d);
    default:
      return kNoUsableForm;
  }
}

void TextPrePass::PlainCharacter(std::string_view t, bool singleByte) {
  PrePassState& s = state_;
  const uint8_t c = Byte(t, 0);
  const uint16_t d = singleByte ? 0 : TwoBytes(t, 0);
  const int m = ChooseMode(singleByte ? IsAsciiDigit(c) : IsFullWidthDigit(d));
  bool nothing = false;
  auto lookup = [&](int mode) { return singleByte ? LookupSingle(c, mode, nothing) : LookupDouble(d, mode); };
  // Modes 7 and 8 take a single byte from the setup's tables.
  uint16_t r = singleByte && (m == 7 || m == 8) ? setup_->singleSevenEight[static_cast<size_t>(m - 7)][c]
                                                : lookup(m);
  if (nothing) return;  // a "." that set the dot flag, a "*" of modes 4 and 5
  if (r == 0 && m == 10) {
    r = lookup(s.savedMode);
    s.mode10 = 0;
    s.mode = s.savedMode;
  } else if (r == 0 && (m == 4 || m == 5)) {
    r = lookup(s.mode);
    s.countdown = 0;
    s.digitPosition = 0;
  }
  if (nothing) return;
  Emit(r != 0 ? r : kUnknownCharacter);
}

void LoadTextInputTables(PrePassTables& tables, EscapeDefinitions& escapes, const TablePaths& paths,
                         std::vector<Note>* notes) {
  TableFault failed, replacements;
  if (LoadPrePassTables(tables, paths, &failed, &replacements) != 0 && notes) {
    notes->push_back(failed.path.empty()
                         ? Note(N_("the text pre-pass tables could not be allocated"))
                         : Note(N_("text pre-pass: code table %s; later tables not loaded"), {failed.Text()}));
  }
  if (!replacements.path.empty() && notes) {
    notes->push_back(
        Note(N_("text pre-pass: replacement table %s; text sequences are not replaced"), {replacements.Text()}));
  }
  std::vector<TableFault> escapeFaults;
  if (LoadEscapeDefinitions(escapes, paths, &escapeFaults) != 0 && notes) {
    for (const TableFault& f : escapeFaults) notes->push_back(Note(N_("text pre-pass: escape definitions %s"), {f.Text()}));
  }
}

int16_t PrepareTextInput(const TablePaths& paths, ByteSource& text, ByteSink& words,
                         std::vector<Note>* notes) {
  PrePassTables tables;
  EscapeDefinitions escapes;
  LoadTextInputTables(tables, escapes, paths, notes);
  int16_t result = 0;
  {
    TextPrePass pass(text, tables, escapes);
    std::vector<uint8_t> buf(kOutBlock);
    for (;;) {
      long n = pass.Read(buf.data(), buf.size());
      if (n < 0) {
        result = -1;
        break;
      }
      if (n == 0) break;
      if (!words.Write(reinterpret_cast<const char*>(buf.data()), static_cast<size_t>(n))) {
        result = -1;
        break;
      }
    }
    if (pass.textRead() == 0) result = -1;
  }
  if (!words.Flush()) result = -1;
  ReleaseEscapeDefinitions(escapes);
  ReleasePrePassTables(tables);
  return result;
}

}  // namespace velkan
