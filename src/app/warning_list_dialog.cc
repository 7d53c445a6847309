#include "app/warning_list_dialog.h"

#include <QFile>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTextBlock>
#include <QVBoxLayout>
#include <map>
#include <string>
#include <string_view>

#include "io/encoding_converter.h"

namespace velkan::app {

namespace {

// A number shown in a cell that sorts as a number.
QTableWidgetItem* NumberItem(long long n) {
  auto* item = new QTableWidgetItem;
  item->setData(Qt::DisplayRole, static_cast<qlonglong>(n));
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  return item;
}

}  // namespace

QString DecodeShiftJis(const QByteArray& bytes) {
  velkan::EncodingConverter converter("UTF-8", "CP932");
  if (!converter.ok()) return QString::fromLatin1(bytes);
  std::string utf8, part;
  std::string_view rest(bytes.constData(), static_cast<size_t>(bytes.size()));
  size_t stoppedAt = 0;
  while (!converter.Convert(rest, part, &stoppedAt)) {
    // A byte that begins no character: shown as U+FFFD, and on behind it.
    utf8 += part;
    utf8 += "\xEF\xBF\xBD";
    rest.remove_prefix(stoppedAt + 1);
  }
  utf8 += part;
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

WarningListDialog::WarningListDialog(const std::vector<WrittenWarning>& warnings,
                                     std::function<void(long long line)> openAt, QWidget* parent)
    : QDialog(parent), openAt_(std::move(openAt)) {
  setWindowTitle(QString::fromUtf8(kWarningListCaption));
  std::map<std::string, long long> counts;
  for (const WrittenWarning& w : warnings) ++counts[w.text];
  table_ = new QTableWidget(static_cast<int>(warnings.size()), 3, this);
  table_->setObjectName(QStringLiteral("warningTable"));
  table_->setHorizontalHeaderLabels({QStringLiteral("行"), QStringLiteral("警告"), QStringLiteral("件数")});
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->verticalHeader()->hide();
  for (int row = 0; row < static_cast<int>(warnings.size()); ++row) {
    const WrittenWarning& w = warnings[static_cast<size_t>(row)];
    table_->setItem(row, 0, NumberItem(w.line));
    auto* text = new QTableWidgetItem(DecodeShiftJis(QByteArray::fromStdString(w.text)));
    text->setFlags(text->flags() & ~Qt::ItemIsEditable);
    table_->setItem(row, 1, text);
    table_->setItem(row, 2, NumberItem(counts[w.text]));
  }
  table_->setSortingEnabled(true);
  table_->sortByColumn(0, Qt::AscendingOrder);
  table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  table_->resizeColumnToContents(0);
  table_->resizeColumnToContents(2);
  connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { OpenRow(row); });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_);
  resize(fontMetrics().averageCharWidth() * 90, fontMetrics().height() * 24);
}

void WarningListDialog::OpenRow(int row) {
  QTableWidgetItem* item = table_->item(row, 0);
  if (item != nullptr && openAt_) openAt_(item->data(Qt::DisplayRole).toLongLong());
}

OutputView::OutputView(const QString& path, long long line, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8(kOutputViewCaption) + QStringLiteral(" - ") + path);
  text_ = new QPlainTextEdit(this);
  text_->setObjectName(QStringLiteral("outputText"));
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  QFile file(path);
  QByteArray bytes;
  if (file.open(QIODevice::ReadOnly)) bytes = file.readAll();
  // Lines end with CR LF: the view shows them as lines.
  bytes.replace("\r\n", "\n");
  text_->setPlainText(DecodeShiftJis(bytes));
  QTextBlock block = text_->document()->findBlockByNumber(static_cast<int>(line > 0 ? line - 1 : 0));
  if (block.isValid()) {
    QTextCursor cursor(block);
    text_->setTextCursor(cursor);
    text_->centerCursor();
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  resize(fontMetrics().averageCharWidth() * 100, fontMetrics().height() * 30);
}

int OutputView::CurrentLine() const { return text_->textCursor().blockNumber() + 1; }
QString OutputView::Text() const { return text_->toPlainText(); }

}  // namespace velkan::app
