#include "support/test_support.h"

#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "conversion/word_fixture.h"
#include "engine/pass.h"
#include "io/encoding_converter.h"
#include "tables/code_tables.h"

namespace velkan {

void PrintTo(Flow flow, std::ostream* os) {
  switch (flow) {
    case Flow::kGoOn: *os << "Flow::kGoOn"; return;
    case Flow::kEndPrePhase: *os << "Flow::kEndPrePhase"; return;
    case Flow::kEndJob: *os << "Flow::kEndJob"; return;
    case Flow::kFail: *os << "Flow::kFail"; return;
  }
  *os << "Flow(" << static_cast<int>(flow) << ")";
}

}  // namespace velkan

namespace velkan::test {

namespace fs = std::filesystem;

std::string Sjis(const std::string& utf8) {
  std::string out;
  if (!EncodingConverter("CP932", "UTF-8").Convert(utf8, out)) {
    ADD_FAILURE() << "text has no Shift_JIS form: " << utf8;
    return {};
  }
  return out;
}

std::string Readable(const std::string& bytes) {
  std::string out;
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char b = static_cast<unsigned char>(bytes[i]);
    size_t len = ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC)) ? 2 : 1;
    std::string piece = bytes.substr(i, len);
    std::string conv;
    if (b == '\r') {
      out += "\\r";
    } else if (b == '\n') {
      out += "\\n\n";
    } else if (b >= 0x20 && b < 0x7F) {
      out += static_cast<char>(b);
    } else if (piece.size() == len && EncodingConverter("UTF-8", "CP932").Convert(piece, conv) && !conv.empty()) {
      out += conv;
    } else {
      char hex[8];
      for (unsigned char c : piece) {
        std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += hex;
      }
    }
    i += len;
  }
  return out;
}

std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool MakeWritesTakeNothing(int fd) {
  struct sock_filter code[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_write, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, args[0])),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<unsigned>(fd), 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | 0),  // "wrote" 0 bytes
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  struct sock_fprog prog {static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) == 0 &&
         ::write(fd, "", 1) == 0;
}

std::string WordBytes(const std::vector<uint16_t>& words) {
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

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "velkan-test-XXXXXX").string();
  char* made = ::mkdtemp(tmpl.data());
  if (made == nullptr) std::abort();
  path_ = made;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

fs::path TempDir::Write(const std::string& relative, const std::string& bytes) const {
  fs::path p = path_ / relative;
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return p;
}

MemoryRun RunBytes(Session& session, const std::string& input, const MemoryJob& job) {
  LoadedTables tables(job.root);
  MemorySource whole(input);
  std::optional<ChunkedSource> chunked;
  if (job.chunk > 0) chunked.emplace(input, job.chunk);
  ByteSource& source = chunked ? static_cast<ByteSource&>(*chunked) : whole;
  MemorySink memory;
  std::optional<LendingSink> lending;
  if (job.lentRoom > 0) lending.emplace(job.lentRoom);
  ByteSink& sink = lending ? static_cast<ByteSink&>(*lending) : memory;
  MemoryRun result;
  {
    Pass pass(session, PassSettings{job.direction, job.unit, job.warnings}, tables, source, sink);
    Conversion& c = pass.conversion();
    if (job.haveDefinitions) c.definitions.OpenFromMemory(job.definitions);
    if (!job.storeDir.empty() && OpenFormatStore(c.store, job.storeDir) != 0) {
      ADD_FAILURE() << "format store: " << c.store.error;
    }
    result.loopResult = pass.Run();
    if (!pass.Close().storeClosed) ADD_FAILURE() << "format store: " << c.store.error;
  }
  if (lending) {
    lending->Flush();
    result.output = lending->data();
  } else {
    result.output = memory.data();
  }
  return result;
}

MemoryRun RunWords(Session& session, const std::vector<uint16_t>& words, const MemoryJob& job) {
  return RunBytes(session, WordBytes(words), job);
}

}  // namespace velkan::test
