#include "golden/case_file.h"

#include <cctype>
#include <sstream>

#include "io/byte_order.h"
#include "support/test_support.h"

namespace velkan::test {

namespace {

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

bool IsHex(const std::string& t) {
  if (t.empty()) return false;
  for (char ch : t)
    if (!std::isxdigit(static_cast<unsigned char>(ch))) return false;
  return true;
}

void PutWord(std::string& out, uint16_t w, bool littleEndian) {
  if (littleEndian) {
    out += static_cast<char>(w & 0xFF);
    out += static_cast<char>(w >> 8);
  } else {
    out += static_cast<char>(w >> 8);
    out += static_cast<char>(w & 0xFF);
  }
}

// Words notation, shared by input words and table words.
bool WordsTo(const std::string& text, std::string& bytes, std::string& error, bool littleEndian) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    size_t i = 0;
    while (i < line.size()) {
      char ch = line[i];
      if (std::isspace(static_cast<unsigned char>(ch))) { ++i; continue; }
      if (ch == ';') break;  // comment to the end of the line
      if (ch == '{') { PutWord(bytes, 0xD003, littleEndian); ++i; continue; }
      if (ch == '}') { PutWord(bytes, 0xD004, littleEndian); ++i; continue; }
      if (ch == '"') {
        size_t end = line.find('"', i + 1);
        if (end == std::string::npos) { error = "unterminated \"text\" in: " + line; return false; }
        std::string sj = Sjis(line.substr(i + 1, end - i - 1));
        for (size_t k = 0; k < sj.size(); k += 2) {
          unsigned char b0 = static_cast<unsigned char>(sj[k]);
          if (k + 1 >= sj.size()) { error = "\"text\" must hold double-byte characters: " + line; return false; }
          PutWord(bytes, static_cast<uint16_t>(b0 << 8 | static_cast<unsigned char>(sj[k + 1])), littleEndian);
        }
        i = end + 1;
        continue;
      }
      size_t j = i;
      while (j < line.size() && !std::isspace(static_cast<unsigned char>(line[j])) && line[j] != '{' &&
             line[j] != '}' && line[j] != ';')
        ++j;
      std::string tok = line.substr(i, j - i);
      i = j;
      if (tok[0] == '#') {
        if (tok.size() == 1) { error = "empty digit text"; return false; }
        for (size_t k = 1; k < tok.size(); ++k) {
          char d = tok[k];
          if (d >= '0' && d <= '9') PutWord(bytes, static_cast<uint16_t>(0xC340 + (d - '0')), littleEndian);
          else if (d == '.') PutWord(bytes, 0xC334, littleEndian);
          else if (d == ',') PutWord(bytes, 0xC335, littleEndian);
          else { error = "bad digit text " + tok; return false; }
        }
        continue;
      }
      size_t star = tok.find('*');
      std::string word = star == std::string::npos ? tok : tok.substr(0, star);
      int repeat = 1;
      if (star != std::string::npos) {
        std::string count = tok.substr(star + 1);
        if (count.empty() || count.find_first_not_of("0123456789") != std::string::npos) {
          error = "bad repeat " + tok;
          return false;
        }
        repeat = std::stoi(count);
      }
      if (word.size() != 4 || !IsHex(word)) { error = "bad word '" + tok + "' (want 4 hex digits)"; return false; }
      uint16_t w = static_cast<uint16_t>(std::stoul(word, nullptr, 16));
      for (int r = 0; r < repeat; ++r) PutWord(bytes, w, littleEndian);
    }
  }
  return true;
}

bool HexBytes(const std::string& text, std::string& bytes, std::string& error) {
  std::istringstream in(text);
  std::string tok;
  while (in >> tok) {
    if (tok[0] == ';') { std::getline(in, tok); continue; }
    if (tok.size() != 2 || !IsHex(tok)) { error = "bad byte '" + tok + "'"; return false; }
    bytes += static_cast<char>(std::stoul(tok, nullptr, 16));
  }
  return true;
}

// Text bodies (text jobs, definition files, text tables): UTF-8 lines turned
// into Shift_JIS, each line ended by CR LF unless the section says "lf".
std::string TextBody(const std::vector<std::string>& lines, const std::string& eol) {
  std::string utf8;
  for (const std::string& l : lines) utf8 += l + eol;
  return Sjis(utf8);
}

// "N" or "N undefined" after a store section's kind, and its words.
bool StoredSection(const std::string& head, const std::string& body, StoredFormat& out, std::string& error) {
  std::istringstream h(head);
  std::string kind, number, flag;
  h >> kind >> number >> flag;
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos || std::stoi(number) >= 400) {
    error = "== " + kind + " needs a format number 0-399";
    return false;
  }
  out.number = std::stoi(number);
  if (flag == "undefined") out.defined = false;
  else if (!flag.empty()) { error = "== " + kind + ": unknown flag '" + flag + "'"; return false; }
  std::string bytes;
  if (!WordsTo(body, bytes, error, false)) return false;
  if (bytes.size() > 1024) { error = "== " + kind + ": more than 512 words"; return false; }
  for (size_t k = 0; k + 1 < bytes.size(); k += 2) {
    out.words.push_back(LoadBigEndian16(bytes.data() + k));
  }
  return true;
}

}  // namespace

bool ParseWords(const std::string& text, std::string& bytes, std::string& error) {
  return WordsTo(text, bytes, error, false);
}

bool ParseExpected(const std::string& text, std::string& bytes, std::string& error) {
  std::string utf8;
  auto flush = [&] {
    bytes += Sjis(utf8);
    utf8.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    char ch = text[i];
    if (ch == '\n' || ch == '\r') continue;
    if (ch != '\\') { utf8 += ch; continue; }
    if (++i >= text.size()) { error = "lone backslash at the end of the expected text"; return false; }
    char e = text[i];
    switch (e) {
      case 'r': flush(); bytes += '\r'; break;
      case 'n': flush(); bytes += '\n'; break;
      case 't': flush(); bytes += '\t'; break;
      case 's': flush(); bytes += ' '; break;
      case '\\': flush(); bytes += '\\'; break;
      case 'x': {
        std::string h = text.substr(i + 1, 2);
        if (h.size() != 2 || !IsHex(h)) { error = "bad \\x escape"; return false; }
        flush();
        bytes += static_cast<char>(std::stoul(h, nullptr, 16));
        i += 2;
        break;
      }
      default: error = std::string("unknown escape \\") + e; return false;
    }
  }
  flush();
  return true;
}

bool ParseCase(const std::string& text, CaseFile& out, std::string& error) {
  struct Section {
    std::string head;
    std::vector<std::string> lines;
  };
  std::vector<Section> sections;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("== ", 0) == 0) {
      sections.push_back({Trim(line.substr(3)), {}});
    } else if (!sections.empty()) {
      sections.back().lines.push_back(line);
    } else if (!Trim(line).empty() && line[0] != '#') {
      error = "text before the first section: " + line;
      return false;
    }
  }
  bool haveInput = false, haveExpect = false, haveRerunExpect = false;
  for (const Section& s : sections) {
    std::istringstream h(s.head);
    std::string kind, arg, eol = "\r\n";
    h >> kind >> arg;
    std::string extra;
    if (h >> extra && extra == "lf") eol = "\n";
    if (arg == "lf") { eol = "\n"; arg.clear(); }
    std::string body;
    for (const std::string& l : s.lines) body += l + "\n";
    if (kind == "options") {
      std::istringstream o(body);
      std::string tok;
      while (o >> tok) out.options.push_back(tok);
    } else if (kind == "words") {
      if (!ParseWords(body, out.input, error)) return false;
      haveInput = true;
    } else if (kind == "bytes") {
      if (!HexBytes(body, out.input, error)) return false;
      haveInput = true;
    } else if (kind == "text") {
      // Trailing blank lines of the section are not part of the text.
      std::vector<std::string> lines = s.lines;
      while (!lines.empty() && Trim(lines.back()).empty()) lines.pop_back();
      out.input = TextBody(lines, eol);
      out.textJob = true;
      haveInput = true;
    } else if (kind == "text-bytes") {
      if (!HexBytes(body, out.input, error)) return false;
      out.textJob = true;
      haveInput = true;
    } else if (kind == "udf-words") {
      if (!ParseWords(body, out.udf, error)) return false;
      out.haveUdf = true;
    } else if (kind == "define") {
      std::vector<std::string> lines = s.lines;
      while (!lines.empty() && Trim(lines.back()).empty()) lines.pop_back();
      out.define = TextBody(lines, eol);
      out.haveDefine = true;
    } else if (kind == "table") {
      if (arg.empty()) { error = "== table needs a file name"; return false; }
      std::string bytes;
      if (!WordsTo(body, bytes, error, true)) return false;
      out.files[arg] = bytes;
    } else if (kind == "table-bytes") {
      if (arg.empty()) { error = "== table-bytes needs a file name"; return false; }
      std::string bytes;
      if (!HexBytes(body, bytes, error)) return false;
      out.files[arg] = bytes;
    } else if (kind == "table-text") {
      if (arg.empty()) { error = "== table-text needs a file name"; return false; }
      std::vector<std::string> lines = s.lines;
      while (!lines.empty() && Trim(lines.back()).empty()) lines.pop_back();
      out.files[arg] = TextBody(lines, eol);
    } else if (kind == "expect") {
      if (!ParseExpected(body, out.expected, error)) return false;
      haveExpect = true;
    } else if (kind == "status") {
      out.status = Trim(body);
    } else if (kind == "stored" || kind == "expect-stored") {
      StoredFormat f;
      if (!StoredSection(s.head, body, f, error)) return false;
      (kind == "stored" ? out.stored : out.expectStored).push_back(f);
    } else if (kind == "rerun") {
      if (!ParseWords(body, out.rerunInput, error)) return false;
      out.haveRerun = true;
    } else if (kind == "rerun-expect") {
      if (!ParseExpected(body, out.rerunExpected, error)) return false;
      haveRerunExpect = true;
    } else if (kind == "rerun-status") {
      out.rerunStatus = Trim(body);
    } else {
      error = "unknown section '== " + s.head + "'";
      return false;
    }
  }
  if (!haveInput) { error = "no input (== words, == bytes, == text or == text-bytes)"; return false; }
  if (!haveExpect) { error = "no == expect section"; return false; }
  if (out.haveRerun != haveRerunExpect) { error = "== rerun and == rerun-expect go together"; return false; }
  return true;
}

}  // namespace velkan::test
