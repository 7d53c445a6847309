#include "cli/warning_report.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <nlohmann/json.hpp>

#include "frontend/messages.h"
#include "io/shown_path.h"
#include "tools/shift_jis_text.h"

namespace velkan::cli {

namespace {

using Json = nlohmann::ordered_json;

const char* StatusWord(JobStatus s) {
  switch (s) {
    case JobStatus::kCompleted: return "completed";
    case JobStatus::kInputNotFound: return "input-not-found";
    case JobStatus::kOutputNotCreated: return "output-not-created";
    case JobStatus::kCancelled: return "cancelled";
    case JobStatus::kPassFailed: break;
  }
  return "failed";
}

bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

Json NumberOrNull(long long v) { return v >= 0 ? Json(v) : Json(nullptr); }

// Writes all of `text` to `fd`; false with errno set when it could not.
bool WriteAll(int fd, const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;  // took nothing and named no error: as full
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::vector<std::string> JobMessages(const JobResult& r) {
  std::vector<std::string> lines;
  if (!r.message.empty()) lines.push_back(r.message);
  for (const Note& note : r.notes) lines.push_back(frontend::RenderNote(note));
  return lines;
}

std::string WarningTextUtf8(std::string_view sjis) {
  std::string out;
  if (ShiftJisToUtf8(sjis, out)) return out;
  out.clear();
  for (size_t i = 0; i < sjis.size();) {
    const auto b = static_cast<unsigned char>(sjis[i]);
    const bool pair = IsLeadByte(b) && i + 1 < sjis.size();
    const uint16_t code = pair ? static_cast<uint16_t>(b << 8 | static_cast<unsigned char>(sjis[i + 1])) : b;
    std::string c = b < 0x20 || b == 0x7F ? std::string() : ShiftJisCharacter(code);
    if (!c.empty()) {
      out += c;
      i += pair ? 2 : 1;
      continue;
    }
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02x", b);
    out += hex;
    ++i;
  }
  return out;
}

std::string ReportLine(const std::string& input, const std::string& output, const JobResult& r) {
  Json line;
  line["input"] = ShownPath(input);
  line["output"] = ShownPath(output);
  line["status"] = StatusWord(r.status);
  line["notes"] = JobMessages(r);
  Json warnings = Json::array();
  std::vector<std::string> texts;
  for (const WrittenWarning& w : r.warnings) {
    Json entry;
    entry["line"] = w.line;
    entry["column"] = w.column;
    entry["text"] = WarningTextUtf8(w.text);
    if (w.inputLine >= 0) {
      entry["input_line"] = w.inputLine;
    } else {
      entry["input_offset"] = NumberOrNull(w.inputOffset);
    }
    warnings.push_back(std::move(entry));
  }
  line["warnings"] = std::move(warnings);
  Json counts = Json::object();
  for (const auto& [text, n] : CountByText(r.warnings)) counts[WarningTextUtf8(text)] = n;
  line["counts"] = std::move(counts);
  // Every string above is valid UTF-8; should one not be, it is replaced
  // rather than thrown over.
  return line.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string WarningSummary(const JobResult& r) {
  const size_t n = r.warnings.size();
  const auto counts = CountByText(r.warnings);
  if (counts.empty()) return FillPlaces(P_("%s warning", "%s warnings", n), {std::to_string(n)});
  // The warning texts are the system's own; only the words around them are
  // velkan's.
  std::string most;
  for (size_t i = 0; i < counts.size() && i < 3; ++i) {
    // TRANSLATORS: between the most frequent warnings of a job.
    if (i > 0) most += _(", ");
    most += std::to_string(counts[i].second) + " × " + WarningTextUtf8(counts[i].first);
  }
  if (counts.size() > 3) most += std::string(_(", ")) + "…";
  return FillPlaces(P_("%s warning: %s", "%s warnings: %s", n), {std::to_string(n), most});
}

namespace {

// Whether `path` writes to the standard output: "-", or a name of the file
// the standard output is (/dev/stdout, /proc/self/fd/1, the file it was
// redirected to). Lines written there by two writers would be mixed, and a
// file replaced under the standard output would lose what the other wrote.
bool GoesToStandardOutput(const std::string& path) {
  if (path == "-") return true;
  struct stat out {}, named {};
  return ::fstat(STDOUT_FILENO, &out) == 0 && ::stat(path.c_str(), &named) == 0 && out.st_dev == named.st_dev &&
         out.st_ino == named.st_ino;
}

}  // namespace

std::string ReportFile::Refusal(const std::string& path, const JobOptions& common,
                                const std::vector<std::string>& inputs, const std::vector<std::string>& outputs) {
  if (GoesToStandardOutput(path)) {
    for (const std::string& out : outputs) {
      if (GoesToStandardOutput(out)) return _("the report and the output cannot both go to standard output");
    }
    if (path == "-") return {};
  }
  // The report is looked at and resolved once, the outputs' folders once
  // each: a batch has many outputs in few folders.
  struct stat report {};
  const bool reportExists = ::stat(path.c_str(), &report) == 0;
  PathResolver resolver;
  const std::filesystem::path resolved = resolver.Resolve(path);
  for (const std::string& out : outputs) {
    struct stat st {};
    if (out == path ||
        (reportExists && ::stat(out.c_str(), &st) == 0 && st.st_dev == report.st_dev && st.st_ino == report.st_ino) ||
        resolved == resolver.Resolve(out)) {
      return FillPlaces(_("the report may not replace the output file %s"), {ShownPath(out)});
    }
  }
  if (std::optional<Note> why = ReservedForInputs(common, inputs, path)) {
    return FillPlaces(_("the report may not replace %s"), {frontend::RenderNote(*why)});
  }
  return frontend::RenderNote(OutputFile::Check(path));
}

bool ReportFile::Open(const std::string& path, TemporaryFiles* temporaries) {
  standardOutput_ = path == "-";
  if (standardOutput_) return true;
  if (!file_.Open(path, temporaries)) {
    error_ = frontend::RenderNote(file_.error());
    return false;
  }
  return true;
}

bool ReportFile::Write(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  if (standardOutput_) {
    std::cout << text << std::flush;
    return true;
  }
  if (!WriteAll(file_.fd(), text)) {
    error_ = FillPlaces(_("writing the report failed: %s"), {frontend::SystemErrorText(errno)});
    file_.Discard();
    return false;
  }
  if (!file_.Commit()) {
    error_ = frontend::RenderNote(file_.error());
    return false;
  }
  return true;
}

}  // namespace velkan::cli
