#include "app/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "app/app_icon.h"
#include "engine/version.h"

namespace velkan::app {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("バージョン情報"));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);

  auto* icon = new QLabel(this);
  icon->setPixmap(ApplicationIcon().pixmap(32, 32));
  auto* text = new QLabel(QString::fromUtf8(kVersionText), this);
  text->setObjectName(QStringLiteral("versionText"));
  auto* build = new QLabel(QString::fromStdString(VersionLine()), this);
  build->setObjectName(QStringLiteral("buildText"));
  build->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addSpacing(12);
  auto* texts = new QVBoxLayout;
  texts->addWidget(text);
  texts->addWidget(build);
  row->addLayout(texts, 1);
  row->addWidget(buttons, 0, Qt::AlignTop);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace velkan::app
