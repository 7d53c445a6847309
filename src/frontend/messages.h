// The program's own messages in the user's language.
//
// Messages are English in the code, marked with _() where they are shown
// and N_() (io/note.h) where they are only named; the message catalogs of
// the domain "velkan" (po/*.po, compiled into LOCALE/LANG/LC_MESSAGES/
// velkan.mo) hold their translations. The language follows the locale as
// gettext takes it: LANGUAGE (unless the locale is C), LC_ALL, LC_MESSAGES,
// LANG. The conversion's bytes never depend on it: only the categories of
// messages and of characters are taken from the environment, so numbers are
// still written with a decimal point.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "io/message_mark.h"
#include "io/note.h"

// The translation of a marked message (the message itself when the catalog
// has none).
#define _(text) ::velkan::frontend::Translate(text)
// The translation of a message about `n` things, in the form the language
// gives that number (`singular` and `plural` are the English forms).
#define P_(singular, plural, n) ::velkan::frontend::TranslatePlural(singular, plural, n)
// The translation of a message whose English is also another message's but
// which the catalogs translate apart: `context` tells the two apart there
// (the state of a table, "missing", beside the reason a note gives).
#define C_(context, text) ::velkan::frontend::TranslateInContext(context "\004" text)

namespace velkan::frontend {

// Takes the language of messages (LC_MESSAGES) and the character type
// (LC_CTYPE) from the environment, and opens the catalogs of the domain
// "velkan" in the folder MessageCatalogFolder finds, written as UTF-8. Call
// once, first thing in main (before any thread).
void SetUpMessages();

// Where the catalogs lie, seen from the program file `program`: the build
// tree's "locale" folder beside its bin/ when there is one, else the
// installation's share/locale (the same relative way as the table root).
std::filesystem::path MessageCatalogFolder(const std::filesystem::path& program);

// The translation of `keyed` ("CONTEXT\004MESSAGE", as C_ writes it) in the
// user's language; MESSAGE when the catalog has none.
const char* TranslateInContext(const char* keyed);

// The translation of `msgid` in the user's language.
const char* Translate(const char* msgid);
// The translation of the message with the English forms `singular` and
// `plural` for `n` things.
const char* TranslatePlural(const char* singular, const char* plural, unsigned long n);

// `note` in the user's language: the one way notes are shown, by the
// command line, its report and the dialog.
std::string RenderNote(const Note& note);

// The error `number` (an errno value) of the operating system in the user's
// language.
std::string SystemErrorText(int number);

}  // namespace velkan::frontend
