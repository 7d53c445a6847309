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
#include "tables/font_tables.h"
#include "tables/pass_tables.h"
#include "tables/pi_font.h"
#include "tables/table_root.h"
#include "typo/definition_file.h"
#include "typo/state_tag_cache.h"
#include "typo/typo_state.h"

namespace velkan {

class Conversion {
 public:
  // A pass of `session` over `input` into `output`, reading `tables`: it
  // only reads their code tables and pi widths and changes their font tables
  // (see PassTables). The block the code words are read into comes from
  // `words` when given (see CodeStream).
  Conversion(Session& session, PassTables& tables, ByteSource& input, ByteSink& output, SpareBlock* words = nullptr)
      : session(session),
        paths(tables.paths),
        codes(tables.codes),
        pi(tables.pi),
        fonts(tables.fonts),
        stream(input, store, words),
        out(output, session) {}
  Conversion(const Conversion&) = delete;
  Conversion& operator=(const Conversion&) = delete;

  Session& session;
  // The tables of the pass and where they lie.
  const TablePaths& paths;
  const CodeTables& codes;
  const PiWidths& pi;
  FontTables& fonts;

  CodeStream stream;
  TagWriter out;

  TypoState typo;      // the current settings
  TypoState emitted;   // the settings last written
  StateTagCache tagCache;  // <J> and <G> texts composed before in this pass
  SingleChangeTexts singleChangeTexts;  // those of one setting changed alone
  PendingMove move;
  // False while nothing the state tags carry (`typo`, `move`) was changed
  // since the tags were last checked: the main loop then leaves them alone.
  bool tagsToCheck = true;
  // The current settings and the one-shot values, for a command that
  // changes them: every change goes through these, so that the tags are
  // checked at the next step.
  TypoState& ChangeTypo() {
    tagsToCheck = true;
    return typo;
  }
  PendingMove& ChangeMove() {
    tagsToCheck = true;
    return move;
  }
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
  FormatStore store;

  // Called every few thousand steps of the main loop when set.
  std::function<void()> progress;
};

// Sets the state of a pass to its start and takes the job options that are
// 0 or 1 into the session; any other value keeps the session's.
void InitJob(Conversion& c, int direction, int unit, int warnings);

}  // namespace velkan
