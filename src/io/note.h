// Notes: the program's own messages as identifiers with arguments.
//
// The engine says what went wrong as a Note, not as a finished sentence: the
// English text of the message, with its places for arguments, is the
// note's identifier (the message catalogs translate it), and the arguments
// are paths, numbers and other notes. An error of the operating system is a
// note of its own, holding the errno value. A front end renders a note in its
// user's language (frontend/messages.h); Text() renders it in English. The
// system's own texts (the output, its warnings, the message-box texts) are
// no notes: they are the same in every language.
#pragma once

#include <functional>
#include <ostream>
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
  // No message: an empty text.
  Note() = default;

  // The error `number` (an errno value) of the operating system, as the C
  // library words it: "Permission denied". `inSentence` writes a first capital
  // of the English text small, for a reason that goes on a sentence
  // ("cannot be read: permission denied").
  static Note SystemError(int number, bool inSentence = false);

  // The identifier; null for a text and a system error.
  const char* format() const { return format_; }
  const std::vector<Note>& args() const { return args_; }
  // The errno value of a system error, else 0.
  int systemError() const { return error_; }
  // True for an empty text (as Note() makes).
  bool empty() const { return format_ == nullptr && error_ == 0 && text_.empty(); }

  // The note with each message (this one's and its arguments') looked up
  // through `translate`, which returns the text to use for an identifier. A
  // system error velkan names itself (io/system_error.h) is a message; any
  // other is worded by `describe` when given, else in English.
  std::string Render(const std::function<const char*(const char*)>& translate,
                     const std::function<std::string(int)>& describe = {}) const;
  // The note in English.
  std::string Text() const;

  bool operator==(const Note& other) const;

 private:
  const char* format_ = nullptr;
  std::string text_;
  int error_ = 0;
  bool inSentence_ = false;
  std::vector<Note> args_;
};

// Writes the note in English (for tests and logs).
inline std::ostream& operator<<(std::ostream& out, const Note& note) { return out << note.Text(); }

// `format` (as Note's) with its places filled from `args`. A place beyond
// the arguments stays empty; an unknown directive is kept as it is.
std::string FillPlaces(const char* format, const std::vector<std::string>& args);

}  // namespace velkan
