// The About box: the icon, "VELKAN Version 3.00" with the version of this
// build below it (as `velkan --version` prints it), and an OK button.
#pragma once

#include <QDialog>

namespace velkan::app {

// The text the About box shows.
inline constexpr const char* kVersionText = "VELKAN Version 3.00";

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  // The box, captioned "バージョン情報", closed by its OK button.
  explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace velkan::app
