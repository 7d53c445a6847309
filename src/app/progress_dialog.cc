#include "app/progress_dialog.h"

#include <pthread.h>
#include <signal.h>

#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include "app/warning_list_dialog.h"
#include <algorithm>
#include <utility>

#include "frontend/messages.h"
#include "io/shown_path.h"

namespace velkan::app {

namespace {

constexpr int kBarRange = 1000;

}  // namespace

ProgressDialog::ProgressDialog(Session& session, JobOptions options, QWidget* parent)
    : QDialog(parent), session_(session), options_(std::move(options)) {
  setWindowTitle(QString::fromUtf8(kProgressCaption));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

  status_ = new QLabel(this);
  status_->setAlignment(Qt::AlignCenter);
  status_->setObjectName(QStringLiteral("statusText"));
  bar_ = new QProgressBar(this);
  bar_->setRange(0, kBarRange);
  bar_->setValue(0);
  bar_->setTextVisible(true);
  bar_->setFormat(QStringLiteral("%p%"));
  notesLabel_ = new QLabel(this);
  notesLabel_->setObjectName(QStringLiteral("notesText"));
  notesLabel_->setWordWrap(true);
  notesLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  notesLabel_->hide();
  warningsLabel_ = new QLabel(this);
  warningsLabel_->setObjectName(QStringLiteral("warningCount"));
  warningsLabel_->setAlignment(Qt::AlignCenter);
  warningsLabel_->hide();
  warningList_ = new QPushButton(QString::fromUtf8(kWarningListButtonText), this);
  warningList_->setObjectName(QStringLiteral("warningListButton"));
  warningList_->setEnabled(false);
  connect(warningList_, &QPushButton::clicked, this, &ProgressDialog::ShowWarningList);
  // A focused button takes Enter: OK once the job has ended, 中止 before.
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setObjectName(QStringLiteral("okButton"));
  ok_->setAutoDefault(true);
  ok_->setEnabled(false);
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  abort_ = new QPushButton(QString::fromUtf8(kCancelButtonText), this);
  abort_->setObjectName(QStringLiteral("cancelButton"));
  abort_->setAutoDefault(true);
  connect(abort_, &QPushButton::clicked, this, &ProgressDialog::CancelJob);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  buttons->addWidget(abort_);
  buttons->addWidget(warningList_);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(status_);
  layout->addWidget(bar_);
  layout->addWidget(warningsLabel_);
  layout->addWidget(notesLabel_);
  layout->addLayout(buttons);
  setMinimumWidth(fontMetrics().averageCharWidth() * 155 / 4 * 3 / 2);

  poll_ = new QTimer(this);
  poll_->setInterval(100);
  connect(poll_, &QTimer::timeout, this, &ProgressDialog::UpdateProgress);
}

ProgressDialog::~ProgressDialog() {
  if (worker_) worker_->wait();
}

void ProgressDialog::AddNote(const QString& note) {
  notes_ << note;
  if (ended_) ShowNotes();
}

void ProgressDialog::ShowNotes() {
  if (notes_.isEmpty()) return;
  notesLabel_->setText(notes_.join(QLatin1Char('\n')));
  notesLabel_->show();
  // The wrapped lines need the height the dialog had no room for.
  adjustSize();
}

QString ProgressDialog::StatusText() const { return status_->text(); }
QString ProgressDialog::NotesText() const { return notes_.join(QLatin1Char('\n')); }
int ProgressDialog::ProgressPermille() const { return bar_->value(); }
QString ProgressDialog::WarningCountText() const { return warningsLabel_->isHidden() ? QString() : warningsLabel_->text(); }
bool ProgressDialog::WarningListEnabled() const { return warningList_->isEnabled(); }

void ProgressDialog::ShowWarningList() {
  auto open = [this](long long line) {
    if (openLine_) {
      openLine_(line);
      return;
    }
    OutputView view(QFile::decodeName(QByteArray::fromStdString(options_.outputFile)), line, this);
    view.exec();
  };
  WarningListDialog list(result_.warnings, open, this);
  list.exec();
}

void ProgressDialog::CancelJob() {
  if (ended_) return;
  // Asked by the job between blocks, and while its output blocks: it ends
  // at the next block, or within 50 ms of such a wait.
  cancel_.store(true, std::memory_order_relaxed);
  abort_->setEnabled(false);
}

void ProgressDialog::CancelJobAndClose() {
  if (ended_) {
    accept();
    return;
  }
  closeWhenEnded_ = true;
  CancelJob();
}

void ProgressDialog::reject() {
  if (ended_) {
    QDialog::reject();
  } else {
    CancelJob();
  }
}

void ProgressDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!started_) {
    started_ = true;
    QTimer::singleShot(0, this, &ProgressDialog::StartJob);
  }
}

void ProgressDialog::StartJob() {
  status_->setText(QString::fromUtf8(kRunningText));
  const bool twoPasses = !options_.udfFile.empty();
  options_.progress = [this, twoPasses, also = std::move(options_.progress)](int pass, long long done,
                                                                             long long total) {
    if (also) also(pass, done, total);
    if (total <= 0) return;
    long long share = std::clamp(done, 0LL, total) * kBarRange / total;
    if (twoPasses) share = (pass - 1) * (kBarRange / 2) + share / 2;
    permille_.store(static_cast<int>(share), std::memory_order_relaxed);
  };
  options_.cancelled = [this] { return cancel_.load(std::memory_order_relaxed); };
  // The warnings are counted and listed at the end.
  options_.listWarnings = true;
  worker_ = QThread::create([this] {
    // An output whose reader goes away (a FIFO) fails its write with EPIPE,
    // told as any write failure, instead of ending the program: SIGPIPE,
    // sent to the thread that writes, which for a pipe is this one, is held
    // off it and dropped with it.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    result_ = RunConversionJob(session_, options_);
  });
  worker_->setParent(this);
  // Emitted by the job's thread; delivered here on the UI thread.
  connect(worker_, &QThread::finished, this, &ProgressDialog::FinishJob);
  poll_->start();
  worker_->start();
}

void ProgressDialog::UpdateProgress() { bar_->setValue(permille_.load(std::memory_order_relaxed)); }

void ProgressDialog::FinishJob() {
  poll_->stop();
  UpdateProgress();
  const bool cancelled = result_.status == JobStatus::kCancelled;
  if (result_.status == JobStatus::kCompleted) bar_->setValue(kBarRange);
  if (!result_.message.empty()) {
    QMessageBox::warning(this, QString::fromUtf8(kMessageCaption), QString::fromStdString(result_.message));
  } else if (result_.outputWriteFailed) {
    // The path as the job's own messages show it.
    const QString output = QString::fromStdString(ShownPath(options_.outputFile));
    QMessageBox::warning(this, QString::fromUtf8(kMessageCaption), QString::fromUtf8(kWriteFailedMessage).arg(output));
  }
  QStringList lines;
  for (const Note& note : result_.notes) lines << QString::fromStdString(frontend::RenderNote(note));
  if (result_.status == JobStatus::kPassFailed && lines.isEmpty()) {
    lines << QString::fromUtf8(_("the conversion ended before the end of the input"));
  }
  notes_ = lines + notes_;
  status_->setText(QString::fromUtf8(cancelled ? kCancelledText : kEndText));
  // The warnings of an output that was kept.
  if (result_.status == JobStatus::kCompleted || !result_.warnings.empty()) {
    warningsLabel_->setText(QString::fromUtf8(kWarningCountText).arg(result_.warnings.size()));
    warningsLabel_->show();
    warningList_->setEnabled(!result_.warnings.empty());
  }
  ended_ = true;
  ShowNotes();
  abort_->setEnabled(false);
  ok_->setEnabled(true);
  ok_->setDefault(true);
  ok_->setFocus();
  emit jobEnded();
  if (closeWhenEnded_) accept();
}

}  // namespace velkan::app
