// Starting the user's text editor on the converted output, without a shell.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velkan::app {

// The words of an editor setting. Blanks and tabs separate words; text in
// single quotes is taken as it is; in double quotes a backslash keeps a
// following '"' or '\'; outside quotes a backslash keeps the next character
// (so "/opt/my\ editor" is one word). An unterminated quote runs to the end.
std::vector<std::string> SplitCommandWords(std::string_view text);

// `word` written so that SplitCommandWords() reads it back as that one word:
// as it is when it holds nothing special, else in single quotes (a quote
// inside becomes '\'').
std::string QuoteCommandWord(std::string_view word);

// The argument vector that opens `outputPath` in the editor: the words of
// the setting followed by the output path as one word, blanks and all.
// Empty when the setting holds no word (nothing is to be started).
std::vector<std::string> EditorArguments(std::string_view editorSetting, const std::string& outputPath);

// The file a program name stands for: a name holding "/" as it is; any
// other name is looked for in the folders of `searchPath` (":" separated,
// an empty entry meaning the current folder), the first executable regular
// file winning. nullopt when none is found.
std::optional<std::string> FindProgram(const std::string& name, const std::optional<std::string>& searchPath);

// The pattern that opens a file at a line when the settings give none:
// "+LINE FILE", which most editors take.
inline constexpr const char* kDefaultLinePattern = "+%l %f";

// The argument vector that opens `outputPath` at line `line` in the editor:
// the words of the setting, then the words of `linePattern` (the default
// when empty) with "%l" replaced by the line, "%f" by the output path (the
// word staying one word, blanks and all) and "%%" by "%"; the path is added
// as a last word when no word holds "%f". Empty when the setting holds no
// word.
std::vector<std::string> EditorArgumentsAtLine(std::string_view editorSetting, std::string_view linePattern,
                                               const std::string& outputPath, long long line);

struct LaunchResult {
  enum Kind {
    kStarted,         // the editor runs
    kNothingToStart,  // the editor setting is empty
    kFailed,          // the program could not be started (see error)
  };
  Kind kind = kNothingToStart;
  std::string error;  // UTF-8, for the person; empty unless kFailed
};

// Starts the editor on `outputPath` with the arguments of EditorArguments(),
// the program found along the process's PATH, in the current folder and
// environment. The editor runs on its own: it is neither waited for nor
// left behind as a child of this process.
LaunchResult LaunchEditor(std::string_view editorSetting, const std::string& outputPath);

// The same with the arguments `args` (the program first), as
// EditorArgumentsAtLine makes them; nothing is started when it is empty.
LaunchResult LaunchEditorWith(std::vector<std::string> args);

}  // namespace velkan::app
