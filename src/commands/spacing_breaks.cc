#include "commands/spacing_breaks.h"

#include <string_view>

#include "driver/conversion.h"
#include "typo/ruby.h"

namespace velkan {

namespace {

int16_t LineEnd(Conversion& c, std::string_view text) {
  CloseManualRuby(c);
  Session& s = c.session;
  if (!(s.suppressLineEnd && s.atLineStart)) {
    c.out.WriteText(text);
    s.atLineStart = 1;
  }
  s.suppressLineEnd = 0;
  c.stream.wordPending = 0;
  return 0;
}

}  // namespace

int16_t CmdLineEndRT(Conversion& c) { return LineEnd(c, "<G jst=RT>\r\n"); }
int16_t CmdLineEndQC(Conversion& c) { return LineEnd(c, "<G jst=QC>\r\n"); }
int16_t CmdLineEndQR(Conversion& c) { return LineEnd(c, "<G jst=QR>\r\n"); }
int16_t CmdLineEnd(Conversion& c) { return LineEnd(c, "\r\n"); }

int16_t CmdEndOfText(Conversion& c) {
  CloseManualRuby(c);
  c.stream.wordPending = 0;
  return 2;
}

}  // namespace velkan
