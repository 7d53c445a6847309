// One pass of a conversion: everything a handler works on.
//
// A Conversion owns the state of one pass; the Session it refers to holds
// what carries over from pass to pass and job to job. Nothing here is global,
// so several conversions can run side by side in one process.
#pragma once

#include <cstdint>
#include <functional>

#include "conversion/character_output.h"
#include "conversion/code_stream.h"
#include "conversion/format_store.h"
#include "conversion/session.h"
#include "conversion/structure_state.h"
#include "conversion/tag_writer.h"
#include "io/byte_streams.h"
#include "tables/code_tables.h"
#include "tables/escape_definitions.h"
#include "tables/font_tables.h"
#include "tables/pi_font.h"
#include "tables/table_root.h"
#include "typo/definition_file.h"
#include "typo/typo_state.h"

namespace velkan {

class Conversion {
 public:
  Conversion(Session& session, const TablePaths& paths, ByteSource& input, ByteSink& output)
      : session(session), paths(paths), stream(input, store), out(output, session) {}
  Conversion(const Conversion&) = delete;
  Conversion& operator=(const Conversion&) = delete;

  Session& session;
  const TablePaths& paths;
  CodeStream stream;
  TagWriter out;

  TypoState typo;      // the current settings
  TypoState emitted;   // the settings last written
  PendingMove move;
  SizeLimits limits;   // bounds of the setting commands, set by InitJob
  RubyState ruby;
  CharacterState chars;
  InlineStructures inlines;   // parameters and flags of the inline structures
  GroupedCharacters groups;   // the open group or enclosure and its sizes

  // Rules: the next underline's appearance, whether an underline is open
  // (between its start and end mark), and the rule of enclosures.
  UnderlineSettings underline;
  int16_t underlineOpen = 0;
  RuleSettings rules;
  // 1 between the raw tag bracket that wrote "<" and the one that writes ">".
  int16_t rawTagOpen = 0;
  // The parameters of the split-line and box structures.
  SplitLineParameters splitLine;
  BoxParameters box;

  DefinitionFile definitions;
  CodeTables codes;
  EscapeDefinitions escapes;
  FontTables fonts;
  PiWidths pi;
  FormatStore store;

  // Called every few thousand steps of the main loop when set.
  std::function<void()> progress;
};

// Resets the state of a pass and takes the job options that are 0 or 1.
void InitJob(Conversion& c, int direction, int unit, int warnings);

}  // namespace velkan
