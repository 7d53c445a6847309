#include "frontend/messages.h"

#include <libintl.h>

#include <clocale>
#include <cstring>

#include "engine/job_places.h"

namespace velkan::frontend {

namespace {
constexpr const char* kDomain = "velkan";
}

std::filesystem::path MessageCatalogFolder(const std::filesystem::path& program) {
  std::error_code ec;
  const std::filesystem::path bin = program.parent_path();
  const std::filesystem::path built = bin.parent_path() / "locale";
  if (!program.empty() && std::filesystem::is_directory(built, ec)) return built;
  return (bin / VELKAN_LOCALE_FROM_BINDIR).lexically_normal();
}

void SetUpMessages() {
  std::setlocale(LC_CTYPE, "");
  std::setlocale(LC_MESSAGES, "");
  const std::filesystem::path program = ProgramFile();
  const std::filesystem::path folder = program.empty() ? std::filesystem::path(VELKAN_INSTALLED_LOCALE)
                                                       : MessageCatalogFolder(program);
  ::bindtextdomain(kDomain, folder.c_str());
  ::bind_textdomain_codeset(kDomain, "UTF-8");
  ::textdomain(kDomain);
}

const char* Translate(const char* msgid) { return ::dgettext(kDomain, msgid); }

const char* TranslateInContext(const char* keyed) {
  const char* translated = ::dgettext(kDomain, keyed);
  if (translated != keyed) return translated;
  const char* separator = std::strchr(keyed, '\004');
  return separator != nullptr ? separator + 1 : keyed;
}

const char* TranslatePlural(const char* singular, const char* plural, unsigned long n) {
  return ::dngettext(kDomain, singular, plural, n);
}

std::string RenderNote(const Note& note) {
  // An error velkan does not name itself, in the C library's words for the
  // locale (where its catalogs are installed).
  auto describe = [](int number) -> std::string {
    char buffer[256];
    return ::strerror_r(number, buffer, sizeof buffer);
  };
  return note.Render(Translate, describe);
}

std::string SystemErrorText(int number) { return RenderNote(Note::SystemError(number)); }

}  // namespace velkan::frontend
