// Runs the text pre-pass alone over a text file and prints how long it took.
//
//   velkan_bench_pre_pass_file ROOT TEXT
//
// The code words are counted and dropped; "SECONDS WORDS" goes to stdout.
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>

#include "io/byte_streams.h"
#include "tables/table_root.h"
#include "tables/text_pre_pass.h"

namespace {

// Counts what it is given.
class CountingSink final : public velkan::ByteSink {
 public:
  bool TakeBytes(const char*, size_t n) override {
    bytes += static_cast<long long>(n);
    return true;
  }
  long long bytes = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: velkan_bench_pre_pass_file ROOT TEXT\n");
    return 2;
  }
  int fd = ::open(argv[2], O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::perror(argv[2]);
    return 1;
  }
  velkan::TablePaths paths(argv[1], std::nullopt);
  velkan::FdSource text(fd);
  CountingSink words;
  auto start = std::chrono::steady_clock::now();
  int16_t r = velkan::PrepareTextInput(paths, text, words);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ::close(fd);
  std::printf("%.6f %lld\n", seconds, words.bytes / 2);
  return r == 0 ? 0 : 1;
}
