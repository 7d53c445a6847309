#include "conversion/character_output.h"

#include <array>
#include <charconv>
#include <cstring>
#include <string_view>

#include "conversion/conversion.h"
#include "conversion/warning_facts.h"
#include "tables/code_conversion.h"
#include "tables/shift_jis_rule.h"
#include "tables/tables_literals.h"

namespace velkan {

namespace {

enum class Route { kConvert, kCode, kDirect, kSingle, kKumi, kInvalid };

constexpr int16_t kDefaultWidth = 108;
// The most words a run holds.
constexpr size_t kMaxRunLength = 255;

bool In(unsigned v, unsigned low, unsigned high) { return v >= low && v <= high; }

// A combined character's text: its component bytes, perhaps behind a frame
// mark of two bytes.
struct KumiText {
  char bytes[8];
  size_t size = 0;
  void Add(std::string_view s) {
    for (char ch : s) bytes[size++] = ch;
  }
  void Add(uint8_t b) { bytes[size++] = static_cast<char>(b); }
};

// What one character becomes.
struct Plan {
  Route route = Route::kConvert;
  std::string_view type;  // empty, or one of the type texts
  int16_t width = kDefaultWidth;
  uint16_t sjis = 0;      // the Shift-JIS form from the code tables
  uint8_t single = 0;     // the single byte of the single route
  KumiText kumi;
  size_t consumed = 0;    // words after this one taken by a kumi rule
};

// The single byte of a source code's Shift-JIS form, 0 when it has none.
uint8_t SingleOfSource(const CodeTables& codes, uint16_t source) {
  uint16_t s = codes.ShiftJisOf(source);
  return s != 0 ? codes.SingleByteOf(s) : 0;
}


// The class of a roman code written as the single byte `b`.
int16_t RomanClass(uint16_t w, uint8_t b) {
  bool second = w >= 0xC400;
  if (IsDigitLike(b)) return second ? 5 : 3;
  return second ? 4 : 2;
}

// The kumi rules of page 0xC7: a frame mark and digits made from the next one
// or two words of the run. Leaves the plan unchanged when no rule holds or a
// component has no single-byte form.
void ApplyKumiRules(const CodeTables& codes, const uint16_t* next, uint16_t w, uint8_t b1, Plan& plan) {
  uint16_t n1 = next[0];
  uint16_t n2 = n1 != 0 ? next[1] : 0;
  std::string_view frame;
  if (w < 0xC710) {
    if (!In(n1, 0x8034, 0x803D) && !In(n1, 0x96C0, 0x96C5)) return;
  } else if (In(w, 0xC710, 0xC71F)) {
    if (!In(n1, 0xC720, 0xC72F) || !In(n2, 0x96E6, 0x96F5)) return;
    uint8_t b2 = SingleOfSource(codes, n1);
    uint8_t b3 = SingleOfSource(codes, n2);
    if (b2 == 0 || b3 == 0) return;
    plan.kumi.Add(b1);
    plan.kumi.Add(b2);
    plan.kumi.Add(b3);
    plan.route = Route::kKumi;
    plan.consumed = 2;
    return;
  } else if (In(w, 0xC731, 0xC73F) && In(n1, 0x9700, 0x9709)) {
    frame = lit::kKumiWhiteCircle;
  } else if (In(w, 0xC741, 0xC74F) && In(n1, 0x9714, 0x971D)) {
    frame = "P";
  } else if (In(w, 0xC750, 0xC75F) && In(n1, 0x9822, 0x982B)) {
    frame = lit::kKumiBlackCircle;
  } else {
    return;
  }
  uint8_t b2 = SingleOfSource(codes, n1);
  if (b2 == 0) return;
  plan.kumi.Add(frame);
  plan.kumi.Add(b1);
  plan.kumi.Add(b2);
  plan.route = Route::kKumi;
  plan.consumed = 1;
}

// Decides the route of word `w` (run[0]) and sets the character class.
Plan Classify(Conversion& c, const uint16_t* run, int16_t direction, int16_t font, int16_t& charClass) {
  const CodeTables& codes = c.codes;
  uint16_t w = run[0];
  Plan p;
  switch (w & 0xF000) {
    case 0x0000:
      break;
    case 0x1000: case 0x2000: case 0x3000: case 0xD000: case 0xE000: case 0xF000:
      p.route = Route::kInvalid;
      break;
    case 0x4000: case 0x5000: case 0x6000: case 0x7000:
      p.route = Route::kCode;
      break;
    case 0x8000: case 0x9000:
      p.sjis = codes.ShiftJisOf(w);
      if (p.sjis != 0 && (w == 0x95B4 || w == 0x95BE)) {
        p.route = Route::kKumi;
        p.kumi.Add(w == 0x95B4 ? std::string_view(lit::kKumiWhiteCircle) : std::string_view("P"));
        p.kumi.Add("10");
      }
      break;
    case 0xA000:
      p.sjis = codes.ShiftJisOf(w);
      p.type = lit::kTypeRightArrow;
      if ((In(w, 0xA000, 0xA07F) || In(w, 0xA300, 0xA37F)) && p.sjis != 0) {
        p.route = Route::kDirect;
      } else if (In(w, 0xA200, 0xA27F)) {
        p.width = 54;
        p.single = codes.SingleByteOf(p.sjis);
        if (IsDigitLike(p.single)) p.route = Route::kSingle;
      }
      break;
    case 0xB000:
      p.sjis = codes.ShiftJisOf(w);
      p.type = lit::kTypeLeftArrow;
      if (In(w, 0xB000, 0xB07F) && p.sjis != 0) {
        p.route = Route::kDirect;
      } else if (In(w, 0xB200, 0xB27F)) {
        p.width = 54;
        p.single = codes.SingleByteOf(p.sjis);
        if (IsDigitLike(p.single)) p.route = Route::kSingle;
      }
      break;
    default:  // 0xC000
      p.sjis = codes.ShiftJisOf(w);
      if (In(w, 0xC000, 0xC07F)) {
        p.type = lit::kTypeCross;
      } else if (In(w, 0xC100, 0xC17F)) {
        p.type = lit::kTypeCross;
        p.width = 54;
        p.single = codes.SingleByteOf(p.sjis);
        if (p.sjis != 0 && (direction == 0 || w > 0xC10A) && IsDigitLike(p.single)) {
          p.route = Route::kSingle;
          charClass = 7;
        }
      } else if (In(w, 0xC200, 0xC27F)) {
        p.type = lit::kTypeCross;
        p.width = 36;
      } else if (In(w, 0xC300, 0xC37F) || In(w, 0xC400, 0xC47F)) {
        p.type = lit::kTypeRoman;
        p.single = codes.RomanSingleByte(w);
        if (p.single != 0) {
          p.route = Route::kSingle;
          charClass = RomanClass(w, p.single);
        } else {
          charClass = w >= 0xC400 ? 4 : 2;
          int16_t pitch = PitchWidth(c.fonts.pitch, font, w);
          p.width = IsPitchWidth(pitch) ? static_cast<int16_t>(2 * pitch) : static_cast<int16_t>(2 * 54);
        }
      } else if (In(w, 0xC500, 0xC57F) || In(w, 0xC600, 0xC67F)) {
        charClass = 6;
        p.route = p.sjis != 0 ? Route::kDirect : Route::kInvalid;
      } else if (In(w, 0xC700, 0xC7FF)) {
        p.type = lit::kTypeCross;
        p.width = 0;
        uint8_t b1 = codes.SingleByteOf(p.sjis);
        if (p.sjis != 0 && b1 != 0) ApplyKumiRules(codes, run + 1, w, b1, p);
      }
      break;
  }
  return p;
}

// The text of a run, collected and handed to the writer in large pieces.
// Warnings go their own way: the text before one is handed over first.
class RunText {
 public:
  explicit RunText(Conversion& c) : c_(c) {}
  RunText(const RunText&) = delete;
  RunText& operator=(const RunText&) = delete;
  ~RunText() { Flush(); }

  void Add(std::string_view s) {
    if (s.empty()) return;
    if (size_ + s.size() > sizeof buf_) Flush();
    if (s.size() > sizeof buf_) {
      c_.out.WriteText(s);  // too long for the buffer: written as it stands
      return;
    }
    std::memcpy(buf_ + size_, s.data(), s.size());
    size_ += s.size();
  }
  void AddByte(uint8_t b) {
    if (size_ == sizeof buf_) Flush();
    buf_[size_++] = static_cast<char>(b);
  }
  // Room for n bytes (at most the buffer's size) behind the text so far, to
  // be filled and then taken in with Commit.
  char* Reserve(size_t n) {
    if (size_ + n > sizeof buf_) Flush();
    return buf_ + size_;
  }
  void Commit(size_t n) { size_ += n; }
  // Four lower-case hexadecimal digits, as "%04x" writes a 16-bit code.
  void AddHex4(uint16_t v) {
    static constexpr char kDigits[] = "0123456789abcdef";
    char h[4] = {kDigits[v >> 12], kDigits[(v >> 8) & 0xF], kDigits[(v >> 4) & 0xF], kDigits[v & 0xF]};
    Add(std::string_view(h, 4));
  }
  void AddDecimal(int v) {
    char d[12];
    auto r = std::to_chars(d, d + sizeof d, v);
    Add(std::string_view(d, static_cast<size_t>(r.ptr - d)));
  }
  void Flush() {
    if (size_ == 0) return;
    c_.out.WriteText(std::string_view(buf_, size_));
    size_ = 0;
  }
  Conversion& conversion() { return c_; }

 private:
  Conversion& c_;
  char buf_[2048];
  size_t size_ = 0;
};

// The separator written between a character of class `prev` and one of
// class `now` (empty when none is).
constexpr std::string_view Separator(int16_t now, int16_t prev) {
  bool romanOrPi = prev == 4 || prev == 5 || prev == 6;
  switch (now) {
    case 1: if (prev == 6) return "\\/"; break;
    case 2: if (romanOrPi) return "\\/"; break;
    case 3: if (prev != 3) return romanOrPi ? "\\/\\&" : "\\&"; break;
    case 4: if (prev != 4 && prev != 5) return "\\\""; break;
    case 5: if (prev == 4) return "\\&"; if (prev != 5) return "\\\"\\&"; break;
    case 6: if (prev != 6) return "\\!"; break;
    case 7: if (prev == 3 || romanOrPi) return "\\/"; break;
    default: break;
  }
  return {};
}

void WriteSeparators(RunText& out, int16_t now, int16_t prev) { out.Add(Separator(now, prev)); }

// Separator(now, prev) for every pair of classes 0-7, as bytes to copy.
struct SeparatorBytes {
  char bytes[4] = {};
  uint8_t size = 0;
};
constexpr auto kSeparators = [] {
  std::array<std::array<SeparatorBytes, 8>, 8> t{};
  for (int16_t now = 0; now < 8; ++now) {
    for (int16_t prev = 0; prev < 8; ++prev) {
      std::string_view sep = Separator(now, prev);
      SeparatorBytes& e = t[static_cast<size_t>(now)][static_cast<size_t>(prev)];
      for (char ch : sep) e.bytes[e.size++] = ch;
    }
  }
  return t;
}();

// A double-byte code lead byte first. A zero byte (a table code that is no
// double-byte code) is not written.
void AddDoubleByte(RunText& out, uint16_t code) {
  if ((code >> 8) != 0) out.AddByte(static_cast<uint8_t>(code >> 8));
  if ((code & 0xFF) != 0) out.AddByte(static_cast<uint8_t>(code & 0xFF));
}

void AddCodeTag(RunText& out, uint16_t j) {
  out.Add("<ZAN2 code=");
  out.AddHex4(j);
  out.Add(">");
}

void AddTypedTag(RunText& out, const Plan& p, uint16_t j) {
  out.Add("<ZAN2 type=");
  out.Add(p.type);
  out.Add(" code=");
  out.AddHex4(j);
  out.Add(" wid=");
  out.AddDecimal(p.width);
  out.Add(">");
}

void AddKumiTag(RunText& out, const Plan& p) {
  out.Add("<ZAN2 kumi=\"");
  out.Add(std::string_view(p.kumi.bytes, p.kumi.size));
  out.Add("\">");
}

// Notes the character word a warning is about when the warnings are listed.
void NoteCharacter(RunText& out, uint16_t w) {
  if (WarningFacts* facts = out.conversion().out.facts) facts->Character(w);
}

void WarnInvalid(RunText& out, uint16_t w) {
  out.Flush();
  NoteCharacter(out, w);
  out.conversion().out.WriteWarningF<lit::kWarnInvalidCharacter>(w);
}

// The code forms of a converted code J that has no Shift-JIS form, by its
// bytes and the page of the source word W.
void AddCodeForm(RunText& out, const Plan& p, uint16_t w, uint16_t j) {
  unsigned h = j & 0xFF00;
  unsigned l = j & 0xFF;
  unsigned page = w & 0xFF00;
  bool jisCell = In(l, 0x21, 0x7E);
  if (In(h, 0x2100, 0x7E00) && In(l, 0xA1, 0xFE)) {
    AddCodeTag(out, j);
  } else if (In(h, 0xA100, 0xA300) && jisCell) {
    AddCodeTag(out, j);
  } else if ((In(h, 0xA400, 0xB100) && jisCell) || page == 0xC300 || page == 0xC400) {
    AddTypedTag(out, p, j);
  } else if ((In(h, 0xB200, 0xB700) && jisCell) || page == 0xC500 || page == 0xC600) {
    out.Flush();
    NoteCharacter(out, w);
    out.conversion().out.WriteWarningF<lit::kWarnRubyCode>(j);
  } else if (In(page, 0xA000, 0xA300) || page == 0xB000 || page == 0xB200 || In(page, 0xC000, 0xC200)) {
    AddTypedTag(out, p, j);
  } else {
    WarnInvalid(out, w);
  }
}

// Writes the characters from run[i] on that the main-page route converts to
// Shift_JIS characters, up to the first one it does not (or the end of the
// run), whose index it returns. The bytes go into the buffer in pieces of at
// most kMaxRunLength characters, so a longer run cannot write past the room
// reserved for them.
size_t WriteMainPageCharacters(RunText& out, const MainPageRoute& route, const uint16_t* run, size_t i,
                               int16_t& charClass) {
  const uint16_t* q = run + i;
  for (uint16_t t; (t = route.WireShiftJisAt(q)) != 0;) {
    char* const begin = out.Reserve(2 * kMaxRunLength + 4);
    out.Commit(static_cast<size_t>(PutMainPageCharacters(begin, route, q, q + kMaxRunLength, t, charClass) - begin));
  }
  return static_cast<size_t>(q - run);
}

// True when `w` is a code of the main pages that the character output
// converts in the run's font, as the first thing it does with the tables:
// all of them but the two written as combined-character tags.
bool IsRoutedFirst(uint16_t w) { return IsMainPageCode(w) && w != 0x95B4 && w != 0x95BE; }

// The route of `font` for plain characters from `first` on when the route
// last opened is not it (see WritePlainCharacters).
[[gnu::noinline]] MainPageRoute RouteOpenedAgain(Conversion& c, int16_t font, uint16_t first) {
  if (font == c.fonts.lastFont) return OpenMainPageRouteAgain(c.fonts, font);
  // Another font was converted last (a one-shot code's ruby font, most
  // often): the route opens once the font is selected, which the conversion
  // of the first character does next in any case.
  if (IsRoutedFirst(first)) return SelectFontRoute(c.fonts, c.paths, font);
  return MainPageRoute{};
}

}  // namespace

char* PutSeparator(char* d, int16_t now, int16_t prev) {
  const SeparatorBytes& e = kSeparators[static_cast<size_t>(now) & 7][static_cast<size_t>(prev) & 7];
  std::memcpy(d, e.bytes, 4);
  return d + e.size;
}

bool IsDigitLike(uint8_t b) {
  switch (b) {
    case '(': case ')': case ',': case '-': case '.': case '/': case '=': case '_': return true;
    default: return b >= '0' && b <= '9';
  }
}

size_t WritePlainCharacters(Conversion& c, int16_t font, bool& routeOpen) {
  routeOpen = false;
  CharacterState& state = c.chars;
  if (state.oneShotCode != 0) return 0;
  size_t avail = 0;
  const uint8_t* p = c.stream.PeekWords(avail);
  if (avail == 0) return 0;
  // A word of another page (a command, most often) ends the sweep before it
  // begins; the route is not looked at.
  uint16_t first = LoadBigEndian16(p);
  if (!MayBePlainCharacter(first)) {
    routeOpen = true;
    return 0;
  }
  const MainPageRoute route =
      MainPageRouteKept(c.fonts, font) ? MainPageRoute{c.fonts.mainPageWire} : RouteOpenedAgain(c, font, first);
  if (!route.open()) return 0;
  routeOpen = true;
  if (!state.romanBytesMade) {
    // Most often made once with the tables, for every pass that reads them.
    if (const std::array<uint8_t, 256>* made = c.codes.romanBytes()) state.romanBytes = *made;
    else c.codes.FillRomanBytes(state.romanBytes);
    state.romanBytesMade = true;
  }
  // Composed in the room the output lends when it has room for a good many
  // characters, else in a buffer of the stack, and written whenever fewer
  // bytes are left than one character can take.
  // A character takes at most 7 bytes: two behind four of separators and an
  // escape, or a single byte behind both.
  constexpr size_t kMostBytes = 7;
  char local[4096];
  char* base = nullptr;
  char* limit = nullptr;
  auto takeRoom = [&] {
    base = c.out.Room(limit);
    if (base == nullptr || static_cast<size_t>(limit - base) < 64 * kMostBytes) {
      base = local;
      limit = local + sizeof local;
    }
  };
  auto put = [&](char* to) {
    if (base == local) {
      c.out.WriteText(std::string_view(local, static_cast<size_t>(to - local)));
    } else {
      c.out.Wrote(to);
    }
  };
  takeRoom();
  char* d = base;
  int16_t charClass = state.charClass;
  const uint8_t* q = p;
  const uint8_t* const end = p + 2 * avail;
  while (q < end) {
    // As many words as surely fit in the room left.
    size_t fit = static_cast<size_t>(limit - d) / kMostBytes;
    const uint8_t* stop = static_cast<size_t>(end - q) / 2 > fit ? q + 2 * fit : end;
    while (q < stop) {
      if (uint16_t t = route.WireShiftJisAt(q)) {
        d = PutMainPageCharacters(d, route, q, stop, t, charClass);
        if (q == stop) break;
        // The word at q is none the route converts: perhaps a roman one.
      }
      uint16_t w = LoadBigEndian16(q);
      // Pages 0xC3 and 0xC4, cells below 0x80.
      unsigned k = w - 0xC300u;
      if (k >= 0x200 || (k & 0x80) != 0) break;
      uint8_t b = state.romanBytes[((k >> 1) & 0x80) | (k & 0x7F)];
      if (b == 0) break;
      int16_t now = RomanClass(w, b);
      d = PutSeparator(d, now, charClass);
      if (b == '<' || b == '>' || b == '\\') *d++ = '\\';
      *d++ = static_cast<char>(b);
      charClass = now;
      q += 2;
    }
    if (q < stop) break;  // a word that is no plain character
    if (q < end) {
      put(d);
      takeRoom();
      d = base;
    }
  }
  if (d != base) put(d);
  size_t n = static_cast<size_t>(q - p) / 2;
  state.charClass = charClass;
  c.stream.TakeWords(n);
  return n;
}

void WriteCharacterRun(Conversion& c, const uint16_t* run, int16_t direction, int16_t font) {
  CharacterState& state = c.chars;
  RunText out(c);
  // Most characters are codes of the main pages converted through the code
  // tables of the run's font: they take the route opened here, which only
  // the conversions of other characters (another font, the store changed)
  // can close.
  MainPageRoute route = OpenMainPageRoute(c.fonts, font);
  for (size_t i = 0; run[i] != 0; ++i) {
    if (route.open() && state.oneShotCode == 0) {
      i = WriteMainPageCharacters(out, route, run, i, state.charClass);
      if (run[i] == 0) break;
    }
    uint16_t w = run[i];
    int16_t prev = state.charClass;
    state.charClass = 1;
    if (state.oneShotCode != 0) {
      state.oneShotCode = 0;
      WriteSeparators(out, 1, prev);
      int16_t rubyFont = static_cast<int16_t>(static_cast<uint16_t>(font) + 800);
      AddCodeTag(out, ConvertCode(c.fonts, c.paths, rubyFont, w));
      // The route is closed: another font was converted last. A character
      // of the main pages next is converted in the font in any case, which
      // selects it: that is done now, and the route opened for it.
      route = IsRoutedFirst(run[i + 1]) ? SelectFontRoute(c.fonts, c.paths, font) : MainPageRoute{};
      continue;
    }
    Plan p = Classify(c, run + i, direction, font, state.charClass);
    WriteSeparators(out, state.charClass, prev);
    switch (p.route) {
      case Route::kConvert: {
        uint16_t j = ConvertCode(c.fonts, c.paths, font, w);
        if (uint16_t t = JisToShiftJis(j)) {
          AddDoubleByte(out, t);
        } else {
          AddCodeForm(out, p, w, j);
        }
        break;
      }
      case Route::kCode:
        AddCodeForm(out, p, w, w);
        break;
      case Route::kDirect:
        AddDoubleByte(out, p.sjis);
        break;
      case Route::kSingle:
        if (p.single == '<' || p.single == '>' || p.single == '\\') out.AddByte('\\');
        out.AddByte(p.single);
        break;
      case Route::kKumi:
        AddKumiTag(out, p);
        break;
      case Route::kInvalid:
        WarnInvalid(out, w);
        break;
    }
    i += p.consumed;
    // Only a conversion can have moved the tables on (another overlay).
    if (p.route == Route::kConvert) route = OpenMainPageRoute(c.fonts, font);
  }
}

}  // namespace velkan
