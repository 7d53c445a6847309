// The errors of the operating system (errno values) as messages.
//
// The errors velkan commonly meets have their English text (as the C library
// writes it in the C locale) marked here, so that the message catalogs
// translate them; any other is written as the C library says it.
#pragma once

#include <string>

namespace velkan {

// The English text of `number`, marked for the catalogs, or null when it is
// not one of the errors velkan names itself.
const char* SystemErrorMessage(int number);

// The C library's text of `number` in the C locale (English), whatever the
// locale of the process.
std::string EnglishSystemError(int number);

}  // namespace velkan
