// Inline structures: reduced-size runs (<TAYO>), suffix and index characters,
// split notes (<WARI>), fractions (<BUN>), the European fraction warning and
// the fixed-width space (<em wid=...>).
//
// Counted structures (TAYO, suffix, index, DIDX) are closed by the character
// stage after their last character; split notes and fractions by repeating
// their opening command. Parameter commands run inside a parameter group and
// prepare the next tag. Every handler fails when reading failed.
#pragma once

#include <cstdint>

#include "conversion/flow.h"

namespace velkan {

class Conversion;

// 0xD05A, group: height, width and spacing of the next TAYO run,
// comma-separated sizes. Taken only when both sizes lie within the job's size
// limits and each is followed by a comma; otherwise the arguments are
// skipped and nothing changes.
Flow CmdTayoParameters(Conversion& c);

// 0xD0D3, group: the width of the next "<em wid=...>" (units and quarters).
Flow CmdEmWidth(Conversion& c);

// 0xD061, main: up to two digits give the number of characters; writes the
// "<TAYO ...>" tag for the prepared size and spacing and opens a counted scope
// of that many characters (0: never closed).
Flow CmdTayo(Conversion& c);

// 0xD046 / 0xD047, main: one digit 1..3 selects "<SFX3>", "<SFX1>", "<SFX2>" /
// "<IDX3>", "<IDX1>", "<IDX2>" and opens a scope of one character. Any other
// digit, or none, warns "サフィックス" / "インデックス" and opens nothing; a word that is
// no digit stays pending.
Flow CmdSuffix(Conversion& c);
Flow CmdIndex(Conversion& c);

// 0xD048, main: "<DIDX>" over the next character.
Flow CmdDoubleIndex(Conversion& c);

// 0xD059, main: opens a split note with its "<WARI ...>" tag, or closes the
// open one with "</WARI>".
Flow CmdWarichu(Conversion& c);

// 0xD08D, main: a fraction in three marks: "<BUN ...>" opens the numerator,
// "<BUN2 ...>" the denominator, "</BUN>" closes.
Flow CmdFraction(Conversion& c);

// 0xD049, main: warns "欧文分数".
Flow CmdEuropeanFraction(Conversion& c);

// 0xD0D4, main: "<em wid=...>" with the prepared width.
Flow CmdEmSpace(Conversion& c);

}  // namespace velkan
