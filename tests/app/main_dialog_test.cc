// The main dialog on the offscreen platform: defaults, browsing, Convert
// with its progress dialog and messages, Cancel, the keys, cancelling a
// conversion, the editor start and the About box.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <QtTest>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <thread>

#include "app/about_dialog.h"
#include "app/app_test_support.h"
#include "app/main_dialog.h"
#include "app/progress_dialog.h"
#include "app/settings.h"
#include "app/warning_list_dialog.h"
#include "engine/job.h"
#include "engine/version.h"
#include "support/fifo_drain_guard.h"

using velkan::app::LaunchResult;
using velkan::app::MainDialog;
using velkan::app::ProgressDialog;
using namespace velkan::apptest;
using Words = std::vector<std::string>;

namespace {

// The worked example: a size group, one character and a line end.
const std::vector<uint16_t> kJobWords = {0xD003, 0xD052, 0xC341, 0xC342, 0xD004, 0x45A1, 0xD009};

// What the modal windows opened during a step showed. Answers each one the
// way a person would: OK on a message box and on a progress dialog whose
// job has ended, close on the About box.
struct ModalLog {
  QStringList messages;  // "caption|text" of each message box
  QStringList progressStatus;
  QStringList progressNotes;
  QList<int> progressPermille;
  QStringList aboutTexts;  // the labels of each About box, joined by "|"
  QStringList aboutCaptions;
};

// The progress dialog shown now, if any (it is no modal window).
ProgressDialog* ShownProgress() {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* p = qobject_cast<ProgressDialog*>(w); p != nullptr && p->isVisible()) return p;
  }
  return nullptr;
}

class ModalAnswerer : public QObject {
 public:
  explicit ModalAnswerer(ModalLog& log) : log_(log) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { Answer(); });
    timer_.start();
  }

 private:
  void Answer() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      log_.messages << box->windowTitle() + QLatin1Char('|') + box->text();
      box->accept();
    } else if (auto* about = qobject_cast<velkan::app::AboutDialog*>(modal)) {
      QStringList texts;
      for (QLabel* l : about->findChildren<QLabel*>()) {
        if (!l->text().isEmpty()) texts << l->text();
      }
      log_.aboutTexts << texts.join(QLatin1Char('|'));
      log_.aboutCaptions << about->windowTitle();
      about->accept();
    } else if (auto* progress = ShownProgress()) {
      if (!progress->JobEnded()) return;
      log_.progressStatus << progress->StatusText();
      log_.progressNotes << progress->NotesText();
      log_.progressPermille << progress->ProgressPermille();
      QTest::mouseClick(progress->findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
    }
  }

  ModalLog& log_;
  QTimer timer_;
};

std::filesystem::path Dir(const QTemporaryDir& d) { return std::filesystem::path(d.path().toStdString()); }

// A job of many blocks: `lines` lines of four characters.
std::string LongJobBytes(int lines) {
  std::vector<uint16_t> words;
  for (int i = 0; i < lines; ++i) words.insert(words.end(), {0x45A1, 0x45A2, 0x45A3, 0x45A4, 0xD009});
  return WordBytes(words);
}

// Holds a job at its first progress report, early in its first block,
// until released (or ten seconds have passed, so that a failing test never
// hangs): what the test does meanwhile happens while the job runs.
struct JobGate {
  std::atomic<bool> reached{false};
  std::atomic<bool> released{false};
  void Hold(velkan::JobOptions& o) {
    o.progress = [this](int, long long, long long) {
      reached = true;
      auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
      while (!released && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    };
  }
};

// The names of the files in `dir`.
QStringList FilesIn(const std::filesystem::path& dir) {
  QStringList names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names << QString::fromStdString(e.path().filename());
  names.sort();
  return names;
}

}  // namespace

class MainDialogTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> temp_;
  std::unique_ptr<ScopedEnv> xdg_, root_;
  std::filesystem::path tableRoot_;

  std::filesystem::path Temp() const { return Dir(*temp_); }
  std::filesystem::path SettingsPath() const { return Temp() / "config" / "velkan" / "velkan.ini"; }

  static QLineEdit* Edit(MainDialog& d, const char* name) {
    return d.findChild<QLineEdit*>(QString::fromLatin1(name) + QStringLiteral("Edit"));
  }
  static QAbstractButton* Button(MainDialog& d, const char* name) {
    return d.findChild<QAbstractButton*>(QString::fromLatin1(name));
  }
  static void Click(MainDialog& d, const char* name) {
    QAbstractButton* b = Button(d, name);
    QVERIFY2(b, name);
    QTest::mouseClick(b, Qt::LeftButton);
  }
  // Fills the dialog for a conversion of the worked example.
  void FillJob(MainDialog& d, const std::filesystem::path& input, const std::filesystem::path& output) {
    WriteFile(input, WordBytes(kJobWords));
    Edit(d, "inputFile")->setText(QString::fromStdString(input.string()));
    Edit(d, "outputFile")->setText(QString::fromStdString(output.string()));
  }
  // The output the engine writes for the same job.
  std::string EngineOutput(const std::filesystem::path& input) {
    velkan::JobOptions o;
    o.inputFile = input.string();
    o.outputFile = (Temp() / "engine.out").string();
    o.tableRoot = tableRoot_;
    velkan::Session session;
    velkan::JobResult r = velkan::RunConversionJob(session, o);
    if (r.status != velkan::JobStatus::kCompleted) return "<engine failed>";
    return ReadFile(o.outputFile);
  }

 private slots:
  void init() {
    temp_ = std::make_unique<QTemporaryDir>();
    QVERIFY(temp_->isValid());
    xdg_ = std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", (Temp() / "config").string());
    tableRoot_ = MakeTableRoot(Temp() / "tables");
    root_ = std::make_unique<ScopedEnv>("VELKAN_ROOT", tableRoot_.string());
    QCOMPARE(velkan::app::SettingsFilePath(), SettingsPath());
  }

  void cleanup() {
    root_.reset();
    xdg_.reset();
    temp_.reset();
  }

  void firstStartShowsTheDefaults() {
    MainDialog d(velkan::app::SettingsFilePath());
    QCOMPARE(d.windowTitle(), QStringLiteral("VELKAN変換"));
    for (const char* name : {"udfFile", "inputFile", "outputFile", "defineFile"}) {
      QVERIFY2(Edit(d, name), name);
      QCOMPARE(Edit(d, name)->text(), QString());
    }
    for (const char* name : {"kumi0", "unit0", "warning0"}) QVERIFY2(Button(d, name)->isChecked(), name);
    for (const char* name : {"kumi1", "unit1", "warning1", "inputEncoding1", "editerBoot"}) {
      QVERIFY2(!Button(d, name)->isChecked(), name);
    }
    QVERIFY(!std::filesystem::exists(SettingsPath()));
  }

  void theControlsCarryTheirLabelsInOrder() {
    MainDialog d(SettingsPath());
    d.show();
    QStringList labels;
    QList<QWidget*> widgets;
    for (QLabel* l : d.findChildren<QLabel*>()) widgets << l;
    for (QAbstractButton* b : d.findChildren<QAbstractButton*>()) widgets << b;
    // Reading order: top to bottom, then left to right.
    std::sort(widgets.begin(), widgets.end(), [](QWidget* a, QWidget* b) {
      QPoint pa = a->mapTo(a->window(), QPoint(0, a->height() / 2));
      QPoint pb = b->mapTo(b->window(), QPoint(0, b->height() / 2));
      if (qAbs(pa.y() - pb.y()) > 4) return pa.y() < pb.y();
      return pa.x() < pb.x();
    });
    for (QWidget* w : widgets) {
      if (auto* l = qobject_cast<QLabel*>(w)) labels << l->text();
      if (auto* b = qobject_cast<QAbstractButton*>(w)) labels << b->text();
    }
    QCOMPARE(labels, (QStringList{"UDFファイル", "参照", "入力ファイル", "参照", "出力ファイル", "参照",
                                  "定義ファイル", "参照", "組方向", "横組", "縦組", "単位", "pt", "Q",
                                  "ワーニング", "出力", "非出力", "入力の文字コード", "Shift_JIS", "UTF-8",
                                  "変換後にエディタ起動", "エディタ設定",
                                  "変換", "ｷｬﾝｾﾙ"}));
  }

  void savedSettingsAreShown() {
    WriteFile(SettingsPath(),
              "[VELKAN]\nUDFFile=/u.zan\nInputFile=/in put.txt\nOutputFile=/o.txt\nDefineFile=/d.def\n"
              "Editer=vi\nKumi=1\nUnit=1abc\nWarning=1\nEditerBoot=1\nInputEncoding=1\n");
    MainDialog d(SettingsPath());
    QCOMPARE(Edit(d, "udfFile")->text(), QStringLiteral("/u.zan"));
    QCOMPARE(Edit(d, "inputFile")->text(), QStringLiteral("/in put.txt"));
    QCOMPARE(Edit(d, "outputFile")->text(), QStringLiteral("/o.txt"));
    QCOMPARE(Edit(d, "defineFile")->text(), QStringLiteral("/d.def"));
    for (const char* name : {"kumi1", "unit1", "warning1", "inputEncoding1", "editerBoot"}) {
      QVERIFY2(Button(d, name)->isChecked(), name);
    }
    QCOMPARE(d.fields().editer, std::string("vi"));
  }

  // The second choices of the options stand in one column, however long
  // the first ones' texts.
  void theChoicesStandInColumns() {
    MainDialog d(SettingsPath());
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    for (const char* name : {"unit", "warning", "inputEncoding"}) {
      const QByteArray n(name);
      QCOMPARE(Button(d, n + "0")->x(), Button(d, "kumi0")->x());
      QCOMPARE(Button(d, n + "1")->x(), Button(d, "kumi1")->x());
      QVERIFY(Button(d, n + "0")->geometry().right() < Button(d, n + "1")->x());
    }
  }

  // The window opens at the size its controls ask for and is never made
  // smaller or taller; made wider, it gives the width to the path fields
  // alone, so that a long path shows whole.
  void wideningTheWindowWidensThePathFields() {
    MainDialog d(SettingsPath());
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    const QSize start = d.size();
    QCOMPARE(d.minimumSize(), start);
    QCOMPARE(d.maximumHeight(), start.height());
    QVERIFY(d.maximumWidth() > start.width());
    const char* const fields[] = {"udfFile", "inputFile", "outputFile", "defineFile"};
    const char* const buttons[] = {"udfFileBrowse", "inputFileBrowse", "outputFileBrowse", "defineFileBrowse",
                                   "editorButton",  "convertButton",   "cancelButton",     "kumi0"};
    auto fieldWidths = [&] {
      QList<int> w;
      for (const char* name : fields) w << Edit(d, name)->width();
      return w;
    };
    auto buttonWidths = [&] {
      QList<int> w;
      for (const char* name : buttons) w << Button(d, name)->width();
      return w;
    };
    const QList<int> fieldsBefore = fieldWidths(), buttonsBefore = buttonWidths();

    constexpr int kMore = 300;
    d.resize(start.width() + kMore, start.height() + kMore);
    QTRY_COMPARE(d.width(), start.width() + kMore);
    QCOMPARE(d.height(), start.height());
    QList<int> wider;
    for (int w : fieldsBefore) wider << w + kMore;
    QTRY_COMPARE(fieldWidths(), wider);
    QCOMPARE(buttonWidths(), buttonsBefore);
    // The Convert button stays beside Cancel.
    QCOMPARE(Button(d, "cancelButton")->x() - Button(d, "convertButton")->geometry().right() - 1,
             d.findChild<QGridLayout*>()->horizontalSpacing());

    d.resize(start.width() - 100, start.height() - 50);
    QTRY_COMPARE(d.size(), start);
    QTRY_COMPARE(fieldWidths(), fieldsBefore);
  }

  // A field's tooltip shows its whole path, following the text; a name that
  // is no UTF-8 shows escaped, as messages show it, and is kept byte for
  // byte while the field is left as it is.
  void aPathFieldsTooltipShowsItsWholePath() {
    const auto input = Temp() / "jobs" / "job\xff 1.zan";
    const auto shown = Temp() / "jobs" / "job\\xff 1.zan";
    WriteFile(input, WordBytes(kJobWords));
    // QTemporaryDir cannot remove a name that is no UTF-8.
    const std::unique_ptr<const std::filesystem::path, void (*)(const std::filesystem::path*)> removed(
        &input, [](const std::filesystem::path* p) { std::filesystem::remove(*p); });
    WriteFile(SettingsPath(), "[VELKAN]\nInputFile=" + input.string() + "\nOutputFile=" +
                                  (Temp() / "job.out").string() + "\n");
    MainDialog d(SettingsPath());
    QCOMPARE(Edit(d, "inputFile")->toolTip(), QString::fromStdString(shown.string()));
    QCOMPARE(Edit(d, "outputFile")->toolTip(), QString::fromStdString((Temp() / "job.out").string()));
    QCOMPARE(Edit(d, "udfFile")->toolTip(), QString());

    const QString typed = QStringLiteral("/組版/とても長いフォルダの名前/その下のフォルダ/出力 ファイル.txt");
    Edit(d, "defineFile")->setText(typed);
    QCOMPARE(Edit(d, "defineFile")->toolTip(), typed);
    Edit(d, "defineFile")->setText(QString());
    QCOMPARE(Edit(d, "defineFile")->toolTip(), QString());

    ModalLog log;
    ModalAnswerer answer(log);
    Click(d, "convertButton");
    QCOMPARE(log.messages, QStringList());
    QVERIFY(ReadFile(SettingsPath()).find("InputFile=" + input.string() + "\n") != std::string::npos);
    QCOMPARE(ReadFile(Temp() / "job.out"), EngineOutput(input));

    // Typed over, the field holds what it shows.
    Edit(d, "inputFile")->setText(QStringLiteral("/typed/in.zan"));
    QCOMPARE(Edit(d, "inputFile")->toolTip(), QStringLiteral("/typed/in.zan"));
  }

  void browsingShowsTheChoiceButSavesNothing() {
    WriteFile(SettingsPath(), "[VELKAN]\nInputFile=/old/in.zan\n");
    const std::string before = ReadFile(SettingsPath());
    MainDialog d(SettingsPath());
    QStringList initials, filters;
    QString answer;
    d.SetFileChooser([&](QWidget*, const QString& initial, const QString& filter) {
      initials << initial;
      filters << filter;
      return answer;
    });
    answer = QStringLiteral("/new/in put.zan");
    Click(d, "inputFileBrowse");
    QCOMPARE(Edit(d, "inputFile")->text(), answer);
    answer = QString();  // cancelled: the box keeps what it had
    Click(d, "inputFileBrowse");
    QCOMPARE(Edit(d, "inputFile")->text(), QStringLiteral("/new/in put.zan"));
    Edit(d, "udfFile")->setText(QStringLiteral("/typed/u.zan"));
    answer = QStringLiteral("/chosen/u.zan");
    Click(d, "udfFileBrowse");
    answer = QStringLiteral("/chosen/new-output.txt");
    Click(d, "outputFileBrowse");
    answer = QStringLiteral("/chosen/names.def");
    Click(d, "defineFileBrowse");
    answer = QStringLiteral("/usr/bin/editor");
    Click(d, "editorButton");

    QCOMPARE(initials, (QStringList{"/old/in.zan", "/new/in put.zan", "/typed/u.zan", "", "", ""}));
    const QString texts = QStringLiteral("ﾃｷｽﾄ ﾌｧｲﾙ(*.txt);;ZAN ﾌｧｲﾙ(*.zan)");
    QCOMPARE(filters, (QStringList{texts, texts, texts, "ﾃｷｽﾄ ﾌｧｲﾙ(*.txt)", "定義ﾌｧｲﾙ(*.def)",
                                   "プログラム(*);;全てのファイル(*)"}));
    QCOMPARE(Edit(d, "udfFile")->text(), QStringLiteral("/chosen/u.zan"));
    QCOMPARE(Edit(d, "outputFile")->text(), QStringLiteral("/chosen/new-output.txt"));
    QCOMPARE(Edit(d, "defineFile")->text(), QStringLiteral("/chosen/names.def"));
    QCOMPARE(d.fields().editer, std::string("/usr/bin/editor"));
    QCOMPARE(ReadFile(SettingsPath()), before);
  }

  void cancelSavesNothing() {
    MainDialog d(SettingsPath());
    d.show();
    Edit(d, "inputFile")->setText(QStringLiteral("/in.zan"));
    Button(d, "kumi1")->setChecked(true);
    Button(d, "editerBoot")->setChecked(true);
    Click(d, "cancelButton");
    QCOMPARE(d.result(), int(QDialog::Rejected));
    QVERIFY(!d.isVisible());
    QVERIFY(!std::filesystem::exists(SettingsPath()));
    QVERIFY(!std::filesystem::exists(SettingsPath().parent_path()));
  }

  void convertSavesTheNineKeysAndConverts() {
    MainDialog d(SettingsPath());
    const auto input = Temp() / "jobs" / "job 1.zan";
    const auto output = Temp() / "jobs" / "job 1.out.txt";
    FillJob(d, input, output);
    Edit(d, "defineFile")->setText(QStringLiteral("/no/such.def"));
    Button(d, "warning1")->setChecked(true);
    Button(d, "unit1")->setChecked(true);
    d.SetFileChooser([](QWidget*, const QString&, const QString&) { return QStringLiteral("/usr/bin/vi"); });
    Click(d, "editorButton");

    ModalLog log;
    ModalAnswerer answer(log);
    Click(d, "convertButton");

    QCOMPARE(ReadFile(SettingsPath()), "[VELKAN]\nUDFFile=\nInputFile=" + input.string() +
                                           "\nOutputFile=" + output.string() +
                                           "\nDefineFile=/no/such.def\nEditer=/usr/bin/vi\n"
                                           "Kumi=0\nUnit=1\nWarning=1\nEditerBoot=0\nInputEncoding=0\n");
    QCOMPARE(log.messages, QStringList());
    QCOMPARE(log.progressStatus, QStringList{QStringLiteral("処理を終了しました")});
    QCOMPARE(log.progressPermille, QList<int>{1000});
    // The missing definition file is all the job has to say.
    QVERIFY2(log.progressNotes.value(0).contains(QStringLiteral("/no/such.def")),
             qPrintable(log.progressNotes.value(0)));

    // The same bytes as the engine writes for the job, given the unit.
    velkan::JobOptions o;
    o.inputFile = input.string();
    o.outputFile = (Temp() / "engine.out").string();
    o.defineFile = "/no/such.def";
    o.unit = 1;
    o.warning = 1;
    o.tableRoot = tableRoot_;
    velkan::Session session;
    QCOMPARE(velkan::RunConversionJob(session, o).status, velkan::JobStatus::kCompleted);
    const std::string written = ReadFile(output);
    QCOMPARE(written, ReadFile(o.outputFile));
    QVERIFY(written.find("<ZAN2 code=45a1>") != std::string::npos);
    QVERIFY(written.ends_with("\r\n"));
  }

  void theRootKeyNamesTheTables() {
    ScopedEnv noRoot("VELKAN_ROOT", (Temp() / "empty").string());
    WriteFile(SettingsPath(), "[VELKAN]\nRoot=" + tableRoot_.string() + "\n");
    MainDialog d(SettingsPath());
    const auto input = Temp() / "job.zan", output = Temp() / "job.out";
    FillJob(d, input, output);
    ModalLog log;
    ModalAnswerer answer(log);
    Click(d, "convertButton");
    // The pi-font file was found under Root, not under VELKAN_ROOT.
    QCOMPARE(log.progressNotes.size(), 1);
    QVERIFY2(!log.progressNotes.value(0).contains(QStringLiteral("pifont")), qPrintable(log.progressNotes.value(0)));
    QCOMPARE(ReadFile(output), EngineOutput(input));
    QVERIFY(ReadFile(SettingsPath()).ends_with("EditerBoot=0\nInputEncoding=0\n"));
    QVERIFY(ReadFile(SettingsPath()).find("Root=" + tableRoot_.string() + "\n") != std::string::npos);
  }

  void aMissingInputIsAMessage() {
    MainDialog d(SettingsPath());
    const std::string missing = (Temp() / "nowhere.zan").string();
    Edit(d, "inputFile")->setText(QString::fromStdString(missing));
    Edit(d, "outputFile")->setText(QString::fromStdString((Temp() / "o.txt").string()));
    ModalLog log;
    ModalAnswerer answer(log);
    Click(d, "convertButton");
    QCOMPARE(log.messages,
             QStringList{QStringLiteral("組版メッセージ|「") + QString::fromStdString(missing) +
                         QStringLiteral("」ファイルが見つかりません。")});
    QCOMPARE(log.progressStatus, QStringList{QStringLiteral("処理を終了しました")});
    // The settings were saved before the job ran.
    QVERIFY(ReadFile(SettingsPath()).find("InputFile=" + missing + "\n") != std::string::npos);
  }

  void anOutputThatCannotBeCreatedIsAMessage() {
    MainDialog d(SettingsPath());
    const auto output = Temp() / "no folder" / "o.txt";
    FillJob(d, Temp() / "job.zan", output);
    ModalLog log;
    ModalAnswerer answer(log);
    Click(d, "convertButton");
    QCOMPARE(log.messages, QStringList{QStringLiteral("組版メッセージ|「") + QString::fromStdString(output.string()) +
                                       QStringLiteral("」ファイルが作成できません。")});
  }

  void aFailureTheOutputDoesNotShowIsNoted() {
    // A root that exists (so the format store can be made there) but holds
    // no pi-font file: the pass ends without converting.
    std::filesystem::create_directories(Temp() / "empty root");
    ScopedEnv noTables("VELKAN_ROOT", (Temp() / "empty root").string());
    MainDialog d(SettingsPath());
    const auto output = Temp() / "job.out";
    FillJob(d, Temp() / "job.zan", output);
    ModalLog log;
    ModalAnswerer answer(log);
    Click(d, "convertButton");
    QCOMPARE(log.messages, QStringList());
    QCOMPARE(log.progressStatus, QStringList{QStringLiteral("処理を終了しました")});
    QVERIFY2(log.progressNotes.value(0).contains(QStringLiteral("pifont.fil")), qPrintable(log.progressNotes.value(0)));
    QVERIFY(log.progressPermille.value(0) < 1000);
    QVERIFY(std::filesystem::exists(output));
    QCOMPARE(ReadFile(output), std::string());
  }

  void aSettingsFileThatCannotBeWrittenIsNoted() {
    WriteFile(Temp() / "config" / "velkan", "a file where the folder should be");
    MainDialog d(SettingsPath());
    FillJob(d, Temp() / "job.zan", Temp() / "job.out");
    ModalLog log;
    ModalAnswerer answer(log);
    Click(d, "convertButton");
    QVERIFY2(log.progressNotes.value(0).contains(QStringLiteral("settings not saved: ") +
                                                 QString::fromStdString(SettingsPath().parent_path().string())),
             qPrintable(log.progressNotes.value(0)));
    QCOMPARE(ReadFile(Temp() / "job.out"), EngineOutput(Temp() / "job.zan"));
  }

  void enterPressesTheFocusedButtonNeverConvert() {
    const auto output = Temp() / "job.out";
    WriteFile(output, "earlier");
    MainDialog d(SettingsPath());
    FillJob(d, Temp() / "job.zan", output);
    QStringList asked;
    d.SetFileChooser([&](QWidget*, const QString&, const QString& filter) {
      asked << filter;
      return QString();
    });
    d.show();
    QVERIFY(QTest::qWaitForWindowActive(&d));
    ModalLog log;
    ModalAnswerer answer(log);
    for (const char* name : {"udfFileBrowse", "inputFileBrowse", "outputFileBrowse", "defineFileBrowse", "editorButton"}) {
      for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        QAbstractButton* b = Button(d, name);
        QVERIFY2(b, name);
        b->setFocus();
        QTest::keyClick(b, key);
      }
    }
    QCOMPARE(asked.size(), 10);
    QCOMPARE(log.progressStatus, QStringList());
    QCOMPARE(ReadFile(output), std::string("earlier"));
    QVERIFY(!std::filesystem::exists(SettingsPath()));

    // From an edit box (or once the focus has left a button) Enter converts.
    Edit(d, "inputFile")->setFocus();
    QTest::keyClick(Edit(d, "inputFile"), Qt::Key_Return);
    QCOMPARE(log.progressStatus, QStringList{QStringLiteral("処理を終了しました")});
    QCOMPARE(ReadFile(output), EngineOutput(Temp() / "job.zan"));

    // Enter on ｷｬﾝｾﾙ closes the dialog.
    Button(d, "cancelButton")->setFocus();
    QTest::keyClick(Button(d, "cancelButton"), Qt::Key_Return);
    QCOMPARE(d.result(), int(QDialog::Rejected));
    QVERIFY(!d.isVisible());
    QCOMPARE(log.progressStatus.size(), 1);
  }

  void theWarningsAreCountedListedAndOpenedAtTheirLine() {
    // Two lines of warnings behind a line of text; none for a job without.
    const auto input = Temp() / "warned.zan";
    WriteFile(input, WordBytes({0x45A1, 0xD009, 0xD077, 0xD009, 0x45A2, 0xD077, 0xD077, 0xD009}));
    velkan::JobOptions o;
    o.inputFile = input.string();
    o.outputFile = (Temp() / "warned.txt").string();
    o.tableRoot = tableRoot_;
    velkan::Session session;
    ProgressDialog p(session, o);
    QCOMPARE(p.WarningCountText(), QString());
    p.show();
    QTRY_VERIFY(p.JobEnded());
    QCOMPARE(p.result().status, velkan::JobStatus::kCompleted);
    QCOMPARE(p.WarningCountText(), QStringLiteral("警告 3 件"));
    QVERIFY(p.WarningListEnabled());
    QCOMPARE(p.findChild<QPushButton*>(QStringLiteral("warningListButton"))->text(), QStringLiteral("警告一覧"));

    QList<long long> opened;
    velkan::app::WarningListDialog list(p.result().warnings, [&](long long line) { opened << line; });
    QTableWidget* table = list.table();
    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("見出し追い出し"));
    QCOMPARE(table->item(2, 2)->data(Qt::DisplayRole).toLongLong(), 3LL);
    // Sorted by line, the other way round: the last line comes first.
    table->sortByColumn(0, Qt::DescendingOrder);
    QCOMPARE(table->item(0, 0)->data(Qt::DisplayRole).toLongLong(), 3LL);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QRect cell = table->visualItemRect(table->item(2, 1));
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(opened, QList<long long>{2});

    // The view of the output, decoded, at the line asked for.
    velkan::app::OutputView view(QString::fromStdString(o.outputFile), 3);
    QCOMPARE(view.CurrentLine(), 3);
    QVERIFY(view.Text().contains(QStringLiteral("<WAR \"見出し追い出し\">")));

    velkan::JobOptions plain = o;
    plain.inputFile = (Temp() / "plain.zan").string();
    WriteFile(plain.inputFile, WordBytes(kJobWords));
    ProgressDialog q(session, plain);
    q.show();
    QTRY_VERIFY(q.JobEnded());
    QCOMPARE(q.WarningCountText(), QStringLiteral("警告 0 件"));
    QVERIFY(!q.WarningListEnabled());
  }

  void aRunningConversionCanBeCancelled() {
    const auto input = Temp() / "long.zan";
    WriteFile(input, LongJobBytes(60000));
    const auto folder = Temp() / "out";
    const auto output = folder / "job.txt";
    WriteFile(output, "earlier");
    enum Way { kClick, kEnter, kEscape, kClose };
    for (Way way : {kClick, kEnter, kEscape, kClose}) {
      velkan::JobOptions o;
      o.inputFile = input.string();
      o.outputFile = output.string();
      o.tableRoot = tableRoot_;
      JobGate gate;
      gate.Hold(o);
      velkan::Session session;
      ProgressDialog p(session, o);
      p.show();
      QTRY_VERIFY(gate.reached);
      QCOMPARE(p.StatusText(), QStringLiteral("処理中..."));
      auto* abort = p.findChild<QPushButton*>(QStringLiteral("cancelButton"));
      gate.released = abort == nullptr;
      QVERIFY(abort);
      QCOMPARE(abort->text(), QStringLiteral("中止"));
      QVERIFY(abort->isEnabled());
      switch (way) {
        case kClick: QTest::mouseClick(abort, Qt::LeftButton); break;
        case kEnter:
          abort->setFocus();
          QTest::keyClick(abort, Qt::Key_Return);
          break;
        case kEscape: QTest::keyClick(&p, Qt::Key_Escape); break;
        case kClose: p.close(); break;
      }
      gate.released = true;
      QTRY_VERIFY(p.JobEnded());
      QCOMPARE(p.result().status, velkan::JobStatus::kCancelled);
      QCOMPARE(p.StatusText(), QStringLiteral("処理を中止しました"));
      QVERIFY2(p.NotesText().contains(QStringLiteral("was left as it was")), qPrintable(p.NotesText()));
      QCOMPARE(ReadFile(output), std::string("earlier"));
      QCOMPARE(FilesIn(folder), QStringList{"job.txt"});
      // The dialog stays until OK (or Escape, now) closes it.
      QVERIFY(p.isVisible());
      QVERIFY(!abort->isEnabled());
      QTest::keyClick(&p, Qt::Key_Escape);
      QVERIFY(!p.isVisible());
    }
  }

  void aConversionWaitingOnAFifoCanBeCancelled() {
    // An output no one reads: the job waits for a reader (for ever, unless
    // the guard lets it through and fails the test).
    const auto input = Temp() / "long.zan";
    WriteFile(input, LongJobBytes(60000));
    const auto fifo = Temp() / "fifo";
    QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
    for (bool andClose : {false, true}) {
      velkan::JobOptions o;
      o.inputFile = input.string();
      o.outputFile = fifo.string();
      o.tableRoot = tableRoot_;
      std::optional<velkan::test::FifoDrainGuard> guard;
      velkan::Session session;
      ProgressDialog p(session, o);
      p.show();
      QTest::qWait(100);
      QVERIFY(!p.JobEnded());
      guard.emplace(fifo, std::chrono::seconds(2));
      if (andClose) {
        p.CancelJobAndClose();
      } else {
        QTest::mouseClick(p.findChild<QPushButton*>(QStringLiteral("cancelButton")), Qt::LeftButton);
      }
      QTRY_VERIFY_WITH_TIMEOUT(p.JobEnded(), 5000);
      guard->Disarm();
      QVERIFY2(!guard->fired(), "the job did not end when cancelled");
      QCOMPARE(p.result().status, velkan::JobStatus::kCancelled);
      QCOMPARE(p.StatusText(), QStringLiteral("処理を中止しました"));
      QVERIFY2(p.NotesText().contains(QStringLiteral("was left as it was")), qPrintable(p.NotesText()));
      QCOMPARE(p.isVisible(), !andClose);
    }
  }

  void closingTheWindowDuringAConversionAsksFirst() {
    const auto input = Temp() / "long.zan";
    const auto folder = Temp() / "out";
    const auto output = folder / "job.txt";
    for (bool cancel : {false, true}) {
      WriteFile(output, "earlier");
      WriteFile(SettingsPath(), "[VELKAN]\nEditer=some-editor\nEditerBoot=1\n");
      MainDialog d(SettingsPath());
      FillJob(d, input, output);
      WriteFile(input, LongJobBytes(60000));
      int editorStarts = 0;
      d.SetEditorLauncher([&](const std::string&, const std::string&) {
        ++editorStarts;
        return LaunchResult{};
      });
      JobGate gate;
      d.SetJobAdjuster([&](velkan::JobOptions& o) { gate.Hold(o); });
      d.show();

      // Once the job runs, the window is closed as the window system closes
      // it; the question is answered.
      QStringList questions, status;
      bool closed = false, blocked = false, enabled = true;
      QTimer steps;
      steps.setInterval(10);
      QObject::connect(&steps, &QTimer::timeout, [&] {
        if (!closed && gate.reached) {
          closed = true;
          // A window blocked by a modal one would get no close request from
          // the window system at all.
          QWindow* modal = QGuiApplication::modalWindow();
          blocked = modal != nullptr && modal != d.windowHandle();
          // The dialog's own controls are disabled instead.
          enabled = Button(d, "convertButton")->isEnabled() || Edit(d, "inputFile")->isEnabled() ||
                    d.findChild<QAction*>(QStringLiteral("aboutAction"))->isEnabled();
          QTimer::singleShot(0, &d, [&d] { d.windowHandle()->close(); });
          return;
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
          questions << box->windowTitle() + QLatin1Char('|') + box->text();
          QAbstractButton* answer = box->button(cancel ? QMessageBox::Yes : QMessageBox::No);
          QCOMPARE(answer->text(), cancel ? QStringLiteral("はい") : QStringLiteral("いいえ"));
          answer->click();
          gate.released = true;
        } else if (auto* progress = ShownProgress(); progress && progress->JobEnded()) {
          status << progress->StatusText();
          progress->accept();
        }
      });
      steps.start();
      Click(d, "convertButton");
      gate.released = true;

      QVERIFY(!blocked);
      QVERIFY(!enabled);
      QCOMPARE(questions, QStringList{QStringLiteral("VELKAN変換|変換処理を中止して終了しますか？")});
      if (cancel) {
        // Stopped, left as it was, and the window closed without an editor.
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(ReadFile(output), std::string("earlier"));
        QCOMPARE(editorStarts, 0);
      } else {
        QVERIFY(d.isVisible());
        QCOMPARE(status, QStringList{QStringLiteral("処理を終了しました")});
        QCOMPARE(ReadFile(output), EngineOutput(input));
        QCOMPARE(editorStarts, 1);
        QVERIFY(Button(d, "convertButton")->isEnabled());
      }
      QCOMPARE(FilesIn(folder), QStringList{"job.txt"});
    }
  }

  void aWriteFailureIsAMessage() {
    MainDialog d(SettingsPath());
    // A device that takes no byte.
    FillJob(d, Temp() / "job.zan", "/dev/full");
    ModalLog log;
    ModalAnswerer answer(log);
    Click(d, "convertButton");
    QCOMPARE(log.messages, QStringList{QStringLiteral("組版メッセージ|「/dev/full」ファイルに書き込めませんでした。")});
    QCOMPARE(log.progressStatus, QStringList{QStringLiteral("処理を終了しました")});
    QVERIFY2(log.progressNotes.value(0).contains(QStringLiteral("writing /dev/full failed")),
             qPrintable(log.progressNotes.value(0)));
  }

  void aReaderThatGoesAwayIsAWriteFailure() {
    // A FIFO whose reader takes a little and closes it: the next write fails
    // (EPIPE), and the dialog says so as it says any write failure.
    const auto input = Temp() / "long.zan";
    const auto fifo = Temp() / "fifo";
    QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
    MainDialog d(SettingsPath());
    FillJob(d, input, fifo);
    WriteFile(input, LongJobBytes(60000));
    std::thread reader([&fifo] {
      const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      pollfd ready{fd, POLLIN, 0};
      char buf[4096];
      if (fd >= 0 && ::poll(&ready, 1, 10000) > 0) (void)!::read(fd, buf, sizeof buf);
      ::close(fd);
    });
    ModalLog log;
    ModalAnswerer answer(log);
    Click(d, "convertButton");
    reader.join();
    QCOMPARE(log.messages, QStringList{QStringLiteral("組版メッセージ|「") + QString::fromStdString(fifo.string()) +
                                       QStringLiteral("」ファイルに書き込めませんでした。")});
    QCOMPARE(log.progressStatus, QStringList{QStringLiteral("処理を終了しました")});
    QVERIFY2(log.progressNotes.value(0).contains(QStringLiteral("Broken pipe")), qPrintable(log.progressNotes.value(0)));
  }

  void theEditorOpensTheOutputAfterConvert() {
    const auto editor = Temp() / "my tools" / "edit or";
    WriteRecordingEditor(editor);
    MainDialog d(SettingsPath());
    const auto output = Temp() / "out folder" / "job 1.txt";
    FillJob(d, Temp() / "job.zan", output);
    std::filesystem::create_directories(output.parent_path());
    d.SetFileChooser([&](QWidget*, const QString&, const QString&) {
      return QString::fromStdString(editor.string());
    });
    Click(d, "editorButton");
    Button(d, "editerBoot")->setChecked(true);

    // A chosen program whose path holds blanks is kept as one word.
    QCOMPARE(d.fields().editer, "'" + editor.string() + "'");

    ModalLog log;
    ModalAnswerer answer(log);
    Click(d, "convertButton");
    QCOMPARE(log.messages, QStringList());
    QCOMPARE(WaitForRecord(editor).value_or(Words{"<not run>"}), Words{output.string()});
    QVERIFY(ReadFile(SettingsPath()).find("Editer='" + editor.string() + "'\n") != std::string::npos);

    // Choosing again starts from the program itself.
    QString initial;
    d.SetFileChooser([&](QWidget*, const QString& i, const QString&) {
      initial = i;
      return QString();
    });
    Click(d, "editorButton");
    QCOMPARE(initial, QString::fromStdString(editor.string()));
    QCOMPARE(d.fields().editer, "'" + editor.string() + "'");
  }

  void theEditorSettingIsSplitIntoWords() {
    const auto editor = Temp() / "tools" / "recorder";
    WriteRecordingEditor(editor);
    WriteFile(SettingsPath(), "[VELKAN]\nEditer=" + editor.string() + " --wait -n\nEditerBoot=1\n");
    MainDialog d(SettingsPath());
    const auto output = Temp() / "out put.txt";
    FillJob(d, Temp() / "job.zan", output);
    ModalLog log;
    ModalAnswerer answer(log);
    Click(d, "convertButton");
    QCOMPARE(log.messages, QStringList());
    QCOMPARE(WaitForRecord(editor).value_or(Words{"<not run>"}), (Words{"--wait", "-n", output.string()}));
  }

  void theEditorStartsAlsoAfterAFailedJob() {
    const auto editor = Temp() / "recorder";
    WriteRecordingEditor(editor);
    WriteFile(SettingsPath(), "[VELKAN]\nEditer=" + editor.string() + "\nEditerBoot=1\n"
                              "InputFile=/nowhere.zan\nOutputFile=/tmp/x.txt\n");
    MainDialog d(SettingsPath());
    ModalLog log;
    ModalAnswerer answer(log);
    Click(d, "convertButton");
    QCOMPARE(log.messages.size(), 1);
    QCOMPARE(WaitForRecord(editor).value_or(Words{"<not run>"}), Words{"/tmp/x.txt"});
  }

  void anEmptyEditorSettingOpensNothing() {
    WriteFile(SettingsPath(), "[VELKAN]\nEditer=\nEditerBoot=1\n");
    MainDialog d(SettingsPath());
    FillJob(d, Temp() / "job.zan", Temp() / "job.out");
    QList<int> kinds;
    d.SetEditorLauncher([&](const std::string& e, const std::string& o) {
      LaunchResult r = velkan::app::LaunchEditor(e, o);
      kinds << r.kind;
      return r;
    });
    ModalLog log;
    ModalAnswerer answer(log);
    Click(d, "convertButton");
    QCOMPARE(kinds, QList<int>{LaunchResult::kNothingToStart});
    QCOMPARE(log.messages, QStringList());
  }

  void theEditorIsNotStartedWhenEditerBootIsOff() {
    WriteFile(SettingsPath(), "[VELKAN]\nEditer=/usr/bin/vi\nEditerBoot=0\n");
    MainDialog d(SettingsPath());
    FillJob(d, Temp() / "job.zan", Temp() / "job.out");
    int calls = 0;
    d.SetEditorLauncher([&](const std::string&, const std::string&) {
      ++calls;
      return LaunchResult{};
    });
    ModalLog log;
    ModalAnswerer answer(log);
    Click(d, "convertButton");
    QCOMPARE(calls, 0);
    QCOMPARE(log.progressStatus.size(), 1);
  }

  void anEditorThatCannotStartIsAMessage() {
    WriteFile(SettingsPath(), "[VELKAN]\nEditer=/no/such/editor\nEditerBoot=1\n");
    MainDialog d(SettingsPath());
    FillJob(d, Temp() / "job.zan", Temp() / "job.out");
    ModalLog log;
    ModalAnswerer answer(log);
    Click(d, "convertButton");
    QCOMPARE(log.messages.size(), 1);
    QVERIFY2(log.messages.value(0).startsWith(QStringLiteral("組版メッセージ|")), qPrintable(log.messages.value(0)));
    QVERIFY(log.messages.value(0).contains(QStringLiteral("/no/such/editor")));
  }

  void theAboutBoxShowsTheVersion() {
    MainDialog d(SettingsPath());
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    ModalLog log;
    ModalAnswerer answer(log);
    QTest::keyClick(&d, Qt::Key_F1);
    auto* action = d.findChild<QAction*>(QStringLiteral("aboutAction"));
    QVERIFY(action);
    QCOMPARE(action->text(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)..."));
    QVERIFY(d.actions().contains(action));
    QCOMPARE(d.contextMenuPolicy(), Qt::ActionsContextMenu);
    action->trigger();
    const QString texts = QStringLiteral("VELKAN Version 3.00|") + QString::fromStdString(velkan::VersionLine());
    QCOMPARE(log.aboutTexts, (QStringList{texts, texts}));
    QVERIFY(texts.contains(QStringLiteral("|velkan ")));
    QCOMPARE(log.aboutCaptions.value(0), QStringLiteral("バージョン情報"));
  }

  // The warning list shows a byte that begins no character as U+FFFD and
  // goes on behind it: here a lead byte cut off at the end of the text.
  void decodeShiftJisMarksWhatIsNoCharacter() {
    QCOMPARE(velkan::app::DecodeShiftJis(QByteArray("ab")), QStringLiteral("ab"));
    QCOMPARE(velkan::app::DecodeShiftJis(QByteArray("ab\x82")), QStringLiteral("ab\uFFFD"));
    QCOMPARE(velkan::app::DecodeShiftJis(QByteArray("\x82")), QStringLiteral("\uFFFD"));
  }
};

QTEST_MAIN(MainDialogTest)
#include "main_dialog_test.moc"
