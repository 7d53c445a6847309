#include "engine/command_names.h"

#include <array>

namespace velkan {

namespace {

// One line per named command word. Mode words (those that follow a permit
// or forbid) are named after their mode.
constexpr std::array<std::string_view, 256> BuildNames() {
  std::array<std::string_view, 256> n{};
  n[0x00] = "filler";
  n[0x01] = "line-end-rt";          // line end, <G jst=RT>
  n[0x02] = "space";                // <sp>
  n[0x03] = "group";                // opens a parameter group
  n[0x04] = "group-end";            // closes it
  n[0x05] = "line-end-qc";          // line end, <G jst=QC>
  n[0x06] = "th";
  n[0x07] = "en";
  n[0x08] = "em";
  n[0x09] = "line-end";
  n[0x0A] = "bell";                 // the next word is a sub-command
  n[0x0B] = "line-end-qr";          // line end, <G jst=QR>
  n[0x0C] = "permit";               // switches on the mode of the next word
  n[0x0D] = "forbid";               // switches it off
  n[0x0E] = "letter-space-add";
  n[0x0F] = "ragged-b";
  n[0x10] = "tsume-loosen";
  n[0x11] = "letter-space-sub";
  n[0x12] = "ragged-c";
  n[0x13] = "hyphenation";
  n[0x14] = "tsume-tighten";
  n[0x15] = "letter-spacing";
  n[0x18] = "print-cancel";
  n[0x19] = "ragged";
  n[0x1C] = "line-end-1c";
  n[0x1D] = "nop-1d";
  n[0x1E] = "fill-rule";
  n[0x1F] = "ruby-close";
  n[0x20] = "end-of-text";
  n[0x21] = "mode-21";
  n[0x22] = "nop-22";
  n[0x23] = "end-of-text-23";
  n[0x24] = "h-tab";
  n[0x25] = "v-tab-start";
  n[0x26] = "v-tab-middle";
  n[0x27] = "v-tab-end";
  n[0x28] = "page-number-0";
  n[0x29] = "zero-line";
  n[0x2A] = "shift-up";
  n[0x2B] = "shift-down";
  n[0x2C] = "define-format";
  n[0x2D] = "font";
  n[0x2E] = "size-base";
  n[0x2F] = "indent";
  n[0x30] = "indent-reset";
  n[0x31] = "indent-hanging";
  n[0x32] = "indent-start";
  n[0x33] = "position-indent";
  n[0x34] = "left";                 // selector of an indent
  n[0x35] = "right";                // selector of an indent
  n[0x36] = "baseline-jump";
  n[0x37] = "page-number-values";
  n[0x38] = "line-spacing";
  n[0x39] = "measure";
  n[0x3A] = "measure-mm";
  n[0x3B] = "indexed-length";
  n[0x3C] = "length-format";
  n[0x3D] = "raw-tag";
  n[0x3E] = "count-format";
  n[0x3F] = "call-format";
  n[0x40] = "line-start-position";
  n[0x41] = "width";
  n[0x43] = "national-hyphen";
  n[0x46] = "suffix";
  n[0x47] = "index";
  n[0x48] = "didx";
  n[0x49] = "european-fraction";
  n[0x4A] = "accent-lower";
  n[0x4B] = "accent-upper";
  n[0x4C] = "word-space";
  n[0x4D] = "hyphen";
  n[0x4E] = "tk";
  n[0x4F] = "mi";
  n[0x50] = "skip-region";
  n[0x51] = "size-top";
  n[0x52] = "size-centre";
  n[0x53] = "size-bottom";
  n[0x54] = "ignored-54";
  n[0x55] = "ignored-55";
  n[0x56] = "end-of-job";
  n[0x57] = "skipped-57";
  n[0x58] = "group-ruby";
  n[0x59] = "warichu";
  n[0x5A] = "tayo-size";
  n[0x5B] = "pi";
  n[0x5C] = "just-mode";
  n[0x5D] = "s4";
  n[0x5E] = "measure-chars";
  n[0x60] = "no-break-dm";
  n[0x61] = "tayo";
  n[0x62] = "mode-62";
  n[0x64] = "warichu-settings";
  n[0x65] = "top-align";
  n[0x66] = "half-width-in-line";
  n[0x67] = "roman-quarter-space";
  n[0x68] = "roman-auto-indent";
  n[0x69] = "ruby-align-vertical";
  n[0x6A] = "ruby-align-horizontal";
  n[0x6B] = "push-in";
  n[0x6C] = "hang-out";
  n[0x6D] = "dm";
  n[0x6E] = "ruby-rd";
  n[0x6F] = "ruby-below";
  n[0x70] = "centering";
  n[0x71] = "play-count";
  n[0x72] = "underline";
  n[0x73] = "underline-settings";
  n[0x74] = "ignored-length";
  n[0x75] = "output-switch";
  n[0x76] = "ignored-integer";
  n[0x77] = "heading-push-out";
  n[0x78] = "no-break";
  n[0x79] = "indent-ignore";
  n[0x7A] = "origin-set";
  n[0x7B] = "origin-return";
  n[0x7C] = "group-ruby-b";
  n[0x7D] = "small-kana-kinsoku";
  n[0x7E] = "manual-ruby";
  n[0x7F] = "ruby-rd2";
  n[0x80] = "ruby-rd4";
  n[0x81] = "ruby-rb2";
  n[0x82] = "ruby-rb4";
  n[0x83] = "column-top-align";
  n[0x84] = "colour";
  n[0x88] = "coordinate-rule-88";
  n[0x8A] = "coordinate-rule-8a";
  n[0x8B] = "coordinate-rule-8b";
  n[0x8C] = "ignored-8c";
  n[0x8D] = "fraction";
  n[0x8E] = "page-number-1";
  n[0x8F] = "vh-rule";
  n[0x91] = "vh-rule-91";
  n[0x92] = "page-number-2";
  n[0x93] = "one-shot-code";
  n[0x94] = "no-split";
  n[0x95] = "half-digits-roman";
  n[0x96] = "indent-chars";
  n[0x97] = "indent-hanging-chars";
  n[0x98] = "indent-start-chars";
  n[0x99] = "grouped-sizes";
  n[0x9A] = "grouped";
  n[0x9B] = "rule-settings";
  n[0x9C] = "enclosure";
  n[0x9D] = "origin-set-n";
  n[0x9E] = "origin-n";
  n[0xA0] = "box-settings";
  n[0xA1] = "d2";
  n[0xA2] = "d1";
  n[0xA3] = "kinsoku-ruby";
  n[0xA4] = "coordinate-rule-a4";
  n[0xA5] = "coordinate-rule-a5";
  n[0xA6] = "coordinate-rule-a6";
  n[0xA7] = "relative-rule-a7";
  n[0xA8] = "relative-rule-a8";
  n[0xA9] = "relative-rule-a9";
  n[0xAA] = "relative-rule-aa";
  n[0xAB] = "relative-rule-ab";
  n[0xAC] = "relative-rule-ac";
  n[0xAD] = "one-shot-solid";
  n[0xAE] = "relative-rule-ignored";
  n[0xB0] = "space-1moji";
  n[0xB1] = "s2";
  n[0xB2] = "s3";
  n[0xB3] = "switch-source";
  n[0xB4] = "filsp";
  n[0xB5] = "half-line-up";
  n[0xB6] = "half-line-down";
  n[0xB9] = "kinsoku-release";
  n[0xBA] = "space-command-ba";
  n[0xBB] = "line-end-bb";
  n[0xBC] = "space-command";
  n[0xBD] = "space-execution";
  n[0xBE] = "new-indent";
  n[0xBF] = "space-switch-mode";
  n[0xC6] = "bottom-align";
  n[0xC7] = "ignored-count";
  n[0xCA] = "new-indent-ca";
  n[0xCB] = "multiple-line-feed";
  n[0xCC] = "auto-deform";
  n[0xCD] = "auto-deform-mode";
  n[0xCE] = "deform-lens";
  n[0xCF] = "justify-size";
  n[0xD0] = "justify-spacing";
  n[0xD1] = "justify-ignore";
  n[0xD3] = "em-width";
  n[0xD4] = "em-space";
  n[0xD5] = "deform-ignored";
  n[0xD6] = "deform-variable";
  n[0xD7] = "justify-ueki";
  n[0xD8] = "justify-line-spacing";
  n[0xD9] = "indent-percent";
  n[0xDA] = "mixed-start-position";
  n[0xDB] = "mixed-start";
  n[0xDC] = "mixed-end";
  n[0xDD] = "justify-no-split";
  n[0xDE] = "mode-de";
  n[0xF3] = "three-char-ruby";
  n[0xF7] = "page-break";
  n[0xF8] = "column-break";
  return n;
}

constexpr std::array<std::string_view, 256> kNames = BuildNames();

}  // namespace

std::string_view CommandName(uint8_t lowByte) { return kNames[lowByte]; }

std::string_view CommandWordName(uint16_t word) {
  if ((word & 0xFF00) != 0xD000) return {};
  return kNames[word & 0xFF];
}

}  // namespace velkan
