// Options of the command line that take a value, in the forms GNU tools
// accept: "--name VALUE" and "--name=VALUE" for a long option, "-x VALUE"
// and "-xVALUE" for a short one.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace velkan::tools {

enum class OptionValue {
  kOther,    // argv[i] is none of the names
  kTaken,    // the value was taken (from argv[i] itself, or from the next)
  kMissing,  // the option came last, without its value
};

// Whether argv[i] is one of `names` ("--root", or "-o" and "--output"),
// with its value: then `value` is set, and `i` advanced past the value when
// it is the next argument.
OptionValue TakeOptionValue(int argc, char** argv, int& i, std::initializer_list<std::string_view> names,
                            std::string& value);

// Says on the standard error that the command line of `command` ("convert",
// "tables") is wrong: `what`, a marked message (N_) shown in the user's
// language with its places filled from `args`, and where help is found.
// Returns 2, the exit status of bad usage.
int UsageError(const char* command, const char* what, const std::vector<std::string>& args = {});

}  // namespace velkan::tools
