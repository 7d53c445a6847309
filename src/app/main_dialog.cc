#include "app/main_dialog.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <utility>

#include "app/about_dialog.h"
#include "app/app_icon.h"
#include "app/job_setup.h"
#include "app/progress_dialog.h"
#include "frontend/messages.h"
#include "io/shown_path.h"

namespace velkan::app {

namespace {

// Dialog units of the layout in pixels of the dialog's font: a horizontal
// unit is a quarter of the average character width, a vertical unit an
// eighth of the line height.
struct DialogUnits {
  explicit DialogUnits(const QFontMetrics& fm)
      : charWidth(fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 52.0),
        lineHeight(fm.height()) {}
  int X(int units) const { return static_cast<int>(units * charWidth / 4 + 0.5); }
  int Y(int units) const { return (units * lineHeight + 4) / 8; }
  double charWidth;
  int lineHeight;
};

std::string PathBytes(const QString& text) { return QFile::encodeName(text).toStdString(); }
QString PathText(const std::string& bytes) { return QFile::decodeName(QByteArray::fromStdString(bytes)); }

const char* const kPathLabels[4] = {"UDFファイル", "入力ファイル", "出力ファイル", "定義ファイル"};
const char* const kPathNames[4] = {"udfFile", "inputFile", "outputFile", "defineFile"};

}  // namespace

QString MainDialog::FilterFor(int browseIndex) {
  switch (browseIndex) {
    case 0:
    case 1:
      return QStringLiteral("ﾃｷｽﾄ ﾌｧｲﾙ(*.txt);;ZAN ﾌｧｲﾙ(*.zan)");
    case 2:
      return QStringLiteral("ﾃｷｽﾄ ﾌｧｲﾙ(*.txt)");
    default:
      return QStringLiteral("定義ﾌｧｲﾙ(*.def)");
  }
}

// Programs carry no extension here: both filters show every file.
QString MainDialog::EditorFilter() { return QStringLiteral("プログラム(*);;全てのファイル(*)"); }

QString ChooseFileWithDialog(QWidget* parent, const QString& initial, const QString& filters) {
  QFileDialog dialog(parent, QStringLiteral("開く"), QString(), filters);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::AnyFile);
  if (!initial.isEmpty()) dialog.selectFile(initial);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
  return dialog.selectedFiles().constFirst();
}

MainDialog::MainDialog(std::filesystem::path settingsFile, QWidget* parent)
    : QDialog(parent),
      settingsFile_(std::move(settingsFile)),
      chooseFile_(ChooseFileWithDialog),
      launchEditor_([](const std::string& editor, const std::string& output) {
        return LaunchEditor(editor, output);
      }),
      launchAtLine_([](const std::vector<std::string>& args) { return LaunchEditorWith(args); }) {
  setWindowTitle(QString::fromUtf8(kMainCaption));
  setWindowIcon(ApplicationIcon());
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                 Qt::WindowMinimizeButtonHint);

  const DialogUnits du(fontMetrics());
  auto* grid = new QGridLayout(this);
  grid->setHorizontalSpacing(du.X(4));
  grid->setColumnMinimumWidth(1, du.X(95));
  // Widening the window widens the path fields alone.
  grid->setColumnStretch(1, 1);
  int row = 0;

  auto button = [&](const QString& text, const char* name) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QString::fromLatin1(name));
    // A focused button takes Enter; Convert takes it otherwise.
    b->setAutoDefault(true);
    b->setMinimumWidth(du.X(50));
    return b;
  };

  // The four files: label, edit box, browse button.
  for (int i = 0; i < 4; ++i) {
    auto* label = new QLabel(QString::fromUtf8(kPathLabels[i]), this);
    paths_[i] = new QLineEdit(this);
    paths_[i]->setObjectName(QString::fromLatin1(kPathNames[i]) + QStringLiteral("Edit"));
    label->setBuddy(paths_[i]);
    // The tooltip shows the whole path, however narrow the field.
    connect(paths_[i], &QLineEdit::textChanged, this, [this, i] { ShowPathToolTip(i); });
    QPushButton* browse = button(QStringLiteral("参照"), "");
    browse->setObjectName(QString::fromLatin1(kPathNames[i]) + QStringLiteral("Browse"));
    connect(browse, &QPushButton::clicked, this, [this, i] { Browse(i); });
    grid->addWidget(label, row, 0);
    grid->addWidget(paths_[i], row, 1);
    grid->addWidget(browse, row, 2);
    grid->setRowMinimumHeight(row, du.Y(24));
    ++row;
  }
  grid->setRowMinimumHeight(row++, du.Y(6));

  // The four options: a label and two radio buttons each, the second ones
  // in one column.
  QList<QRadioButton*> firstChoices;
  auto options = [&](const char* label, QButtonGroup*& group, const char* first, const char* second,
                     const char* name) {
    group = new QButtonGroup(this);
    auto* a = new QRadioButton(QString::fromUtf8(first), this);
    auto* b = new QRadioButton(QString::fromUtf8(second), this);
    a->setObjectName(QString::fromLatin1(name) + QStringLiteral("0"));
    b->setObjectName(QString::fromLatin1(name) + QStringLiteral("1"));
    firstChoices << a;
    group->addButton(a, 0);
    group->addButton(b, 1);
    auto* line = new QHBoxLayout;
    line->setSpacing(0);
    line->addSpacing(du.X(20));
    line->addWidget(a);
    line->addWidget(b);
    line->addStretch(1);
    grid->addWidget(new QLabel(QString::fromUtf8(label), this), row, 0);
    grid->addLayout(line, row, 1, 1, 2);
    grid->setRowMinimumHeight(row, du.Y(18));
    ++row;
  };
  options("組方向", kumi_, "横組", "縦組", "kumi");
  options("単位", unit_, "pt", "Q", "unit");
  options("ワーニング", warning_, "出力", "非出力", "warning");
  options("入力の文字コード", inputEncoding_, "Shift_JIS", "UTF-8", "inputEncoding");
  int firstWidth = du.X(44);
  for (QRadioButton* a : firstChoices) firstWidth = std::max(firstWidth, a->sizeHint().width() + du.X(4));
  for (QRadioButton* a : firstChoices) a->setMinimumWidth(firstWidth);
  grid->setRowMinimumHeight(row++, du.Y(5));

  editerBoot_ = new QCheckBox(QStringLiteral("変換後にエディタ起動"), this);
  editerBoot_->setObjectName(QStringLiteral("editerBoot"));
  QPushButton* editor = button(QStringLiteral("エディタ設定"), "editorButton");
  connect(editor, &QPushButton::clicked, this, &MainDialog::ChooseEditor);
  grid->addWidget(editerBoot_, row, 0, 1, 2);
  grid->addWidget(editor, row, 2);
  ++row;
  grid->setRowMinimumHeight(row++, du.Y(10));

  QPushButton* convert = button(QStringLiteral("変換"), "convertButton");
  convert->setDefault(true);
  connect(convert, &QPushButton::clicked, this, &MainDialog::Convert);
  QPushButton* cancel = button(QStringLiteral("ｷｬﾝｾﾙ"), "cancelButton");
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  grid->addWidget(convert, row, 1, Qt::AlignRight);
  grid->addWidget(cancel, row, 2);

  // The window opens at the size its controls ask for and is never smaller;
  // it can be made wider, for long paths, but not taller, which would only
  // spread the rows apart.
  grid->setSizeConstraint(QLayout::SetDefaultConstraint);
  grid->activate();
  setMinimumSize(sizeHint());
  setMaximumHeight(sizeHint().height());

  // The About box: from the context menu and F1.
  auto* about = new QAction(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)..."), this);
  about->setObjectName(QStringLiteral("aboutAction"));
  about->setShortcut(QKeySequence(Qt::Key_F1));
  connect(about, &QAction::triggered, this, &MainDialog::ShowAbout);
  addAction(about);
  setContextMenuPolicy(Qt::ActionsContextMenu);

  fields_ = LoadSettings(settingsFile_);
  ShowFields();
}

void MainDialog::ShowFields() {
  const std::string* paths[4] = {&fields_.udfFile, &fields_.inputFile, &fields_.outputFile, &fields_.defineFile};
  for (int i = 0; i < 4; ++i) {
    shownPaths_[i] = *paths[i];
    paths_[i]->setText(PathText(*paths[i]));
    ShowPathToolTip(i);
  }
  // A stored value other than 0 or 1 shows as the first choice.
  kumi_->button(fields_.kumi == 1 ? 1 : 0)->setChecked(true);
  unit_->button(fields_.unit == 1 ? 1 : 0)->setChecked(true);
  warning_->button(fields_.warning == 1 ? 1 : 0)->setChecked(true);
  inputEncoding_->button(fields_.inputEncoding == 1 ? 1 : 0)->setChecked(true);
  editerBoot_->setChecked(fields_.editerBoot == 1);
}

void MainDialog::ReadFields() {
  std::string* paths[4] = {&fields_.udfFile, &fields_.inputFile, &fields_.outputFile, &fields_.defineFile};
  for (int i = 0; i < 4; ++i) *paths[i] = FieldPath(i);
  fields_.kumi = kumi_->checkedId() == 1 ? 1 : 0;
  fields_.unit = unit_->checkedId() == 1 ? 1 : 0;
  fields_.warning = warning_->checkedId() == 1 ? 1 : 0;
  fields_.inputEncoding = inputEncoding_->checkedId() == 1 ? 1 : 0;
  fields_.editerBoot = editerBoot_->isChecked() ? 1 : 0;
}

std::string MainDialog::FieldPath(int index) const {
  const QString text = paths_[index]->text();
  // A name that is no UTF-8 (a Shift_JIS file name, say) shows with
  // replacement characters; while the field shows it unchanged, it still
  // stands for the file's own name.
  if (text == PathText(shownPaths_[index])) return shownPaths_[index];
  return PathBytes(text);
}

void MainDialog::ShowPathToolTip(int index) {
  paths_[index]->setToolTip(QString::fromStdString(ShownPath(FieldPath(index))));
}

void MainDialog::Browse(int index) {
  if (index < 0 || index > 3) return;
  ReadFields();
  std::string* paths[4] = {&fields_.udfFile, &fields_.inputFile, &fields_.outputFile, &fields_.defineFile};
  QString chosen = chooseFile_(this, PathText(*paths[index]), FilterFor(index));
  if (!chosen.isEmpty()) *paths[index] = PathBytes(chosen);
  ShowFields();
}

void MainDialog::ChooseEditor() {
  ReadFields();
  // The setting may carry arguments after the program; the dialog starts
  // from the program, and a chosen program replaces the whole setting as
  // one word, blanks and all.
  std::vector<std::string> words = SplitCommandWords(fields_.editer);
  QString chosen = chooseFile_(this, words.empty() ? QString() : PathText(words.front()), EditorFilter());
  if (!chosen.isEmpty()) fields_.editer = QuoteCommandWord(PathBytes(chosen));
  ShowFields();
}

void MainDialog::Convert() {
  ReadFields();
  std::string saveError;
  bool saved = SaveSettings(settingsFile_, fields_, &saveError);

  JobOptions options = JobOptionsFor(fields_);
  if (adjustJob_) adjustJob_(options);
  options.temporaries = temporaries_;
  ProgressDialog progress(session_, std::move(options), this);
  if (!saved) progress.AddNote(QString::fromStdString(FillPlaces(_("settings not saved: %s"), {saveError})));
  // Without an editor the progress dialog shows the output itself.
  if (!SplitCommandWords(fields_.editer).empty()) {
    progress.SetLineOpener([this, &progress](long long line) {
      LaunchResult launched =
          launchAtLine_(EditorArgumentsAtLine(fields_.editer, fields_.editerLine, fields_.outputFile, line));
      if (launched.kind == LaunchResult::kFailed) {
        QMessageBox::warning(&progress, QString::fromUtf8(kMessageCaption), QString::fromStdString(launched.error));
      }
    });
  }
  running_ = &progress;
  // The progress dialog is not modal: a window blocked by a modal one gets
  // no close request from the window system, and the main window's close
  // button must still ask whether to cancel. Its controls are disabled
  // instead, until the progress dialog is closed.
  SetControlsEnabled(false);
  QEventLoop untilClosed;
  connect(&progress, &QDialog::finished, &untilClosed, &QEventLoop::quit);
  progress.show();
  untilClosed.exec();
  SetControlsEnabled(true);
  running_ = nullptr;

  if (closeAfterJob_) {
    QDialog::reject();
    return;
  }
  // A cancelled conversion changed nothing to look at.
  if (fields_.editerBoot == 1 && progress.result().status != JobStatus::kCancelled) {
    LaunchResult launched = launchEditor_(fields_.editer, fields_.outputFile);
    if (launched.kind == LaunchResult::kFailed) {
      QMessageBox::warning(this, QString::fromUtf8(kMessageCaption), QString::fromStdString(launched.error));
    }
  }
}

void MainDialog::reject() {
  if (running_ == nullptr) {
    QDialog::reject();
    return;
  }
  if (closeAfterJob_) return;
  if (!running_->JobEnded()) {
    QMessageBox ask(QMessageBox::Question, QString::fromUtf8(kMainCaption),
                    QString::fromUtf8(kCloseWhileConvertingQuestion), QMessageBox::Yes | QMessageBox::No, this);
    ask.button(QMessageBox::Yes)->setText(QStringLiteral("はい"));
    ask.button(QMessageBox::No)->setText(QStringLiteral("いいえ"));
    ask.setDefaultButton(QMessageBox::No);
    if (ask.exec() != QMessageBox::Yes || running_ == nullptr) return;
  }
  // Closed once Convert has seen the progress dialog end.
  closeAfterJob_ = true;
  running_->CancelJobAndClose();
}

void MainDialog::SetControlsEnabled(bool enabled) {
  for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!w->isWindow()) w->setEnabled(enabled);
  }
  for (QAction* a : actions()) a->setEnabled(enabled);
}

void MainDialog::ShowAbout() {
  AboutDialog about(this);
  about.exec();
}

}  // namespace velkan::app
