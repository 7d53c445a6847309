// Font-dependent code conversion: the JIS X 0208 code (or extended code of
// the target system) a source code has in a given font.
#pragma once

#include <cstdint>

#include "tables/font_tables.h"
#include "tables/table_root.h"

namespace velkan {

inline constexpr int16_t kRomanKind = 4;
inline constexpr int16_t kRubyVariant = 51;

// Classifies a font number. A number outside every class keeps
// `previousKind` and has variant 0. Ruby fonts 801-839 classify as the font
// 800 below them with variant 51.
FontClass ClassifyFont(int16_t font, int16_t previousKind);

// The range type of a code from the fixed ranges: 'a' to 'f', or 0 when the
// code lies in none of them.
char FixedRangeType(uint16_t code);

// The code a source code has in a font:
// - font 0: PiTable entry 2 * code + 1 (0 for codes of 2048 and over);
// - roman fonts: roman table A or B (plus 0x2000 for variants 2 and 3 of a
//   group of four), 0x222E outside 0x?300-0x?37F;
// - ruby fonts: RubyTable; the code unchanged when "convura.tbl" is missing;
// - other fonts: the external-character rows (fonts 221-224), the row
//   formulas of fonts 901-939, or the code table of the code's top four bits.
// The result of the non-roman routes is shifted by +-0x2000 as the font kind
// and the code's range type say; 0x2000 becomes 0x222E. Before converting,
// the overlay of a font other than the previous one is selected.
uint16_t ConvertCode(FontTables& tables, const TablePaths& paths, int16_t font, uint16_t code);

// A shortcut for the bulk of the characters: codes of the main pages
// 0x8000-0x9FFF converted through the code tables in the font converted
// last. Opened for a run of characters in one font; it gives exactly what
// ConvertCode would, without its checks per code.
struct MainPageRoute {
  // Code tables 8 and 9, by bit 12 of a code; both nullptr while the route
  // is closed.
  const uint16_t* tables[2] = {nullptr, nullptr};
  // What a table code of range type 'a' is shifted by in this font's kind.
  uint16_t shiftA = 0;
  // Kinds 2 and 3 take the row formulas for 0x9860-0x987C.
  bool rowFormulas = false;
  bool open() const { return tables[0] != nullptr; }
};

// Opens the route when the last ConvertCode call was in `font` (so no
// overlay is to be selected and the font's class is known), the font is not
// 0 and its class takes the code tables (not the roman, ruby or external-
// character routes), and the store holds its tables; else a closed route.
// Any later ConvertCode call in another font, and any change of the store,
// closes the route: open it again after such a call.
MainPageRoute OpenMainPageRoute(const FontTables& tables, int16_t font);

// The converted code of `code` through an open route, as ConvertCode gives
// it; kNotOnRoute for codes the route does not cover: outside the main
// pages, the codes with a fixed range type (0x9654-0x97FC) and, in kinds 2
// and 3, the codes of the row formulas.
inline constexpr uint32_t kNotOnRoute = 0x10000;
inline uint32_t ConvertByMainPageRoute(const MainPageRoute& r, uint16_t code) {
  if ((code >> 13) != 4 || (code >= 0x9654 && code <= 0x97FC)) return kNotOnRoute;
  if (r.rowFormulas && code >= 0x9860 && code <= 0x987C) return kNotOnRoute;
  uint16_t j = r.tables[(code >> 12) & 1][code & 0xFFF];
  // Range type 'a' from the table code itself: high byte 0xA1-0xC0 with a
  // low byte 0x21-0x7E.
  unsigned hi = j >> 8, lo = j & 0xFF;
  if (hi - 0xA1u <= 0xC0u - 0xA1u && lo - 0x21u <= 0x7Eu - 0x21u) j = static_cast<uint16_t>(j + r.shiftA);
  return j == 0x2000 ? kGetaMark : j;
}

}  // namespace velkan
