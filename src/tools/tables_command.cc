#include "tools/tables_command.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "conversion/format_store.h"
#include "engine/job_places.h"
#include "frontend/messages.h"
#include "frontend/termination.h"
#include "io/byte_streams.h"
#include "io/output_file.h"
#include "io/shown_path.h"
#include "tables/table_file.h"
#include "tables/table_root.h"
#include "tools/arguments.h"
#include "tools/table_checks.h"
#include "tools/table_formats.h"
#include "tools/table_inventory.h"

namespace velkan::tools {

namespace fs = std::filesystem;

namespace {

std::string Usage() {
  std::string u = _(
      "usage: velkan tables dump [--format NAME] FILE\n"
      "       velkan tables build SOURCE -o FILE\n"
      "       velkan tables check [--store DIR] [ROOT]\n"
      "\n"
      "dump   prints a table file as readable text (its format is known by the\n"
      "       file's name, or given with --format)\n"
      "build  compiles such a text back into the table file; a dump built\n"
      "       again gives the same bytes\n"
      "check  lists every table the converter looks for under ROOT (default:\n"
      "       $VELKAN_ROOT, else the sample root of the build tree, else\n"
      "       /etc/velkan/root when it exists, else the installation's sample\n"
      "       root; font tables under $MTBL when it is set) as found, missing or\n"
      "       malformed, with what a missing one costs a conversion, and where\n"
      "       the format store lies; for the root and the store it says which\n"
      "       rule chose them. Exit status 1 when a table is missing or malformed,\n"
      "       or when a conversion would be refused for want of a writable store\n"
      "\n"
      "formats:\n");
  for (const TableFormatInfo& f : TableFormats()) {
    std::string name(f.name);
    name.resize(14, ' ');
    u += "  " + name + std::string(f.describes) + "\n";
  }
  return u;
}

// A usage error of `velkan tables` (see cli::UsageError).
int UsageError(const char* what, const std::vector<std::string>& args = {}) {
  return tools::UsageError("tables", what, args);
}

// A failure of the subcommand `sub`: a marked message, its places filled.
void Failure(const char* sub, const char* what, const std::vector<std::string>& args) {
  std::cerr << "velkan tables " << sub << ": " << FillPlaces(_(what), args) << "\n";
}

bool ReadWhole(const std::string& path, std::string& bytes) {
  return ReadTableFile(path, bytes) == TableFileStatus::kRead;
}

// Reads the arguments of a subcommand: --help (the usage of every
// subcommand), its one option that takes a value (`names`; `missing` is
// said when the value is missing), and one argument of its own (`tooMany` is
// said of a second). Returns the exit status when the subcommand ends here
// (0 after --help, 2 for bad usage), else -1.
int ReadArguments(int argc, char** argv, std::initializer_list<std::string_view> names, const char* missing,
                  std::string& value, std::string& argument, const char* tooMany) {
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::cout << Usage();
      return 0;
    } else if (OptionValue got = TakeOptionValue(argc, argv, i, names, value); got != OptionValue::kOther) {
      if (got == OptionValue::kMissing) return UsageError(missing);
    } else if (a.size() > 1 && a[0] == '-') {
      return UsageError(N_("unknown option '%s'"), {ShownText(a)});
    } else if (argument.empty()) {
      argument = a;
    } else {
      return UsageError(tooMany);
    }
  }
  return -1;
}

int Dump(int argc, char** argv) {
  std::string file, formatName;
  if (int status = ReadArguments(argc, argv, {"--format"}, N_("--format needs a format name"), formatName, file,
                                 N_("dump takes one file"));
      status >= 0) {
    return status;
  }
  if (file.empty()) return UsageError(N_("dump needs a file"));
  std::optional<TableFormat> format = formatName.empty() ? FormatOfFileName(file) : FormatNamed(formatName);
  if (!format) {
    return formatName.empty() ? UsageError(N_("the name of '%s' tells no table format; give --format NAME"),
                                           {ShownPath(file)})
                              : UsageError(N_("unknown format '%s'"), {ShownText(formatName)});
  }
  std::string bytes;
  if (!ReadWhole(file, bytes)) {
    Failure("dump", N_("cannot read %s"), {ShownPath(file)});
    return 1;
  }
  std::cout << DumpTable(*format, bytes);
  return 0;
}

int Build(int argc, char** argv, TemporaryFiles& temporaries) {
  std::string source, output;
  if (int status = ReadArguments(argc, argv, {"-o", "--output"}, N_("-o needs a file"), output, source,
                                 N_("build takes one source"));
      status >= 0) {
    return status;
  }
  if (source.empty() || output.empty()) return UsageError(N_("build needs SOURCE and -o FILE"));
  // Nothing is open yet: a descriptor named is held when it is closed (see
  // frontend/termination.h).
  for (const std::string* named : {&source, &output}) frontend::HoldClosedDescriptor(NamedDescriptor(*named));
  // The table would replace its own source before it was read whole (a
  // terminal may well be both ends, though).
  std::error_code ec;
  if (fs::is_regular_file(source, ec) && (SameFile(source, output) || ResolvedPath(source) == ResolvedPath(output))) {
    Failure("build", N_("the output %s is the source itself; building would destroy it, so nothing was written"),
            {ShownPath(output)});
    return 1;
  }
  std::string text;
  if (!ReadWhole(source, text)) {
    Failure("build", N_("cannot read %s"), {ShownPath(source)});
    return 1;
  }
  TableBuild b = BuildTable(text);
  if (!b.ok) {
    std::cerr << ShownPath(source) << ": " << ShownText(frontend::RenderNote(b.fault)) << "\n";
    return 1;
  }
  // Written beside the target and renamed (or to a descriptor, a pipe or a
  // device as it is), so a failed build leaves no half-written table behind.
  OutputFile out;
  if (!out.Open(output, &temporaries)) {
    std::cerr << "velkan tables build: " << frontend::RenderNote(out.error()) << "\n";
    return 1;
  }
  bool written = false;
  int error = 0;
  {
    FdSink sink(out.fd());
    written = sink.Write(b.bytes.data(), b.bytes.size()) && sink.Flush();
    error = sink.error();
  }
  if (!written) {
    Failure("build", out.inPlace() ? N_("cannot write %s: %s") : N_("cannot write %s: %s; it is unchanged"),
            {ShownPath(output), frontend::SystemErrorText(error)});
    out.Discard();
    if (!out.leftover().empty()) std::cerr << "velkan tables build: " << frontend::RenderNote(out.leftover()) << "\n";
    return 1;
  }
  if (!out.Commit()) {
    std::cerr << "velkan tables build: " << frontend::RenderNote(out.error()) << "\n";
    return 1;
  }
  return 0;
}

// Whether a conversion could keep its format store in `dir`: its folder
// (QDXFILES, found as the store finds it), or the nearest folder above it
// that exists, is a folder that can be written, and the store's files there
// can be written.
bool StoreWritable(const fs::path& dir) {
  std::error_code ec;
  fs::path p = ResolveUnder(dir, "\\QDXFILES");
  while (!p.empty() && !fs::exists(p, ec)) {
    fs::path parent = p.parent_path();
    if (parent == p) break;
    p = parent;
  }
  if (p.empty()) p = ".";
  if (!fs::is_directory(p, ec) || ::access(p.c_str(), W_OK | X_OK) != 0) return false;
  for (const char* name : {kFormatTableName, kFormatFileName}) {
    const fs::path file = ResolveUnder(dir, name);
    if (fs::exists(file, ec) && (!fs::is_regular_file(file, ec) || ::access(file.c_str(), R_OK | W_OK) != 0)) {
      return false;
    }
  }
  return true;
}

// `text` followed by spaces up to `columns` columns of a terminal (a
// character of three or four bytes in UTF-8, as kana and kanji are, takes
// two); at least one space.
std::string PaddedTo(std::string text, size_t columns) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const size_t n = std::max<size_t>(Utf8CharacterLength(std::string_view(text).substr(i)), 1);
    width += n >= 3 ? 2 : 1;
    i += n;
  }
  text.append(width < columns ? columns - width : 1, ' ');
  return text;
}

// The state column of `tables check`: its word "missing" is translated apart
// from the reason a note gives for a table that is not there.
const char* StateWord(TableState state) {
  switch (state) {
    case TableState::kFound:
      return C_("table state", "found");
    case TableState::kMissing:
      return C_("table state", "missing");
    case TableState::kMalformed:
      return C_("table state", "malformed");
  }
  return "";
}

std::string Shown(const fs::path& path, const fs::path& root) {
  std::string p = path.string(), r = root.string();
  if (!r.empty() && p.rfind(r, 0) == 0 && p.size() > r.size() && p[r.size()] == '/') {
    return ShownPath(p.substr(r.size() + 1));
  }
  return ShownPath(p);
}

// Why the table root or (`store`) the format store lies where it does.
std::string ChosenBecause(const Place& place, bool store) {
  switch (place.rule) {
    case PlaceRule::kNamed:
      return store ? _("named by --store") : _("named by the ROOT argument");
    case PlaceRule::kEnvironment:
      return store ? _("named by $VELKAN_STORE") : _("named by $VELKAN_ROOT");
    case PlaceRule::kBuildTree:
      return _("the sample root of the build tree this program runs from");
    case PlaceRule::kSiteRoot:
      return FillPlaces(_("the site's root %s, which exists"), {kSiteTableRoot});
    case PlaceRule::kInstallation:
      return _("the sample root of the installation this program belongs to");
    case PlaceRule::kUserState:
      return _("the user's state directory ($XDG_STATE_HOME/velkan), as the table root is shared");
    case PlaceRule::kBesideTables:
      return _("beside the tables, in the table root named");
    case PlaceRule::kNowhere:
      return _("nowhere: the table root is shared and the user has no state directory");
  }
  return "";
}

int Check(int argc, char** argv) {
  std::string rootArg, storeArg;
  if (int status = ReadArguments(argc, argv, {"--store"}, N_("--store needs a directory"), storeArg, rootArg,
                                 N_("check takes one root"));
      status >= 0) {
    return status;
  }
  const Place defaultRoot = DefaultTableRoot();
  const Place rootPlace = ChooseTableRoot(rootArg, defaultRoot);
  const fs::path& root = rootPlace.path;
  std::optional<std::string> mtbl;
  if (const char* m = std::getenv("MTBL")) mtbl = m;
  TablePaths paths(root, mtbl);

  std::cout << FillPlaces(_("table root: %s"), {ShownPath(root)}) << "\n";
  std::cout << "  " << FillPlaces(_("chosen as: %s"), {ChosenBecause(rootPlace, false)}) << "\n";
  std::cout << (mtbl && !mtbl->empty() ? FillPlaces(_("MTBL: %s (font tables are looked for there)"), {ShownPath(*mtbl)})
                                       : std::string(_("MTBL: not set")))
            << "\n\n";
  int found = 0, missing = 0, malformed = 0;
  for (const TableReport& r : CheckTableRoot(paths)) {
    std::string state = PaddedTo(StateWord(r.state), 10);
    std::string name = r.table.name;
    name.resize(26, ' ');
    std::cout << state << name << (r.state == TableState::kMissing ? "" : ShownPath(r.summary)) << "\n";
    std::cout << "          " << Shown(r.path, root) << "\n";
    if (r.state == TableState::kMissing) {
      std::cout << "          " << FillPlaces(_("without it: %s"), {r.table.missingCost}) << "\n";
      ++missing;
    } else {
      (r.state == TableState::kFound ? found : malformed)++;
    }
    for (const TableFinding& f : r.findings) {
      std::cout << "          " << (f.level == FindingLevel::kMalformed ? "! " : "- ") << ShownPath(f.text) << "\n";
    }
  }
  const Place store = ChooseStoreDir(storeArg, rootPlace, defaultRoot);
  bool storeUsable = false;
  if (store.rule == PlaceRule::kNowhere) {
    std::cout << "\n"
              << FillPlaces(_("format store: none (conversions are refused): %s"),
                            {frontend::RenderNote(NoStorePlaceMessage())})
              << "\n";
  } else {
    storeUsable = StoreWritable(store.path);
    std::cout << "\n"
              << FillPlaces(storeUsable ? _("format store: %s (writable)")
                                        : _("format store: %s (NOT writable: conversions fail; give --store DIR or "
                                            "VELKAN_STORE)"),
                            {ShownPath(store.path / "QDXFILES")})
              << "\n";
    std::cout << "  " << FillPlaces(_("chosen as: %s"), {ChosenBecause(store, true)}) << "\n";
  }
  std::cout << FillPlaces(_("%s tables: %s found, %s missing, %s malformed"),
                          {std::to_string(found + missing + malformed), std::to_string(found),
                           std::to_string(missing), std::to_string(malformed)})
            << "\n";
  return missing == 0 && malformed == 0 && storeUsable ? 0 : 1;
}

}  // namespace

int TablesCommand(int argc, char** argv, TemporaryFiles& temporaries) {
  if (argc < 1) {
    std::cerr << Usage();
    return 2;
  }
  std::string sub = argv[0];
  if (sub == "--help" || sub == "-h" || sub == "help") {
    std::cout << Usage();
    return 0;
  }
  if (sub == "dump") return Dump(argc - 1, argv + 1);
  if (sub == "build") return Build(argc - 1, argv + 1, temporaries);
  if (sub == "check") return Check(argc - 1, argv + 1);
  return UsageError(N_("unknown subcommand '%s'"), {ShownText(sub)});
}

}  // namespace velkan::tools
