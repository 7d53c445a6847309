#include "tables/table_files.h"

#include <cstdio>

#include "tables/code_tables.h"

namespace velkan::test {

std::string PairBytes(const WordPairs& pairs) {
  std::vector<uint16_t> words;
  for (const auto& [a, b] : pairs) {
    words.push_back(a);
    words.push_back(b);
  }
  return LittleEndianWords(words);
}

std::string PiRecordBytes(const std::vector<std::vector<uint16_t>>& records) {
  std::vector<uint16_t> words;
  for (const auto& r : records) words.insert(words.end(), r.begin(), r.end());
  return LittleEndianWords(words);
}

std::string FontInfoLine(int group, int font, int further, int overlay) {
  std::string line(130, ' ');
  char buf[16];
  // The font stands one column apart, so that a three-digit font is not read
  // into the group's field.
  std::snprintf(buf, sizeof buf, "%3d %3d", group, font);
  line.replace(0, 7, buf);
  line.replace(8, 10, "FONT-NAME ");
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

std::string FontInfoFile(const std::vector<std::string>& lines) {
  std::string text = "GRP FNT NAME\r\n";
  for (const std::string& l : lines) text += l + "\r\n";
  return text;
}

void WriteCodeTables(const TempDir& dir, const std::string& root, const WordPairs& sourceToSjis,
                     const WordPairs& sjisToSingle) {
  WordPairs records;
  for (const auto& [source, sjis] : sourceToSjis) records.emplace_back(sjis, source);
  std::string header = LittleEndianWords({0});
  for (const char* name : kPairTableNames) {
    std::string bytes = header;
    if (std::string(name) == "SJIS_HNW.TBL") bytes += PairBytes(records);
    dir.Write(root + "/QDXFILES/" + name, bytes);
  }
  dir.Write(root + "/QDXFILES/SJIS_ZAN.TBL", "");
  dir.Write(root + "/QDXFILES/SJIS_JIS.TBL", header + PairBytes(sjisToSingle));
}

}  // namespace velkan::test
