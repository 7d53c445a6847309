// The progress dialog "変換処理": runs one conversion job off the UI thread,
// shows "処理中..." with a progress bar (the share of the input consumed),
// then "処理を終了しました" with any failure the output does not show in a
// line below it. OK closes it once the job has ended; until then the dialog
// cannot be closed.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <atomic>

#include "driver/job.h"
#include "driver/session.h"

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

class ProgressDialog : public QDialog {
  Q_OBJECT

 public:
  // The job starts when the dialog is first shown. `session` must outlive
  // the dialog and is used by no one else while the job runs.
  ProgressDialog(Session& session, JobOptions options, QWidget* parent = nullptr);
  // Waits for a job still running.
  ~ProgressDialog() override;

  // Adds a line to show below the end text (for example a settings file
  // that could not be written).
  void AddNote(const QString& note);

  // Whether the job has ended and its result is in result().
  bool JobEnded() const { return ended_; }
  const JobResult& result() const { return result_; }

  // The text shown now ("", "処理中..." or "処理を終了しました") and the
  // lines below it.
  QString StatusText() const;
  QString NotesText() const;
  // The progress bar's value in thousandths of the whole job.
  int ProgressPermille() const;

 signals:
  // The job has ended and its messages have been shown.
  void jobEnded();

 public slots:
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
  // Written by the job's thread, read by the UI timer.
  std::atomic<int> permille_{0};

  QLabel* status_ = nullptr;
  QLabel* notesLabel_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* ok_ = nullptr;
  QTimer* poll_ = nullptr;
  QThread* worker_ = nullptr;
};

}  // namespace velkan::app
