#include "tables/code_conversion.h"

#include <memory>

#include "tables/shift_jis_rule.h"

namespace velkan {

namespace {

struct RangeRow {
  uint16_t low;
  uint16_t high;
  char type;
};

constexpr RangeRow kRangeRows[] = {
    {0x9654, 0x9654, 'a'}, {0x9660, 0x9660, 'a'}, {0x9670, 0x9671, 'a'}, {0x96A4, 0x96A4, 'a'},
    {0x96AE, 0x96AE, 'd'}, {0x96AF, 0x96AF, 'e'}, {0x96B0, 0x96B0, 'd'}, {0x96B1, 0x96B5, 'e'},
    {0x96B6, 0x96B6, 'f'}, {0x9789, 0x9792, 'a'}, {0x97A9, 0x97FC, 'a'}, {0xA000, 0xA07F, 'c'},
    {0xA100, 0xA17F, 'b'}, {0xA200, 0xA27F, 'b'}, {0xA300, 0xA37F, 'a'}, {0xB000, 0xB07F, 'a'},
    {0xB100, 0xB17F, 'a'}, {0xB200, 0xB27F, 'a'}, {0xC000, 0xC07F, 'a'}, {0xC100, 0xC17F, 'a'},
    {0xC200, 0xC27F, 'a'}, {0xC300, 0xC37F, 'a'}, {0xC400, 0xC47F, 'a'}, {0xC500, 0xC57F, 'a'},
    {0xC600, 0xC67F, 'a'},
};

// Shift by font kind (rows 0-8) and range type (columns a-f), in units of
// 0x2000. Kinds 4 and 5 never reach the shift.
constexpr int8_t kShift[9][6] = {
    {0, 0, 0, 1, 1, 0},     // 0
    {1, 1, 1, 0, 0, -1},    // 1
    {1, 1, 1, 0, 0, 0},     // 2
    {0, 0, 0, 1, 0, 0},     // 3
    {0, 0, 0, 0, 0, 0},     // 4
    {0, 0, 0, 0, 0, 0},     // 5
    {0, 1, 1, 0, 0, -1},    // 6
    {0, 1, 1, 0, 0, -1},    // 7
    {0, 1, 1, 0, 0, -1},    // 8
};

bool In(int v, int low, int high) { return v >= low && v <= high; }

int16_t Parity(int font, int16_t odd, int16_t even) { return font % 2 != 0 ? odd : even; }

uint16_t Wrap(int v) { return static_cast<uint16_t>(v & 0xFFFF); }

// The table route: external-character rows, the row formulas of fonts
// 901-939, or the code table of the code's top four bits.
uint16_t TableRoute(const ConversionStore& store, int font, int16_t kind, uint16_t code) {
  if (kind == 6) {
    if (!In(code, 0x9C00, 0x9FFF)) return 0;
    int base;
    switch (font) {
      case 221: base = 0x2121; break;
      case 222: base = 0x3021; break;
      case 223: base = 0x5021; break;
      case 224: base = 0x21A1; break;
      default: return 0;  // a kind kept from an external-character font
    }
    int n = code - 0x9C00;
    return Wrap((((base >> 8) + n / 94) << 8) + (base & 0xFF) + n % 94);
  }
  if ((kind == 2 || kind == 3) && (In(code, 0x9860, 0x986C) || In(code, 0x9870, 0x987C))) {
    if (!In(font, 901, 939)) return 0;
    int base = font % 2 != 0 ? 0x7DA1 : 0x7EA1;
    return Wrap(code <= 0x986C ? base + (code - 0x9860) : base + 13 + (code - 0x9870));
  }
  return store.Read(code >> 12, code & 0xFFF);
}

char RangeType(const ConversionStore& store, int font, int16_t kind, uint16_t code) {
  if (char t = FixedRangeType(code)) return t;
  uint16_t j = TableRoute(store, font, kind, code);
  return In(j >> 8, 0xA1, 0xC0) && In(j & 0xFF, 0x21, 0x7E) ? 'a' : 0;
}

}  // namespace

namespace {

// The class of a font number in one of the classes; false, leaving `fc`,
// for a number outside every class.
bool OwnFontClass(int16_t font, FontClass& fc) {
  auto is = [&fc](FontClass c) {
    fc = c;
    return true;
  };
  int f = font;
  if (In(f, 801, 839)) return is({Parity(f - 800, 0, 1), kRubyVariant});
  if (In(f, 1, 39) || In(f, 301, 400)) return is({Parity(f, 0, 1), 0});
  if (In(f, 401, 600)) return is({0, 0});
  if (In(f, 601, 800)) return is({Parity(f, 7, 8), 0});
  if (In(f, 901, 939)) return is({Parity(f, 2, 3), 0});
  if (In(f, 1301, 1400)) return is({Parity(f, 2, 3), 22});
  if (In(f, 1601, 1800)) return is({Parity(f, 7, 8), 23});
  if (In(f, 227, 300)) return is({kRomanKind, static_cast<int16_t>(41 + (f - 227) % 4)});
  if (In(f, 851, 900)) return is({kRomanKind, static_cast<int16_t>(45 + (f - 851) % 4)});
  if (In(f, 1227, 1300)) return is({kRomanKind, static_cast<int16_t>(49 + (f - 1227) % 4)});
  if (In(f, 1851, 1900)) return is({kRomanKind, static_cast<int16_t>(53 + (f - 1851) % 4)});
  if (In(f, 221, 224)) return is({6, 0});
  if (In(f, 40, 200) || In(f, 840, 850) || In(f, 940, 979)) return is({0, 0});
  return false;
}

}  // namespace

FontClass ClassifyFont(int16_t font, int16_t previousKind) {
  FontClass fc;
  return OwnFontClass(font, fc) ? fc : FontClass{previousKind, 0};
}

char FixedRangeType(uint16_t code) {
  // Most codes lie outside every row; the rows of pages 0xA0-0xC6 each cover
  // the low halves 0x00-0x7F of their page.
  if (code < 0x9654 || code > 0xC67F) return 0;
  if (code >= 0xA000) {
    if ((code & 0xFF) > 0x7F) return 0;
    switch (code >> 8) {
      case 0xA0: return 'c';
      case 0xA1: case 0xA2: return 'b';
      case 0xA3: case 0xB0: case 0xB1: case 0xB2:
      case 0xC0: case 0xC1: case 0xC2: case 0xC3: case 0xC4: case 0xC5: case 0xC6: return 'a';
      default: return 0;
    }
  }
  for (const RangeRow& r : kRangeRows) {
    if (code >= r.low && code <= r.high) return r.type;
  }
  return 0;
}

namespace {

// The Shift_JIS form the main-page route gives `code` (0x8000-0x9FFF): 0 for
// the codes left to ConvertCode, which are those with a fixed range type,
// the row formulas of fonts 901-939, the combined numbers, and the table
// codes of range type 'a' (0xA1xx-0xC0xx with a cell 0x21-0x7E), which have
// no Shift_JIS form, shifted or not.
uint16_t MainPageSjis(const uint16_t* t8, const uint16_t* t9, unsigned code) {
  if (In(code, 0x9654, 0x97FC) || In(code, 0x9860, 0x987C) || code == 0x95B4 || code == 0x95BE) return 0;
  uint16_t j = (code < 0x9000 ? t8 : t9)[code & 0xFFF];
  if (In(j >> 8, 0xA1, 0xC0) && In(j & 0xFF, 0x21, 0x7E)) return 0;
  return JisToShiftJis(j == 0x2000 ? kGetaMark : j);
}

// Derives the route's cell of main-page code 0x8000 + k.
void DeriveCell(std::vector<uint16_t>& wire, const uint16_t* t8, const uint16_t* t9, unsigned k) {
  uint16_t code = static_cast<uint16_t>(0x8000 + k);
  wire[WireOrder(code)] = WireOrder(MainPageSjis(t8, t9, code));
}

// Derives the route's whole table (0 beyond the main pages).
void DeriveAll(std::vector<uint16_t>& wire, const uint16_t* t8, const uint16_t* t9) {
  if (wire.size() != 0x10000) wire.assign(0x10000, 0);
  for (unsigned k = 0; k < 0x2000; ++k) DeriveCell(wire, t8, t9, k);
}

// Puts in use a table derived before for `state`, when one is kept: false
// when none is.
bool UseDerived(FontTables& t, int32_t state) {
  if (state == kUnknownContent) return false;
  if (t.sharedWire && t.sharedWireState == state) {
    t.mainPageWire = t.sharedWire->data();
    t.wireInUse = -1;
    return true;
  }
  for (size_t i = 0; i < t.ownWires.size(); ++i) {
    if (t.ownWires[i].state != state) continue;
    t.mainPageWire = t.ownWires[i].wire.data();
    t.wireInUse = static_cast<int>(i);
    return true;
  }
  return false;
}

// Makes `own` what the table in use holds. When both are the shared table
// but for cells they note (see FontTables::DerivedWire), only those cells
// are put back: own's from the shared table, then the table in use's from
// it; else the table is copied whole.
void CopyWire(FontTables& t, FontTables::DerivedWire& own) {
  const uint16_t* from = t.mainPageWire;
  const std::shared_ptr<const std::vector<uint16_t>>& shared = t.sharedWire;
  const FontTables::DerivedWire* source = t.wireInUse >= 0 ? &t.ownWires[static_cast<size_t>(t.wireInUse)] : nullptr;
  const bool fromShared = shared && (source ? source->copiedFrom == shared : from == shared->data());
  if (fromShared && own.copiedFrom == shared && own.wire.size() == 0x10000) {
    auto copy = [&own](const uint16_t* words, const std::vector<uint16_t>& cells) {
      for (uint16_t k : cells) {
        const uint16_t w = WireOrder(static_cast<uint16_t>(0x8000 + k));
        own.wire[w] = words[w];
      }
    };
    copy(shared->data(), own.copiedCells);
    own.copiedCells.clear();
    if (source) {
      copy(from, source->copiedCells);
      own.copiedCells = source->copiedCells;
    }
    return;
  }
  own.wire.assign(from, from + 0x10000);
  own.copiedFrom = fromShared ? shared : nullptr;
  own.copiedCells.clear();
  if (fromShared && source) own.copiedCells = source->copiedCells;
}

// Notes in `own` the cells of the main pages about to be derived into it
// (all of them when `cells` is null).
void NoteDerived(FontTables::DerivedWire& own, const uint16_t* cells, int count) {
  if (!own.copiedFrom) return;
  if (cells == nullptr || own.copiedCells.size() + static_cast<size_t>(count) > FontTables::kCopiedCellsKept) {
    own.copiedFrom = nullptr;
    own.copiedCells.clear();
    return;
  }
  own.copiedCells.insert(own.copiedCells.end(), cells, cells + count);
}

// The own table to bring up to date from the table in use, now put in use:
// the table in use when it is this pass's own and derived for no content
// that is still kept, or no other may be kept beside it; else a free or new
// one, filled with the table in use unless `whole` (all of it is derived
// anew).
FontTables::DerivedWire& WireToDerive(FontTables& t, bool whole) {
  int use = t.wireInUse;
  if (use < 0 || t.ownWires[static_cast<size_t>(use)].state != kUnknownContent) {
    int other = -1;
    for (size_t i = 0; i < t.ownWires.size() && other < 0; ++i) {
      if (static_cast<int>(i) != use && t.ownWires[i].state == kUnknownContent) other = static_cast<int>(i);
    }
    if (other < 0 && t.ownWires.size() < FontTables::kDerivedWires) {
      t.ownWires.emplace_back();
      other = static_cast<int>(t.ownWires.size()) - 1;
    }
    // All kept: the shared table in use is copied over the first.
    if (other < 0) other = use < 0 ? 0 : use;
    if (other != use && !whole && t.mainPageWire != nullptr) CopyWire(t, t.ownWires[static_cast<size_t>(other)]);
    use = other;
  }
  t.wireInUse = use;
  return t.ownWires[static_cast<size_t>(use)];
}

}  // namespace

MainPageRoute OpenMainPageRouteAgain(FontTables& tables, int16_t font) {
  MainPageRoute r;
  tables.routeFont = 0;
  if (font == 0 || font != tables.lastFont || !tables.classified || font != tables.classifiedFont) return r;
  if (!TakesMainPageRoute(tables.fontClass)) return r;
  ConversionStore& store = tables.store;
  // Nothing in the store changed since the table was last brought up to
  // date (a change of font within one overlay).
  if (tables.wireVersion == store.version()) {
    r.wire = tables.mainPageWire;
    tables.routeFont = font;
    tables.routeVersion = tables.wireVersion;
    return r;
  }
  const uint16_t* t8 = store.Table(8);
  const uint16_t* t9 = store.Table(9);
  if (t8 == nullptr || t9 == nullptr) return r;
  // Fonts whose overlays differ take turns often, a character or two each:
  // the table derived for an overlay (or the base) is kept and used again
  // when the tables hold that overlay once more; else only the cells the
  // overlays wrote or undid since the table in use was brought up to date
  // are derived again.
  const int32_t state = store.version() == tables.contentVersion ? tables.contentState : kUnknownContent;
  if (!UseDerived(tables, state)) {
    const bool whole = tables.mainPageWire == nullptr || store.mainPagesAllChanged();
    if (whole || store.mainPageCellCount() > 0) {
      FontTables::DerivedWire& own = WireToDerive(tables, whole);
      std::vector<uint16_t>& wire = own.wire;
      if (whole) {
        NoteDerived(own, nullptr, 0);
        DeriveAll(wire, t8, t9);
      } else {
        const uint16_t* cells = store.mainPageCells();
        NoteDerived(own, cells, store.mainPageCellCount());
        for (int i = 0, n = store.mainPageCellCount(); i < n; ++i) DeriveCell(wire, t8, t9, cells[i]);
      }
      own.state = state;
      tables.mainPageWire = wire.data();
    }
  }
  store.ForgetMainPageChanges();
  r.wire = tables.mainPageWire;
  tables.routeFont = font;
  tables.routeVersion = store.version();
  tables.wireVersion = tables.routeVersion;
  return r;
}

void DeriveSharedMainPageRoute(FontTables& tables) {
  ConversionStore& store = tables.store;
  const uint16_t* t8 = store.Table(8);
  const uint16_t* t9 = store.Table(9);
  if (t8 == nullptr || t9 == nullptr) return;
  auto wire = std::make_shared<std::vector<uint16_t>>();
  DeriveAll(*wire, t8, t9);
  store.ForgetMainPageChanges();
  tables.ownWires = {};
  tables.wireInUse = -1;
  tables.sharedWire = std::move(wire);
  tables.sharedWireState = kBaseContent;
  tables.contentState = kBaseContent;
  tables.contentVersion = store.version();
  tables.mainPageWire = tables.sharedWire->data();
  tables.routeFont = 0;
  tables.wireVersion = FontTables::kNoWireVersion;
}

void SelectFont(FontTables& tables, const TablePaths& paths, int16_t font) {
  FontTables::KeptFont& kept = tables.KeptFontSlot(font);
  const bool known = font != 0 && kept.font == font && kept.maps == tables.store.mapsVersion();
  if (font != tables.lastFont && font != 0) {
    if (!known || (!kept.noOverlay && kept.overlay != tables.appliedOverlay)) SelectOverlay(tables, paths, font);
    tables.lastFont = font;
    tables.routeFont = 0;
  }
  // A font classifies the same way again right after itself, whatever kind
  // it keeps.
  if (font != tables.classifiedFont || !tables.classified) {
    tables.fontClass = known ? kept.fontClass : ClassifyFont(font, tables.fontKind);
    tables.classifiedFont = font;
    tables.classified = true;
    tables.routeFont = 0;
  }
  tables.fontKind = tables.fontClass.kind;
  FontClass own;
  if (!known && font != 0 && OwnFontClass(font, own)) {
    kept.font = font;
    kept.maps = tables.store.mapsVersion();
    kept.overlay = 0;
    kept.noOverlay = !OverlayOfFont(tables.store, font, kept.overlay);
    kept.fontClass = own;
    kept.routes = TakesMainPageRoute(own);
  }
}

uint16_t ConvertCode(FontTables& tables, const TablePaths& paths, int16_t font, uint16_t code) {
  SelectFont(tables, paths, font);
  const FontClass fc = tables.fontClass;
  const ConversionStore& store = tables.store;
  if (font == 0) return store.Read(kPiTable, 2 * code + 1);

  bool ruby = fc.kind != kRomanKind && fc.variant == kRubyVariant;
  int f = ruby ? font - 800 : font;
  char type = RangeType(store, f, fc.kind, code);
  uint16_t result;
  if (fc.kind == kRomanKind) {
    int i = code & 0xFFF;
    if (!In(i, 0x300, 0x37F)) return kGetaMark;
    int m = ((fc.variant - 41) % 4 + 4) % 4;
    result = store.Read(m % 2 == 0 ? kRomanTableA : kRomanTableB, i);
    if (m >= 2) result = Wrap(result + 0x2000);
  } else {
    if (ruby) {
      result = code;
      if (RubyConvert(tables, paths, result) != 0) return code;
    } else {
      result = TableRoute(store, f, fc.kind, code);
    }
    if (type != 0 && fc.kind >= 0 && fc.kind <= 8) {
      result = Wrap(result + kShift[fc.kind][type - 'a'] * 0x2000);
    }
  }
  return result == 0x2000 ? kGetaMark : result;
}

}  // namespace velkan
