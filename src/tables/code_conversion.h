// Font-dependent code conversion: the JIS X 0208 code (or extended code of
// the target system) a source code has in a given font.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

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

// What ConvertCode does first: selects the overlay of a font other than the
// font converted last and classifies the font (its kind then stays for the
// next font that has none of its own). Doing it again for the same font
// changes nothing, so it may run ahead of the conversion: the main-page
// route of a font opens once it has run.
void SelectFont(FontTables& tables, const TablePaths& paths, int16_t font);

// True when fonts of the class `fc` convert the main pages through the code
// tables, which the main-page route below does (not the roman, ruby or
// external-character routes).
constexpr bool TakesMainPageRoute(FontClass fc) {
  return fc.kind != kRomanKind && fc.kind != 6 && fc.variant != kRubyVariant;
}

// A 16-bit value as the host reads its two bytes stored high byte first (as
// the words of the code stream and the Shift_JIS characters of the output
// are) with one load; the same function turns it back.
constexpr uint16_t WireOrder(uint16_t v) {
  if constexpr (std::endian::native == std::endian::little) return static_cast<uint16_t>(v >> 8 | v << 8);
  return v;
}

// A shortcut for the bulk of the characters: codes of the main pages
// 0x8000-0x9FFF converted through the code tables in the font converted
// last. Opened for a run of characters in one font; it gives exactly the
// Shift_JIS character that ConvertCode and the Shift_JIS rule would give,
// without their checks per code.
struct MainPageRoute {
  // The Shift_JIS form of every code, both in wire order (see WireOrder): 0
  // for the codes outside 0x8000-0x9FFF and those the route leaves to
  // ConvertCode; nullptr while the route is closed.
  const uint16_t* wire = nullptr;
  bool open() const { return wire != nullptr; }
  // The Shift_JIS character of `code` in wire order, ready to be copied to
  // the output as two bytes, lead byte first; 0 when the route does not give
  // it.
  uint16_t WireShiftJisOf(uint16_t code) const { return wire[WireOrder(code)]; }
  // The same for the code whose two bytes, high byte first, are at `p`.
  uint16_t WireShiftJisAt(const uint8_t* p) const {
    uint16_t code;
    std::memcpy(&code, p, 2);
    return wire[code];
  }
  // The same for the code at `w`.
  uint16_t WireShiftJisAt(const uint16_t* w) const { return WireShiftJisOf(*w); }
};

// Opens the route when the last ConvertCode or SelectFont call was in
// `font` (so no overlay is to be selected and the font's class is known),
// the font is not 0 and its class takes the code tables (not the roman,
// ruby or external-character routes), and the store holds its tables; else
// a closed route. Derives the Shift_JIS forms again where the store's
// main-page tables changed since they were last derived (all of them when
// the store did not keep which cells changed). A ConvertCode or SelectFont
// call in another font, and any change of the store, closes the route: open
// it again after such a call. The route last opened is kept, so opening it
// again for the same font costs two comparisons; OpenMainPageRouteAgain
// always looks at the tables.
MainPageRoute OpenMainPageRouteAgain(FontTables& tables, int16_t font);
// Derives the main-page route's table of the store's tables as they stand
// into a table that passes started from these font tables share (see
// ShareFontTables), so that none of them derives it again. Nothing when the
// store holds no tables.
void DeriveSharedMainPageRoute(FontTables& tables);

// True when the route last opened is the one of `font` and still up to
// date: OpenMainPageRoute then opens it at once.
inline bool MainPageRouteKept(const FontTables& tables, int16_t font) {
  return font != 0 && font == tables.routeFont && tables.routeVersion == tables.store.version();
}

inline MainPageRoute OpenMainPageRoute(FontTables& tables, int16_t font) {
  if (MainPageRouteKept(tables, font)) return MainPageRoute{tables.mainPageWire};
  return OpenMainPageRouteAgain(tables, font);
}

// SelectFont, then OpenMainPageRoute: the route of `font` with the font
// selected. A font that SelectFont kept (see FontTables::keptFonts), whose
// overlay is the one applied and whose class takes the route, while the
// route's table is up to date, is selected and its route opened without a
// call, as the two would leave them.
inline MainPageRoute SelectFontRoute(FontTables& tables, const TablePaths& paths, int16_t font) {
  const FontTables::KeptFont& kept = tables.KeptFontSlot(font);
  if (kept.font == font && kept.routes && kept.maps == tables.store.mapsVersion() &&
      (kept.noOverlay || kept.overlay == tables.appliedOverlay) && tables.wireVersion == tables.store.version())
      [[likely]] {
    tables.lastFont = font;
    tables.fontClass = kept.fontClass;
    tables.classifiedFont = font;
    tables.classified = true;
    tables.fontKind = kept.fontClass.kind;
    tables.routeFont = font;
    tables.routeVersion = tables.wireVersion;
    return MainPageRoute{tables.mainPageWire};
  }
  SelectFont(tables, paths, font);
  return OpenMainPageRoute(tables, font);
}

}  // namespace velkan
