#include "tools/arguments.h"

#include <iostream>

#include "frontend/messages.h"

namespace velkan::tools {

OptionValue TakeOptionValue(int argc, char** argv, int& i, std::initializer_list<std::string_view> names,
                            std::string& value) {
  const std::string_view a = argv[i];
  for (std::string_view name : names) {
    if (a == name) {
      if (i + 1 >= argc) return OptionValue::kMissing;
      value = argv[++i];
      return OptionValue::kTaken;
    }
    const bool isLong = name.size() > 2;
    // "--name=VALUE" (the value may be empty); "-xVALUE".
    if (isLong && a.size() > name.size() && a.substr(0, name.size()) == name && a[name.size()] == '=') {
      value = a.substr(name.size() + 1);
      return OptionValue::kTaken;
    }
    if (!isLong && a.size() > name.size() && a.substr(0, name.size()) == name) {
      value = a.substr(name.size());
      return OptionValue::kTaken;
    }
  }
  return OptionValue::kOther;
}

int UsageError(const char* command, const char* what, const std::vector<std::string>& args) {
  std::cerr << "velkan " << command << ": " << FillPlaces(_(what), args) << "\n"
            << FillPlaces(_("Try 'velkan %s --help'."), {command}) << "\n";
  return 2;
}

}  // namespace velkan::tools
