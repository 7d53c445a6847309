// Errors of the operating system in notes: the errno value is kept, and the
// text is made when the note is shown, in English or through the catalogs.
#include "io/system_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "io/message_mark.h"
#include "io/note.h"

namespace velkan {
namespace {

TEST(SystemErrors, TheNamedOnesAreTheCLibrarysEnglishTexts) {
  // A message that differed from the C library's text would change the
  // English of every note that names it.
  int named = 0;
  for (int e = 1; e < 256; ++e) {
    if (const char* message = SystemErrorMessage(e)) {
      EXPECT_EQ(message, EnglishSystemError(e)) << "errno " << e;
      ++named;
    }
  }
  // Those the program meets with files and folders are all named.
  for (int e : {EPERM, ENOENT, EIO, EACCES, EEXIST, EXDEV, ENOTDIR, EISDIR, EFBIG, ENOSPC, EROFS, ENAMETOOLONG,
                EDQUOT, ELOOP, EBADF}) {
    EXPECT_NE(SystemErrorMessage(e), nullptr) << "errno " << e << " (" << std::strerror(e) << ")";
  }
  EXPECT_GT(named, 20);
}

TEST(SystemErrors, ANoteShowsTheErrorInItsLanguageAndEnglishWithoutOne) {
  const Note reason = Note(N_("cannot create %s: %s"), {std::string("/out/x"), Note::SystemError(EACCES)});
  EXPECT_EQ(reason.Text(), "cannot create /out/x: Permission denied");
  // The catalog's text for the error, as for the message around it.
  auto translate = [](const char* id) -> const char* {
    if (std::strcmp(id, "Permission denied") == 0) return "許可がありません";
    if (std::strcmp(id, "cannot create %s: %s") == 0) return "%s を作成できません: %s";
    return id;
  };
  EXPECT_EQ(reason.Render(translate), "/out/x を作成できません: 許可がありません");
  // Going on in a sentence, the English starts small; a translation is
  // taken as it is.
  const Note inSentence = Note(N_("cannot be read: %s"), {Note::SystemError(EACCES, true)});
  EXPECT_EQ(inSentence.Text(), "cannot be read: permission denied");
  EXPECT_EQ(Note::SystemError(EACCES, true).Render(translate), "許可がありません");
  // An error velkan does not name is worded by the front end's function,
  // else as the C library says it in English.
  const int unnamed = ENOTSOCK;
  ASSERT_EQ(SystemErrorMessage(unnamed), nullptr);
  EXPECT_EQ(Note::SystemError(unnamed).Text(), EnglishSystemError(unnamed));
  EXPECT_EQ(Note::SystemError(unnamed).Render(translate, [](int e) { return "E" + std::to_string(e); }),
            "E" + std::to_string(unnamed));
  // Notes of different errors differ; an empty note is empty.
  EXPECT_FALSE(Note::SystemError(EACCES) == Note::SystemError(EPERM));
  EXPECT_TRUE(Note::SystemError(EACCES) == Note::SystemError(EACCES));
  EXPECT_TRUE(Note().empty());
  EXPECT_FALSE(Note::SystemError(EACCES).empty());
}

}  // namespace
}  // namespace velkan
