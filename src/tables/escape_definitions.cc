#include "tables/escape_definitions.h"

// Placeholder while the reader of the escape files is written.
namespace velkan {

int16_t LoadEscapeDefinitions(EscapeDefinitions& defs, const TablePaths&) {
  defs = EscapeDefinitions{};
  return -1;
}

int16_t ReadEscapeDefinitionFile(EscapeDefinitions&, const std::filesystem::path&) { return -1; }

void ReleaseEscapeDefinitions(EscapeDefinitions& defs) { defs.pairs.clear(); }

}  // namespace velkan
