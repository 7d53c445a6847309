// The main dialog "VELKAN変換": the four files, the four options, the
// editor start, Convert and Cancel. The window can be widened, which widens
// the path fields; each field's tooltip shows its whole path. Settings are loaded when it opens and
// saved only by Convert; Cancel closes it without saving. Enter presses the
// focused button, or Convert when no button has the focus. Closing the
// dialog while a conversion runs asks whether to cancel it first.
#pragma once

#include <QDialog>
#include <QString>
#include <filesystem>
#include <functional>

#include "app/editor_launch.h"
#include "app/settings.h"
#include "conversion/session.h"
#include "engine/job.h"

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QLineEdit;

namespace velkan::app {

// The caption of the main dialog.
inline constexpr const char* kMainCaption = "VELKAN変換";
// The question asked when the dialog is closed while a conversion runs.
inline constexpr const char* kCloseWhileConvertingQuestion = "変換処理を中止して終了しますか？";

class ProgressDialog;

class MainDialog : public QDialog {
  Q_OBJECT

 public:
  // Asks the person for a file: the initial path and the name filters
  // ("label(*.ext);;..."). Returns the chosen path, or "" when cancelled.
  using FileChooser = std::function<QString(QWidget* parent, const QString& initial, const QString& filters)>;
  // Starts the editor after a conversion (LaunchEditor by default).
  using EditorLauncher = std::function<LaunchResult(const std::string& editor, const std::string& output)>;
  // Starts the editor on a line of the output, with the arguments
  // EditorArgumentsAtLine makes (LaunchEditorWith by default).
  using LineLauncher = std::function<LaunchResult(const std::vector<std::string>& args)>;
  // Changes the options of each job before it runs.
  using JobAdjuster = std::function<void(JobOptions& options)>;

  // Loads the settings from `settingsFile` and shows them.
  explicit MainDialog(std::filesystem::path settingsFile, QWidget* parent = nullptr);

  // Replaces the file-open dialog, for tests and scripted use.
  void SetFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }
  // Replaces the editor start, for tests.
  void SetEditorLauncher(EditorLauncher launcher) { launchEditor_ = std::move(launcher); }
  // Replaces the editor start at a line of the output, for tests.
  void SetLineLauncher(LineLauncher launcher) { launchAtLine_ = std::move(launcher); }
  // Changes the options of each job before it runs, for tests.
  void SetJobAdjuster(JobAdjuster adjuster) { adjustJob_ = std::move(adjuster); }
  // Where the temporary output files of the conversions are recorded (see
  // JobOptions::temporaries); none by default.
  void SetTemporaryFiles(TemporaryFiles* files) { temporaries_ = files; }

  // The dialog's fields as last exchanged with its controls.
  const Settings& fields() const { return fields_; }

  // The name filters of the browse buttons and of the editor button.
  static QString FilterFor(int browseIndex);
  static QString EditorFilter();

 public slots:
  // Browse button `index` (0 UDF, 1 input, 2 output, 3 definition file).
  void Browse(int index);
  // The editor settings button.
  void ChooseEditor();
  // Convert: save the settings, run the job in the progress dialog (not
  // modal: the dialog's own controls are disabled meanwhile, while its close
  // button and Escape still ask), then start the editor when EditerBoot is
  // on and the job was not cancelled. A warning of the progress dialog's
  // list opens the editor at its line (with EditerLine, or "+LINE FILE"),
  // or the dialog's own view of the output when no editor is set.
  void Convert();
  // The About box.
  void ShowAbout();
  // Cancel, Escape and the window's close button: close the dialog. While
  // a conversion runs, asks first; yes cancels it and closes the dialog
  // once it has stopped, no lets it go on.
  void reject() override;

 private:
  void ShowFields();
  void ReadFields();
  // The path field `index` holds: the bytes last shown there while its text
  // is unchanged, else its text's.
  std::string FieldPath(int index) const;
  // Shows the whole path of field `index` in its tooltip, as messages show
  // paths (bytes that are no UTF-8 escaped).
  void ShowPathToolTip(int index);
  // Enables or disables every control and action of the dialog.
  void SetControlsEnabled(bool enabled);

  std::filesystem::path settingsFile_;
  Settings fields_;
  Session session_;
  FileChooser chooseFile_;
  EditorLauncher launchEditor_;
  LineLauncher launchAtLine_;
  JobAdjuster adjustJob_;
  TemporaryFiles* temporaries_ = nullptr;
  // The progress dialog of the conversion running now, else null.
  ProgressDialog* running_ = nullptr;
  // Set when the dialog is to close as soon as the conversion has ended.
  bool closeAfterJob_ = false;

  QLineEdit* paths_[4] = {};
  // The paths as last shown in the fields, byte for byte.
  std::string shownPaths_[4];
  QButtonGroup* kumi_ = nullptr;
  QButtonGroup* unit_ = nullptr;
  QButtonGroup* warning_ = nullptr;
  QButtonGroup* inputEncoding_ = nullptr;
  QCheckBox* editerBoot_ = nullptr;
};

// Opens the platform's file dialog for an existing or a new file.
QString ChooseFileWithDialog(QWidget* parent, const QString& initial, const QString& filters);

}  // namespace velkan::app
