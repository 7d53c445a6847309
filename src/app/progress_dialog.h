// The progress dialog "変換処理": runs one conversion job off the UI thread,
// shows "処理中..." with a progress bar (the share of the input consumed),
// then "処理を終了しました" with any failure the output does not show in a
// line below it. A failure to create or write the output is also shown in a
// "組版メッセージ" box. At the end the number of warnings written to the
// output is shown ("警告 N 件"), and 警告一覧 lists them (see
// WarningListDialog). While the job runs, 中止 (and Escape or the window's
// close button) cancels it: the job stops at its next block (or, waiting on
// an output that blocks, a FIFO without a reader or a stalled pipe, within
// 50 ms), the earlier output stays as it was and the dialog shows
// "処理を中止しました". OK
// closes it once the job has ended. It is not modal: the window that shows
// it keeps its own close button working (see MainDialog::Convert).
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

#include "conversion/session.h"
#include "engine/job.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QThread;
class QTimer;

namespace velkan::app {

// The caption of the message boxes of a conversion.
inline constexpr const char* kMessageCaption = "組版メッセージ";
// The texts of the progress dialog.
inline constexpr const char* kProgressCaption = "変換処理";
inline constexpr const char* kRunningText = "処理中...";
inline constexpr const char* kEndText = "処理を終了しました";
inline constexpr const char* kCancelledText = "処理を中止しました";
inline constexpr const char* kCancelButtonText = "中止";
// The message shown when the output could not be written; %1 is the output.
inline constexpr const char* kWriteFailedMessage = "「%1」ファイルに書き込めませんでした。";

class ProgressDialog : public QDialog {
  Q_OBJECT

 public:
  // The job starts when the dialog is first shown. `session` must outlive
  // the dialog and is used by no one else while the job runs. A progress
  // callback in `options` is called along with the dialog's own.
  ProgressDialog(Session& session, JobOptions options, QWidget* parent = nullptr);
  // Waits for a job still running.
  ~ProgressDialog() override;

  // What a double click on a warning of the list does with its line; when
  // none is set, the output is shown at that line in an OutputView.
  void SetLineOpener(std::function<void(long long line)> opener) { openLine_ = std::move(opener); }

  // Adds a line to show below the end text (for example a settings file
  // that could not be written).
  void AddNote(const QString& note);

  // Whether the job has ended and its result is in result().
  bool JobEnded() const { return ended_; }
  const JobResult& result() const { return result_; }

  // The text shown now ("", "処理中...", "処理を終了しました" or
  // "処理を中止しました") and the lines below it.
  QString StatusText() const;
  QString NotesText() const;
  // The progress bar's value in thousandths of the whole job.
  int ProgressPermille() const;
  // The warning count shown at the end ("" before, or when the output was
  // not kept), and whether 警告一覧 can be pressed.
  QString WarningCountText() const;
  bool WarningListEnabled() const;

 signals:
  // The job has ended and its messages have been shown.
  void jobEnded();

 public slots:
  // Cancels the job when it has not ended: 中止.
  void CancelJob();
  // Cancels the job when it has not ended, and closes the dialog once it has.
  void CancelJobAndClose();
  // 警告一覧: the list of the warnings, modal.
  void ShowWarningList();
  // Escape and the window's close button: cancel the job while it runs,
  // close the dialog once it has ended.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void StartJob();
  void UpdateProgress();
  void FinishJob();
  void ShowNotes();

  Session& session_;
  JobOptions options_;
  JobResult result_;
  QStringList notes_;
  bool started_ = false;
  bool ended_ = false;
  bool closeWhenEnded_ = false;
  // Written by the job's thread, read by the UI timer.
  std::atomic<int> permille_{0};
  // Set on the UI thread, asked by the job's thread between blocks and
  // while it waits on an output that blocks.
  std::atomic<bool> cancel_{false};

  QLabel* status_ = nullptr;
  QLabel* notesLabel_ = nullptr;
  QLabel* warningsLabel_ = nullptr;
  QPushButton* warningList_ = nullptr;
  std::function<void(long long line)> openLine_;
  QProgressBar* bar_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* abort_ = nullptr;
  QTimer* poll_ = nullptr;
  QThread* worker_ = nullptr;
};

}  // namespace velkan::app
