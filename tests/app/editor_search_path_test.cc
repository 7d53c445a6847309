// The editor command, its start without a shell, and the search path taken
// from kestovan.ini.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_test_support.h"
#include "app/editor_launch.h"
#include "app/search_path.h"

using velkan::app::LaunchResult;
using namespace velkan::apptest;
using Words = std::vector<std::string>;

namespace {

std::filesystem::path Dir(const QTemporaryDir& d) { return std::filesystem::path(d.path().toStdString()); }

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "<unset>";
}

}  // namespace

class EditorSearchPathTest : public QObject {
  Q_OBJECT

 private slots:
  void settingsSplitIntoWords() {
    struct {
      const char* text;
      Words words;
    } cases[] = {
        {"gedit", {"gedit"}},
        {"  emacs\t-nw  ", {"emacs", "-nw"}},
        {"\"/opt/my editor/ed\" --new", {"/opt/my editor/ed", "--new"}},
        {"'/a b'/c 'it''s'", {"/a b/c", "its"}},
        {"/opt/my\\ editor -x", {"/opt/my editor", "-x"}},
        {"\"say \\\"hi\\\" \\\\ \\n\"", {"say \"hi\" \\ \\n"}},
        {"ed \"\"", {"ed", ""}},
        {"\"unterminated arg", {"unterminated arg"}},
        {"trailing\\", {"trailing\\"}},
        {"", {}},
        {" \t ", {}},
    };
    for (const auto& c : cases) QCOMPARE(velkan::app::SplitCommandWords(c.text), c.words);
  }

  void aQuotedWordReadsBackAsOneWord() {
    QCOMPARE(velkan::app::QuoteCommandWord("/usr/bin/vi"), std::string("/usr/bin/vi"));
    QCOMPARE(velkan::app::QuoteCommandWord("/my tools/ed"), std::string("'/my tools/ed'"));
    for (const char* word : {"", "/a b/c", "it's", "\\x\"", "tab\there", "'"}) {
      QCOMPARE(velkan::app::SplitCommandWords(velkan::app::QuoteCommandWord(word)), Words{word});
    }
  }

  void theOutputPathIsOneArgument() {
    QCOMPARE(velkan::app::EditorArguments("/usr/bin/ed -s", "/out dir/job 1.txt"),
             (Words{"/usr/bin/ed", "-s", "/out dir/job 1.txt"}));
    QCOMPARE(velkan::app::EditorArguments("   ", "/out/job.txt"), Words{});
  }

  void theLinePatternPlacesTheLineAndThePath() {
    using velkan::app::EditorArgumentsAtLine;
    QCOMPARE(EditorArgumentsAtLine("vi", "", "/out dir/job.txt", 12), (Words{"vi", "+12", "/out dir/job.txt"}));
    QCOMPARE(EditorArgumentsAtLine("code -r", "--goto '%f:%l' 100%%", "/o/a b.txt", 7),
             (Words{"code", "-r", "--goto", "/o/a b.txt:7", "100%"}));
    // Without %f the path comes last.
    QCOMPARE(EditorArgumentsAtLine("kate", "--line %l", "/o/x.txt", 3), (Words{"kate", "--line", "3", "/o/x.txt"}));
    QCOMPARE(EditorArgumentsAtLine(" ", "+%l %f", "/o/x.txt", 3), Words{});
  }

  void programsAreFoundAlongTheSearchPath() {
    QTemporaryDir d;
    const auto a = Dir(d) / "a", b = Dir(d) / "b", c = Dir(d) / "c";
    WriteFile(a / "ed", "not executable");
    std::filesystem::create_directories(b / "ed");  // a folder, not a program
    WriteRecordingEditor(c / "ed");
    const std::string path = a.string() + ":" + b.string() + ":" + c.string();
    QCOMPARE(velkan::app::FindProgram("ed", path).value_or("?"), (c / "ed").string());
    QVERIFY(!velkan::app::FindProgram("ed", a.string()).has_value());
    QVERIFY(!velkan::app::FindProgram("ed", std::nullopt).has_value());
    QVERIFY(!velkan::app::FindProgram("", path).has_value());
    // A name with a folder is taken as it is.
    QCOMPARE(velkan::app::FindProgram("./ed", path).value_or("?"), std::string("./ed"));
    // An empty entry is the current folder.
    std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(c);
    std::optional<std::string> found = velkan::app::FindProgram("ed", a.string() + "::" + b.string());
    std::filesystem::current_path(here);
    QCOMPARE(found.value_or("?"), std::string("./ed"));
  }

  void theEditorGetsItsWordsAndTheOutputPath() {
    QTemporaryDir d;
    const auto editor = Dir(d) / "tool folder" / "record editor";
    WriteRecordingEditor(editor);
    const std::string output = (Dir(d) / "out put" / "job 1.txt").string();
    LaunchResult r = velkan::app::LaunchEditor("'" + editor.string() + "' -n --line=3", output);
    QCOMPARE(r.kind, LaunchResult::kStarted);
    QVERIFY(r.error.empty());
    QCOMPARE(WaitForRecord(editor).value_or(Words{"<not run>"}), (Words{"-n", "--line=3", output}));
  }

  void theEditorStartsWithNoSignalBlockedAndSigxfszByDefault() {
    // As the dialog runs: the ending signals blocked for the thread that
    // takes them, SIGXFSZ ignored.
    sigset_t ending, before;
    sigemptyset(&ending);
    for (int sig : {SIGHUP, SIGINT, SIGTERM}) sigaddset(&ending, sig);
    ::pthread_sigmask(SIG_BLOCK, &ending, &before);
    struct sigaction ignore {}, old {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &old);

    // The "editor" is grep itself (a shell would clear its mask first), its
    // "output" its own status, and what it prints goes to `record`.
    QTemporaryDir d;
    const auto record = Dir(d) / "status";
    const int saved = ::dup(STDOUT_FILENO);
    const int fd = ::open(record.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    std::fflush(stdout);
    ::dup2(fd, STDOUT_FILENO);
    ::close(fd);
    LaunchResult r = velkan::app::LaunchEditor("grep ^Sig[BI]", "/proc/self/status");
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    ::sigaction(SIGXFSZ, &old, nullptr);
    ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
    QCOMPARE(r.kind, LaunchResult::kStarted);

    QElapsedTimer clock;
    clock.start();
    std::string status;
    while ((status = ReadFile(record)).find("SigIgn:") == std::string::npos && clock.elapsed() < 5000) {
      QThread::msleep(10);
    }
    auto mask = [&](const char* name) {
      const size_t at = status.find(name);
      return at == std::string::npos ? ~0ULL : std::stoull(status.substr(at + std::strlen(name)), nullptr, 16);
    };
    QCOMPARE(mask("SigBlk:"), 0ULL);
    QCOMPARE(mask("SigIgn:") >> (SIGXFSZ - 1) & 1, 0ULL);
  }

  void anEmptySettingStartsNothing() {
    LaunchResult r = velkan::app::LaunchEditor("", "/out/job.txt");
    QCOMPARE(r.kind, LaunchResult::kNothingToStart);
    QVERIFY(r.error.empty());
  }

  void aFailedStartIsReported() {
    QTemporaryDir d;
    ScopedEnv path("PATH", Dir(d).string());
    LaunchResult missing = velkan::app::LaunchEditor("no-such-editor-here", "/out/job.txt");
    QCOMPARE(missing.kind, LaunchResult::kFailed);
    QVERIFY(missing.error.find("no-such-editor-here") != std::string::npos);
    // A name that is no UTF-8 is shown escaped, as messages show paths.
    missing = velkan::app::LaunchEditor("editor\xff", "/out/job.txt");
    QVERIFY2(missing.error.find("editor\\xff") != std::string::npos, missing.error.c_str());

    // Found, but the exec itself fails: the failure comes back from the
    // started process.
    const auto notExecutable = Dir(d) / "plain.txt";
    WriteFile(notExecutable, "text");
    LaunchResult refused = velkan::app::LaunchEditor(notExecutable.string(), "/out/job.txt");
    QCOMPARE(refused.kind, LaunchResult::kFailed);
    QVERIFY(refused.error.find(notExecutable.string()) != std::string::npos);
  }

  void theSearchPathGetsTheProfileFolderInFront() {
    QCOMPARE(velkan::app::ExtendedSearchPath("/opt/fontutl/", std::string("/usr/bin:/bin")),
             std::string("/opt/fontutl:/usr/bin:/bin"));
    QCOMPARE(velkan::app::ExtendedSearchPath("/opt/fontutl", std::nullopt), std::string("/opt/fontutl"));
    QCOMPARE(velkan::app::ExtendedSearchPath("/opt//", std::string("")), std::string("/opt/:"));
    QCOMPARE(velkan::app::ExtendedSearchPath("/", std::string("/bin")), std::string("/:/bin"));
  }

  void setUpSearchPathReadsKestovanIni() {
    QTemporaryDir d;
    ScopedEnv xdg("XDG_CONFIG_HOME", Dir(d).string());
    const auto profile = velkan::app::SharedProfilePath();
    QCOMPARE(profile, Dir(d) / "velkan" / "kestovan.ini");

    ScopedEnv path("PATH", std::string("/usr/bin:/bin"));
    // No profile, no key, an empty value: PATH stays as it was.
    QVERIFY(!velkan::app::SetUpSearchPath(profile));
    WriteFile(profile, "[PATH]\nother=/x\n");
    QVERIFY(!velkan::app::SetUpSearchPath(profile));
    WriteFile(profile, "[PATH]\ntzwfntutl=\n");
    QVERIFY(!velkan::app::SetUpSearchPath(profile));
    QCOMPARE(Env("PATH"), std::string("/usr/bin:/bin"));

    const auto tools = Dir(d) / "font utl";
    WriteRecordingEditor(tools / "recorder");
    WriteFile(profile, "[path]\nTZWFNTUTL=" + tools.string() + "/\n");
    QVERIFY(velkan::app::SetUpSearchPath(profile));
    QCOMPARE(Env("PATH"), tools.string() + ":/usr/bin:/bin");

    // A program in that folder is now started by its bare name.
    LaunchResult r = velkan::app::LaunchEditor("recorder", "/out/job.txt");
    QCOMPARE(r.kind, LaunchResult::kStarted);
    QCOMPARE(WaitForRecord(tools / "recorder").value_or(Words{"<not run>"}), Words{"/out/job.txt"});

    ScopedEnv unset("PATH", std::nullopt);
    QVERIFY(velkan::app::SetUpSearchPath(profile));
    QCOMPARE(Env("PATH"), tools.string());
  }
};

QTEST_GUILESS_MAIN(EditorSearchPathTest)
#include "editor_search_path_test.moc"
