// Golden cases: readable files that give a job's options, its input, its
// tables and definitions, and the exact output expected. The notation is
// described in tests/cases/README.md.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace velkan::test {

// A record of the user-defined format store: format `number` holds `words`
// (then 0 words), and the table marks it defined or not.
struct StoredFormat {
  int number = 0;
  bool defined = true;
  std::vector<uint16_t> words;
};

struct CaseFile {
  std::string name;
  std::vector<std::string> options;  // "--vertical", "--unit", "Q", ...
  std::string input;                 // the input file's bytes
  bool textJob = false;              // input given as text (a ".txt" job)
  bool haveUdf = false;
  std::string udf;                   // the user-defined format file's bytes
  bool haveDefine = false;
  std::string define;                // definition file bytes (Shift_JIS)
  std::map<std::string, std::string> files;  // table root files by relative path
  std::string expected;              // expected output bytes (Shift_JIS)
  std::string status = "completed";  // completed | failed | input-not-found | output-not-created
  std::vector<StoredFormat> stored;        // the format store before the run
  std::vector<StoredFormat> expectStored;  // records checked after the last run
  // A second program run (fresh Session, same table root and store).
  bool haveRerun = false;
  std::string rerunInput;
  std::string rerunExpected;
  std::string rerunStatus = "completed";
};

// Parses a case. On a notation error returns false with `error` set.
bool ParseCase(const std::string& text, CaseFile& out, std::string& error);

// Parses a words notation (hex words, {, }, #digits, "text") to bytes, high
// byte first. Exposed for the runner's own tests.
bool ParseWords(const std::string& text, std::string& bytes, std::string& error);

// Parses an expected-output body: newlines of the file are ignored, escapes
// \r \n \t \\ \xHH and \s (a blank at a line's end) stand for bytes, the rest
// is UTF-8 text turned into Shift_JIS.
bool ParseExpected(const std::string& text, std::string& bytes, std::string& error);

}  // namespace velkan::test
