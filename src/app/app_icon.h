// The application's icon, used for the windows and the About box.
#pragma once

#include <QIcon>

namespace velkan::app {

// The icon in the sizes the dialogs show (16 to 64 pixels), drawn on first
// use. Needs a QGuiApplication.
QIcon ApplicationIcon();

}  // namespace velkan::app
