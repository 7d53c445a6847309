// Line ends, the end of the text, and the simple spacing and break commands.
#pragma once

#include <cstdint>

namespace velkan {

class Conversion;

// Line ends: CloseManualRuby, then the text unless both `suppressLineEnd`
// and `atLineStart` are set; `atLineStart` is set after the text and
// `suppressLineEnd` cleared. Result 0.
int16_t CmdLineEndRT(Conversion& c);   // 0xD001 "<G jst=RT>" CR LF
int16_t CmdLineEndQC(Conversion& c);   // 0xD005 "<G jst=QC>" CR LF
int16_t CmdLineEndQR(Conversion& c);   // 0xD00B "<G jst=QR>" CR LF
int16_t CmdLineEnd(Conversion& c);     // 0xD009, 0xD01C, 0xD0BB CR LF

// 0xD020, 0xD023, 0xD056: CloseManualRuby, consume, result 2 (end of job in
// the main slot; in the pre-phase the word is simply consumed).
int16_t CmdEndOfText(Conversion& c);

}  // namespace velkan
