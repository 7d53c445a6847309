// The worklist of a conversion's warnings: the report file (--report, JSON
// Lines) and the summary line shown on a terminal.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/job.h"
#include "io/output_file.h"

namespace velkan::cli {

// The lines the command prints for what a job reports (its message, then
// its notes, rendered by frontend::RenderNote), in the command's language, UTF-8.
std::vector<std::string> JobMessages(const JobResult& r);

// A warning's text (Shift_JIS bytes as written) in UTF-8; a byte that is no
// part of a Shift_JIS character is written \xHH, as messages show such bytes.
std::string WarningTextUtf8(std::string_view sjis);

// One line of the report (a JSON object, no line end) for the job that
// converted `input` into `output` (paths as given; bytes that are not UTF-8
// are written \xHH, as messages show them). A text job's warnings carry
// "input_line", a code-word job's "input_offset" (null when it cannot be
// told).
std::string ReportLine(const std::string& input, const std::string& output, const JobResult& r);

// The summary of a job's warnings for the terminal: "N warnings", and the
// three most frequent texts with their counts.
std::string WarningSummary(const JobResult& r);

// The report file, written once all its lines are known: to a temporary
// file renamed into place at the end, as outputs are, or to standard output
// for "-". It never shares the standard output with an output, however the
// two name it.
class ReportFile {
 public:
  // Why `path` cannot take the report of jobs with options `common`, inputs
  // `inputs` and outputs `outputs`: a file the jobs read, write or keep (see
  // ReservedOutput), or a place where no file can be made; empty when none.
  static std::string Refusal(const std::string& path, const JobOptions& common,
                             const std::vector<std::string>& inputs, const std::vector<std::string>& outputs);
  // Prepares writing to `path` (nothing is written yet). False with `error()`.
  bool Open(const std::string& path, TemporaryFiles* temporaries);
  // Writes `lines`, one per line, and puts the file in place. False with
  // `error()`.
  bool Write(const std::vector<std::string>& lines);
  const std::string& error() const { return error_; }

 private:
  bool standardOutput_ = false;
  OutputFile file_;
  std::string error_;
};

}  // namespace velkan::cli
