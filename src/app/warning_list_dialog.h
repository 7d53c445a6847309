// The worklist of a conversion in the dialog: the list of the warnings
// written to the output (警告一覧), and a read-only view of the output at a
// line for when no editor is set.
#pragma once

#include <QByteArray>
#include <QDialog>
#include <QString>
#include <functional>
#include <vector>

#include "engine/job.h"

class QPlainTextEdit;
class QTableWidget;

namespace velkan::app {

// The texts of the worklist.
inline constexpr const char* kWarningListButtonText = "警告一覧";
inline constexpr const char* kWarningListCaption = "警告一覧";
// The number of warnings shown at the end of a conversion; %1 is it.
inline constexpr const char* kWarningCountText = "警告 %1 件";
inline constexpr const char* kOutputViewCaption = "出力";

// Shift_JIS (code page 932) bytes as text; a byte that is no part of a
// character becomes U+FFFD.
QString DecodeShiftJis(const QByteArray& bytes);

// The list of `warnings`, one row each: its line in the output, its text and
// the number of warnings with that text; sortable by each column. A double
// click on a row calls `openAt` with the row's line.
class WarningListDialog : public QDialog {
  Q_OBJECT

 public:
  WarningListDialog(const std::vector<WrittenWarning>& warnings, std::function<void(long long line)> openAt,
                    QWidget* parent = nullptr);
  QTableWidget* table() const { return table_; }
  // Opens the line of row `row` as a double click does.
  void OpenRow(int row);

 private:
  QTableWidget* table_ = nullptr;
  std::function<void(long long line)> openAt_;
};

// The output file read only, Shift_JIS decoded, its cursor on line `line`
// (1-based) and that line in view.
class OutputView : public QDialog {
  Q_OBJECT

 public:
  OutputView(const QString& path, long long line, QWidget* parent = nullptr);
  // The line (1-based) the cursor is on, and the text shown.
  int CurrentLine() const;
  QString Text() const;

 private:
  QPlainTextEdit* text_ = nullptr;
};

}  // namespace velkan::app
