// The profile reader and writer, the settings kept in velkan.ini and the
// job a set of settings describes.
#include <sys/stat.h>

#include <QTemporaryDir>
#include <QtTest>
#include <climits>

#include "app/app_test_support.h"
#include "app/ini_file.h"
#include "app/job_setup.h"
#include "app/settings.h"
#include "engine/job_places.h"

using velkan::app::IniFile;
using velkan::app::Settings;
using namespace velkan::apptest;

namespace {

std::filesystem::path Dir(const QTemporaryDir& d) { return std::filesystem::path(d.path().toStdString()); }

Settings Sample() {
  Settings s;
  s.udfFile = "/jobs/formats.zan";
  s.inputFile = "/jobs/in put.txt";
  s.outputFile = "/jobs/out.txt";
  s.defineFile = "";
  s.editer = "gedit --new-window";
  s.kumi = 1;
  s.unit = 0;
  s.warning = 1;
  s.editerBoot = 1;
  s.inputEncoding = 1;
  return s;
}

}  // namespace

class IniSettingsTest : public QObject {
  Q_OBJECT

 private slots:
  void namesMatchWithoutCaseAndBlanksAreTrimmed() {
    IniFile ini = IniFile::Parse(
        "; comment=not a key\r\n"
        "Stray=before any section\r\n"
        "[ velkan ]\r\n"
        "  udffile =  /a b/c.zan  \r\n"
        "# Kumi=1\r\n"
        "Kumi=\r\n"
        "[Other]\r\n"
        "Editer=vi\r\n");
    QCOMPARE(ini.Get("VELKAN", "UDFFile").value_or("?"), std::string("/a b/c.zan"));
    QCOMPARE(ini.Get("VELKAN", "Kumi").value_or("?"), std::string(""));
    QVERIFY(!ini.Get("VELKAN", "Editer").has_value());
    QVERIFY(!ini.Get("VELKAN", "comment").has_value());
    QVERIFY(!ini.Get("Missing", "Kumi").has_value());
    QCOMPARE(ini.Get("other", "EDITER").value_or("?"), std::string("vi"));
  }

  void setChangesInPlaceAndKeepsTheRest() {
    IniFile ini = IniFile::Parse(
        "; settings\n"
        "[VELKAN]\n"
        "Unit=1\n"
        "kumi=0\n"
        "\n"
        "[PATH]\n"
        "tzwfntutl=/opt/x\n");
    ini.Set("VELKAN", "Kumi", "1");          // in place, spelling kept
    ini.Set("VELKAN", "Warning", "0");       // after the section's last key
    ini.Set("PATH", "extra", "y");           // at the end of the last section
    ini.Set("NEW", "Key", "v");              // a new section at the end
    QCOMPARE(ini.Text(), std::string("; settings\n"
                                     "[VELKAN]\n"
                                     "Unit=1\n"
                                     "kumi=1\n"
                                     "Warning=0\n"
                                     "\n"
                                     "[PATH]\n"
                                     "tzwfntutl=/opt/x\n"
                                     "extra=y\n"
                                     "\n"
                                     "[NEW]\n"
                                     "Key=v\n"));
  }

  void valuesSurviveARoundTrip() {
    const std::string values[] = {"", " leading", "trailing\t", "\"quoted\"", "a=b;c", "\"", "日本語のパス"};
    IniFile ini;
    int i = 0;
    for (const std::string& v : values) ini.Set("S", "K" + std::to_string(i++), v);
    IniFile back = IniFile::Parse(ini.Text());
    i = 0;
    for (const std::string& v : values) QCOMPARE(back.Get("S", "K" + std::to_string(i++)).value_or("?"), v);

    // A value is one line: line breaks cannot split it into two keys.
    ini.Set("S", "Multi", "one\ntwo\r\nInjected=1");
    back = IniFile::Parse(ini.Text());
    QCOMPARE(back.Get("S", "Multi").value_or("?"), std::string("one two  Injected=1"));
    QVERIFY(!back.Get("S", "Injected").has_value());
  }

  void integersAreReadByTheirLeadingDigits() {
    struct {
      const char* text;
      int value;
    } cases[] = {{"", 0},         {"x1", 0},          {"1", 1},          {"12abc", 12},
                 {"-3", -3},      {"+7", 7},          {" 5", 5},         {"1.9", 1},
                 {"-", 0},        {"99999999999", INT_MAX}, {"-99999999999", INT_MIN},
                 {"2147483647", INT_MAX}, {"-2147483648", INT_MIN}};
    for (const auto& c : cases) QCOMPARE(velkan::app::LeadingInteger(c.text), c.value);
  }

  void firstStartGivesTheDefaults() {
    QTemporaryDir d;
    Settings s = velkan::app::LoadSettings(Dir(d) / "velkan.ini");
    QVERIFY(s == Settings{});
    QCOMPARE(s.kumi, 0);
    QCOMPARE(s.editerBoot, 0);
    QVERIFY(s.inputFile.empty());
  }

  void saveWritesTheNineKeysInOrder() {
    QTemporaryDir d;
    const auto path = Dir(d) / "new folder" / "velkan.ini";
    QVERIFY(velkan::app::SaveSettings(path, Sample()));
    QCOMPARE(ReadFile(path), std::string("[VELKAN]\n"
                                         "UDFFile=/jobs/formats.zan\n"
                                         "InputFile=/jobs/in put.txt\n"
                                         "OutputFile=/jobs/out.txt\n"
                                         "DefineFile=\n"
                                         "Editer=gedit --new-window\n"
                                         "Kumi=1\n"
                                         "Unit=0\n"
                                         "Warning=1\n"
                                         "EditerBoot=1\n"
                                         "InputEncoding=1\n"));
    QVERIFY(velkan::app::LoadSettings(path) == Sample());
  }

  void rootFollowsTheNineKeysAndOtherContentStays() {
    QTemporaryDir d;
    const auto path = Dir(d) / "velkan.ini";
    WriteFile(path, "; kept\n[VELKAN]\nRoot=/tables\nKumi=junk\n\n[PATH]\ntzwfntutl=/opt/u\n");
    Settings s = velkan::app::LoadSettings(path);
    QCOMPARE(s.root, std::string("/tables"));
    QCOMPARE(s.kumi, 0);
    s.kumi = 1;
    QVERIFY(velkan::app::SaveSettings(path, s));
    QCOMPARE(ReadFile(path), std::string("; kept\n[VELKAN]\nRoot=/tables\nKumi=1\n"
                                         "UDFFile=\nInputFile=\nOutputFile=\nDefineFile=\nEditer=\n"
                                         "Unit=0\nWarning=0\nEditerBoot=0\nInputEncoding=0\n\n[PATH]\ntzwfntutl=/opt/u\n"));
    QVERIFY(velkan::app::LoadSettings(path) == s);

    // In a new file Root comes after the nine keys, then EditerLine.
    const auto fresh = Dir(d) / "fresh.ini";
    s.editerLine = "--line %l %f";
    QVERIFY(velkan::app::SaveSettings(fresh, s));
    QVERIFY(ReadFile(fresh).ends_with("EditerBoot=0\nInputEncoding=0\nRoot=/tables\nEditerLine=--line %l %f\n"));
    QVERIFY(velkan::app::LoadSettings(fresh) == s);
  }

  void aFailedSaveSaysWhy() {
    QTemporaryDir d;
    WriteFile(Dir(d) / "blocker", "a file, not a folder");
    std::string error;
    QVERIFY(!velkan::app::SaveSettings(Dir(d) / "blocker" / "velkan.ini", Sample(), &error));
    QVERIFY(!error.empty());
  }

  // A FIFO where the profile should be is read as no profile, without
  // waiting for a writer.
  void aFifoIsNoProfile() {
    QTemporaryDir d;
    const auto fifo = Dir(d) / "velkan.ini";
    QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
    QVERIFY(velkan::app::LoadSettings(fifo) == Settings());
  }

  void aLinkedProfileStaysLinked() {
    QTemporaryDir d;
    const auto real = Dir(d) / "dotfiles" / "velkan.ini";
    WriteFile(real, "[VELKAN]\nKumi=0\n");
    const auto link = Dir(d) / "velkan.ini";
    std::filesystem::create_symlink(real, link);
    QVERIFY(velkan::app::SaveSettings(link, Sample()));
    QVERIFY(std::filesystem::is_symlink(link));
    QCOMPARE(velkan::app::LoadSettings(real).kumi, 1);
  }

  void theSettingsFileFollowsXdgConfigHome() {
    ScopedEnv home("HOME", std::string("/home/someone"));
    {
      ScopedEnv xdg("XDG_CONFIG_HOME", std::string("/cfg"));
      QCOMPARE(velkan::app::SettingsFilePath().string(), std::string("/cfg/velkan/velkan.ini"));
    }
    {
      // A relative value is not a valid base folder and is ignored.
      ScopedEnv xdg("XDG_CONFIG_HOME", std::string("relative"));
      QCOMPARE(velkan::app::SettingsFilePath().string(), std::string("/home/someone/.config/velkan/velkan.ini"));
    }
    ScopedEnv xdg("XDG_CONFIG_HOME", std::nullopt);
    QCOMPARE(velkan::app::SettingsFilePath().string(), std::string("/home/someone/.config/velkan/velkan.ini"));
  }

  void tableRootComesFromRootThenEnvironmentThenBuild() {
    {
      ScopedEnv env("VELKAN_ROOT", std::string("/env/root"));
      QCOMPARE(velkan::app::ChooseTableRoot("/user/root"), std::string("/user/root"));
      QCOMPARE(velkan::app::ChooseTableRoot(""), std::string("/env/root"));
    }
    {
      ScopedEnv env("VELKAN_ROOT", std::string(""));
      QCOMPARE(velkan::app::ChooseTableRoot(""), velkan::DefaultTableRoot().path.string());
    }
    ScopedEnv env("VELKAN_ROOT", std::nullopt);
    QCOMPARE(velkan::app::ChooseTableRoot(""), velkan::DefaultTableRoot().path.string());
    // The test runs from the build tree, whose sample root the dialog uses too.
    QCOMPARE(velkan::DefaultTableRoot().rule, velkan::PlaceRule::kBuildTree);
  }

  void theJobTakesPathsOptionsAndMtbl() {
    ScopedEnv mtbl("MTBL", std::string("/fonts"));
    Settings s = Sample();
    s.root = "/tables";
    velkan::JobOptions o = velkan::app::JobOptionsFor(s);
    QCOMPARE(o.udfFile, s.udfFile);
    QCOMPARE(o.inputFile, s.inputFile);
    QCOMPARE(o.outputFile, s.outputFile);
    QCOMPARE(o.defineFile, s.defineFile);
    QCOMPARE(o.kumi, 1);
    QCOMPARE(o.unit, 0);
    QCOMPARE(o.warning, 1);
    QVERIFY(o.inputEncoding == velkan::TextEncoding::kUtf8);
    s.inputEncoding = 0;
    QVERIFY(velkan::app::JobOptionsFor(s).inputEncoding == velkan::TextEncoding::kShiftJis);
    QCOMPARE(o.tableRoot.string(), std::string("/tables"));
    QCOMPARE(o.mtbl.value_or("?"), std::string("/fonts"));
    ScopedEnv noMtbl("MTBL", std::nullopt);
    QVERIFY(!velkan::app::JobOptionsFor(s).mtbl.has_value());
  }

  void theStoreOfTheBundledRootGoesToTheStateDirectory() {
    ScopedEnv noStore("VELKAN_STORE", std::nullopt);
    ScopedEnv noRoot("VELKAN_ROOT", std::nullopt);
    ScopedEnv state("XDG_STATE_HOME", std::string("/state"));
    Settings s = Sample();
    s.root = "/tables";
    QCOMPARE(velkan::app::JobOptionsFor(s).storeDir.string(), std::string("/tables"));
    s.root = "";
    velkan::JobOptions o = velkan::app::JobOptionsFor(s);
    QCOMPARE(o.tableRoot.string(), velkan::DefaultTableRoot().path.string());
    QCOMPARE(o.storeDir.string(), std::string("/state/velkan"));
    QVERIFY(!o.noStorePlace);
    // Without a state directory the job is told there is no place.
    ScopedEnv noState("XDG_STATE_HOME", std::nullopt);
    ScopedEnv noHome("HOME", std::nullopt);
    QVERIFY(velkan::app::JobOptionsFor(s).noStorePlace);
    s.root = "/tables";
    QVERIFY(!velkan::app::JobOptionsFor(s).noStorePlace);
  }
};

QTEST_GUILESS_MAIN(IniSettingsTest)
#include "ini_settings_test.moc"
