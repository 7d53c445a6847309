#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "conversion/conversion.h"
#include "conversion/format_store.h"
#include "conversion/session.h"
#include "engine/job_pass.h"
#include "engine/pass.h"
#include "io/byte_streams.h"
#include "tables/code_tables.h"
#include "tables/escape_definitions.h"
#include "tables/font_tables.h"
#include "tables/pass_tables.h"
#include "tables/pi_font.h"
#include "tables/pre_pass_tables.h"
#include "tables/table_file.h"
#include "tables/text_pre_pass.h"
#include "typo/typo_literals.h"

namespace velkan::fuzz {

namespace fs = std::filesystem;

namespace {

// A pair table: the header word (when it has one), then (Shift-JIS, code)
// records.
std::string PairTable(bool header, const std::vector<uint16_t>& records) {
  std::vector<uint16_t> words;
  if (header) words.push_back(0x0001);
  words.insert(words.end(), records.begin(), records.end());
  return LittleEndianWords(words);
}

// The formats the store starts with: a size group and a character; two
// characters and a line end; a call of format 2.
const std::vector<std::pair<int, std::vector<uint16_t>>>& StoredFormats() {
  static const std::vector<std::pair<int, std::vector<uint16_t>>> formats = {
      {1, {0xD003, 0xD052, 0xC341, 0xC342, 0xD004, 0x45A1}},
      {2, {0x45A2, 0x8021, 0xD009}},
      {3, {0xD003, 0xD03F, 0xC342, 0xD004}},
  };
  return formats;
}

// A "fntinf.fil" line: group and font at the start, a further font at
// column 110 (0: none), a blank at column 113 and the overlay number at
// column 125 (-1: none).
std::string FontInfoLine(int group, int font, int further, int overlay) {
  std::string line(130, ' ');
  char buf[16];
  std::snprintf(buf, sizeof buf, "%3d %3d", group, font);
  line.replace(0, 7, buf);
  if (further != 0) {
    std::snprintf(buf, sizeof buf, "%-3d", further);
    line.replace(110, 3, buf);
  }
  if (overlay >= 0) {
    std::snprintf(buf, sizeof buf, "%02d", overlay);
    line.replace(125, 2, buf);
  }
  return line;
}

bool WriteAt(const fs::path& path, std::string_view bytes, off_t offset) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = ::pwrite(fd, bytes.data(), bytes.size(), offset) == static_cast<ssize_t>(bytes.size());
  ::close(fd);
  return ok;
}

}  // namespace

std::string BigEndianWords(const std::vector<uint16_t>& words) {
  std::string s;
  for (uint16_t w : words) {
    s += static_cast<char>(w >> 8);
    s += static_cast<char>(w & 0xFF);
  }
  return s;
}

std::string LittleEndianWords(const std::vector<uint16_t>& words) {
  std::string s;
  for (uint16_t w : words) {
    s += static_cast<char>(w & 0xFF);
    s += static_cast<char>(w >> 8);
  }
  return s;
}

Split SplitByLength(const uint8_t* data, size_t size) {
  if (size < 2) return {{}, {}};
  size_t n = static_cast<size_t>(data[0] | data[1] << 8);
  const char* p = reinterpret_cast<const char*>(data) + 2;
  size_t left = size - 2;
  if (n > left) n = left;
  return {{p, n}, {p + n, left - n}};
}

Fixture& Fixture::Get() {
  static Fixture fixture;
  return fixture;
}

Fixture::Fixture() {
  std::string tmpl = (fs::temp_directory_path() / "velkan-fuzz-XXXXXX").string();
  if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
  dir_ = tmpl;

  // Code tables: a few records in every region, and single-byte forms of
  // letters, digits and the signs that are escaped.
  for (const char* name : kPairTableNames) Write(std::string("root/QDXFILES/") + name, PairTable(true, {}));
  Write("root/QDXFILES/SJIS_HNW.TBL",
        PairTable(true, {0x8260, 0xC341, 0x8261, 0xC342, 0x824F, 0xC330, 0x8250, 0xC331, 0x8183, 0xC33C,
                         0x8184, 0xC43E, 0x825F, 0xC15F, 0x8250, 0xC105, 0x8260, 0xA201, 0x8250, 0xB201}));
  Write("root/QDXFILES/SJIS_ROM.TBL", PairTable(true, {0x8281, 0xC361, 0x8282, 0xC462, 0x8143, 0xA001}));
  Write("root/QDXFILES/SJIS_RUB.TBL", PairTable(true, {0x829F, 0xC521, 0x82A0, 0xC621, 0x8140, 0xB001}));
  Write("root/QDXFILES/SJ_KKA_0.TBL", PairTable(true, {0x8754, 0xC731, 0x8755, 0xC741, 0x8740, 0xC710,
                                                       0x8250, 0xC720, 0x8251, 0xC751, 0x8741, 0xC701}));
  Write("root/QDXFILES/SJIS_ZAN.TBL",
        PairTable(false, {0x889F, 0x8021, 0x88A0, 0x8022, 0x8754, 0x95B4, 0x8755, 0x95BE, 0x8250, 0x9701,
                          0x8251, 0x9714, 0x8252, 0x9822, 0x8253, 0x96E6, 0x8254, 0x8034, 0x8255, 0x96C0,
                          0x81A6, 0xD009, 0x81A7, 0x1001, 0x81A8, 0x0041, 0x8151, 0x0141}));
  Write("root/QDXFILES/SJIS_JIS.TBL",
        PairTable(true, {0x8260, 0x0041, 0x8261, 0x0042, 0x824F, 0x0030, 0x8250, 0x0031, 0x8251, 0x0032,
                         0x8252, 0x0033, 0x8253, 0x0034, 0x8254, 0x0035, 0x8255, 0x0036, 0x8183, 0x003C,
                         0x8184, 0x003E, 0x815F, 0x005C, 0x8140, 0x0020, 0x8281, 0x0061, 0x8282, 0x0062,
                         0x8143, 0x002C}));
  Write("root/qdxfiles/velkansys.tbl",
        "%0000 0\n$9001 |\n$0001 |a\n$0002 |bb\n#9001 \\\n#9002 ^\n#D009 \\n\n#D003 \\{\n#D004 \\}\n"
        "@9001 >\n@9002 <\n@C341 <mk1>\n@C342 <mark2>\n&8140 D009\n\\ comment\n");
  Write("root/qdxfiles/velkanuser.tbl", "&8141 C341\r\n%0000 1\r\n#D00A ignored\r\n");
  Write("root/qdxfiles/nmcnv.tbl", "ab=D00A,8140\nxyz=45A145A2\n=8140\n");
  std::string pi(1000, '\0');
  for (size_t i = 0; i < pi.size(); ++i) pi[i] = static_cast<char>(i % 251);
  Write("root/qdxfiles/pifont.fil", pi);

  WriteFontTables("root");

  std::string def;
  def += std::string("<") + lit::kSectionFontNames + ">\r\n1=Mincho\r\n3=Gothic B\r\n";
  def += std::string("<") + lit::kSectionColourNames + ">\r\n1=Red\r\n-1=none\r\n";
  def += std::string("<") + lit::kSectionRuleThickness + ">\r\n0=thin\r\n5=thick\r\n";
  def += std::string("<") + lit::kSectionRuleKind + ">\r\n0=solid\r\n1=dots\r\n";
  def += std::string("<") + lit::kSectionFillRule + ">\r\n0=fill\r\n";
  def += "<PI>\r\n1=pi one\r\n";
  Write("job.def", def);

  storeTable_.assign(kFormatCount, '\0');
  storeFormats_.assign(size_t{kFormatCount} * kFormatRecordBytes, '\0');
  for (const auto& [n, words] : StoredFormats()) {
    storeTable_[static_cast<size_t>(n)] = 1;
    std::string record = LittleEndianWords(words);
    storeFormats_.replace(static_cast<size_t>(n) * kFormatRecordBytes, record.size(), record);
  }
  Write("store/QDXFILES/udf2.tbl", storeTable_);
  Write("store/QDXFILES/udf2.fle", storeFormats_);
}

void Fixture::WriteFontTables(const std::string& root) const {
  // Code files: the base, one overlay and the two roman tables.
  Write(root + "/qdxfiles/conv00.tbl",
        LittleEndianWords({0x8021, 0x3021, 0x8022, 0x3022, 0x0041, 0x2341, 0x9701, 0x2331, 0xA001, 0x2421,
                           0xB001, 0x2521, 0xC105, 0x2335, 0xC521, 0x2621, 0x4521, 0x4521, 0x96C0, 0x2D21}));
  Write(root + "/qdxfiles/conv01.tbl", LittleEndianWords({0x8021, 0x3039, 0x8022, 0x0000, 0xC001, 0x2222}));
  Write(root + "/qdxfiles/conv021.tbl", LittleEndianWords({0x0341, 0x2361, 0x0342, 0x2362, 0x0441, 0x2341}));
  Write(root + "/qdxfiles/conv022.tbl", LittleEndianWords({0x0341, 0x2341, 0x0342, 0x2342}));
  Write(root + "/qdxfiles/convpi.tbl", LittleEndianWords({1, 0x2D21, 0x2D22, 5, 0x2D25, 0x2D26, 2047, 1, 2}));
  std::string info = "GRP FNT NAME\r\n";
  for (const std::string& line : {FontInfoLine(1, 1, 0, 0), FontInfoLine(2, 3, 41, 1), FontInfoLine(3, 227, 0, 0),
                                  FontInfoLine(4, 801, 0, -1), FontInfoLine(1000, 5, 0, 2)}) {
    info += line + "\r\n";
  }
  Write(root + "/qdxfiles/fntinf.fil", info);
  Write(root + "/qdxfiles/convura.tbl", LittleEndianWords({0x2421, 0x2521, 0x2422, 0x2522, 0x2473, 0x2573}));
  std::string pitch(1024 + 3 * 256, '\0');
  pitch[2 + 1] = 1;     // font 1: block 1
  pitch[2 + 227] = 2;   // font 227: block 2
  pitch[2 + 976] = 1;   // font 2000 & 0x3FF
  for (int k = 0; k < 256; ++k) {
    pitch[static_cast<size_t>(4 * 256 + k)] = static_cast<char>(k % 60);
    pitch[static_cast<size_t>(5 * 256 + k)] = static_cast<char>(-k);
  }
  Write(root + "/QDXFILES/pitfile.fil", pitch);
}

Fixture::~Fixture() {
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

void Fixture::ResetStore() const {
  fs::path table = storeDir() / "QDXFILES" / "udf2.tbl";
  fs::path formats = storeDir() / "QDXFILES" / "udf2.fle";
  WriteAt(table, storeTable_, 0);
  for (const auto& [n, words] : StoredFormats()) {
    off_t at = off_t{n} * kFormatRecordBytes;
    WriteAt(formats, std::string_view(storeFormats_).substr(static_cast<size_t>(at), kFormatRecordBytes), at);
  }
}

fs::path Fixture::Write(const std::string& relative, std::string_view bytes) const {
  fs::path p = dir_ / relative;
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return p;
}

JobOptions Fixture::Options() const {
  JobOptions o;
  o.tableRoot = root();
  o.storeDir = storeDir();
  o.defineFile = definitions().string();
  o.outputFile = "memory";
  return o;
}

struct PreparedPass::Tables : PassTables {
  using PassTables::PassTables;
};

PreparedPass::PreparedPass() : options_(Fixture::Get().Options()) {
  tables_ = std::make_unique<Tables>(TablePaths(options_.tableRoot, options_.mtbl));
  LoadPassTables(*tables_, true);
  std::string bytes;
  ReadTableFile(options_.defineFile, bytes);
  definitions_ = bytes;
}

PreparedPass::~PreparedPass() = default;

std::string PreparedPass::Convert(std::string_view input, const PassChoices& choices) {
  MemorySource source(input);
  return ConvertFrom(source, choices);
}

std::string PreparedPass::ConvertText(std::string_view text, const PassChoices& choices) {
  MemorySource source(text);
  TextPrePass words(source, tables_->prePass, tables_->prePassEscapes);
  return ConvertFrom(words, choices);
}

std::string PreparedPass::ConvertFrom(ByteSource& source, const PassChoices& choices) {
  if (choices.storeDir.empty()) Fixture::Get().ResetStore();
  Session session;
  // The font tables are read every run, as a job reads them (a pass changes
  // them); the code tables and the pi widths, which a pass only reads, are
  // lent to it.
  PassTables tables(TablePaths(choices.tableRoot.empty() ? options_.tableRoot : choices.tableRoot, options_.mtbl));
  PrepareFontTables(tables.fonts, tables.paths);
  tables.own()->pi = tables_->pi;
  CodeTables& codes = choices.codes ? *choices.codes : tables_->own()->codes;
  std::swap(tables.own()->codes, codes);
  MemorySink sink;
  {
    Pass pass(session, PassSettings{choices.direction, choices.unit, choices.warnings}, tables, source, sink);
    Conversion& c = pass.conversion();
    c.definitions.OpenFromMemory(choices.definitions ? *choices.definitions : definitions_);
    c.store.maxStartsWithoutInput = 4096;
    // A store that cannot be opened ends the pass before it starts, as in
    // the job.
    if (OpenFormatStore(c.store, choices.storeDir.empty() ? options_.storeDir : choices.storeDir) == 0) pass.Run();
  }
  std::swap(tables.own()->codes, codes);
  return sink.data();
}

std::string ConvertBytes(const JobOptions& options, std::string_view input) {
  Session session;
  MemorySource source(input);
  MemorySink sink;
  JobResult result;
  bool delivered = true;
  PassTables tables(TablePaths(options.tableRoot, options.mtbl));
  LoadPassTables(tables);
  ConvertStream(session, options, 1, "fuzz input", tables, source, sink, result, delivered);
  return sink.data();
}

}  // namespace velkan::fuzz
