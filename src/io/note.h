// Notes: the program's own messages as identifiers with arguments.
//
// The engine says what went wrong as a Note, not as a finished sentence: the
// English text of the message, with its places for arguments, is the
// note's identifier (the message catalogs translate it), and the arguments
// are paths, numbers and other notes. A front end renders a note in its
// user's language (frontend/messages.h); Text() renders it in English. The
// system's own texts (the output, its warnings, the message-box texts) are
// no notes: they are the same in every language.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace velkan {

class Note {
 public:
  // A message: `format` is an English text marked with N_
  // (io/message_mark.h), with "%s" for each argument in turn or "%N$s" for
  // the Nth; "%%" is a percent sign. It must outlive the note (a literal
  // does).
  Note(const char* format, std::vector<Note> args = {}) : format_(format), args_(std::move(args)) {}
  // A text that is no message (a path, a number, a text of the system or of
  // the operating system), shown as it is in every language.
  Note(std::string text) : text_(std::move(text)) {}

  // The identifier; null for a text.
  const char* format() const { return format_; }
  const std::vector<Note>& args() const { return args_; }

  // The note with each message (this one's and its arguments') looked up
  // through `translate`, which returns the text to use for an identifier.
  std::string Render(const std::function<const char*(const char*)>& translate) const;
  // The note in English.
  std::string Text() const;

  bool operator==(const Note& other) const;

 private:
  const char* format_ = nullptr;
  std::string text_;
  std::vector<Note> args_;
};

// `format` (as Note's) with its places filled from `args`. A place beyond
// the arguments stays empty; an unknown directive is kept as it is.
std::string FillPlaces(const char* format, const std::vector<std::string>& args);

}  // namespace velkan
