#include "io/note.h"

#include <cstring>

#include "io/system_error.h"

namespace velkan {

std::string FillPlaces(const char* format, const std::vector<std::string>& args) {
  std::string out;
  size_t next = 0;  // the argument a plain "%s" takes
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      out += *p;
      continue;
    }
    if (p[1] == '%') {
      out += '%';
      ++p;
      continue;
    }
    size_t index = next;
    const char* q = p + 1;
    if (*q >= '1' && *q <= '9') {
      size_t n = 0;
      while (*q >= '0' && *q <= '9') n = n * 10 + static_cast<size_t>(*q++ - '0');
      if (*q != '$') {
        out += *p;
        continue;
      }
      index = n - 1;
      ++q;
    }
    if (*q != 's') {
      out += *p;
      continue;
    }
    if (q == p + 1) ++next;
    if (index < args.size()) out += args[index];
    p = q;
  }
  return out;
}

Note Note::SystemError(int number, bool inSentence) {
  Note note;
  note.error_ = number;
  note.inSentence_ = inSentence;
  return note;
}

std::string Note::Render(const std::function<const char*(const char*)>& translate,
                         const std::function<std::string(int)>& describe) const {
  if (error_ != 0) {
    const char* known = SystemErrorMessage(error_);
    std::string text = known != nullptr ? translate(known) : describe ? describe(error_) : EnglishSystemError(error_);
    // "Permission denied" goes on as "permission denied"; "EOF" stays.
    if (inSentence_ && text.size() >= 1 && text[0] >= 'A' && text[0] <= 'Z' &&
        (text.size() < 2 || !(text[1] >= 'A' && text[1] <= 'Z'))) {
      text[0] = static_cast<char>(text[0] - 'A' + 'a');
    }
    return text;
  }
  if (format_ == nullptr) return text_;
  std::vector<std::string> filled;
  filled.reserve(args_.size());
  for (const Note& arg : args_) filled.push_back(arg.Render(translate, describe));
  return FillPlaces(translate(format_), filled);
}

std::string Note::Text() const {
  return Render([](const char* format) { return format; });
}

bool Note::operator==(const Note& other) const {
  const bool sameFormat = format_ == other.format_ ||
                          (format_ != nullptr && other.format_ != nullptr && std::strcmp(format_, other.format_) == 0);
  return sameFormat && text_ == other.text_ && error_ == other.error_ && inSentence_ == other.inSentence_ &&
         args_ == other.args_;
}

}  // namespace velkan
