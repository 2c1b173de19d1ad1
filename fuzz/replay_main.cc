// Runs a fuzz target without libFuzzer: every file of the corpus directories
// given on the command line, then a fixed number of deterministic mutations of
// them, so the targets run in every build and under the sanitizers.
#include <dirent.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::string> read_corpus(const char* dir) {
  std::vector<std::string> inputs;
  DIR* d = opendir(dir);
  if (d == nullptr) return inputs;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    std::ifstream in(std::string(dir) + "/" + e->d_name, std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  closedir(d);
  return inputs;
}

void run(const std::string& input) {
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> corpus;
  long mutations = 20000;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--mutations=", 0) == 0) {
      mutations = std::strtol(arg.c_str() + 12, nullptr, 10);
      continue;
    }
    std::vector<std::string> more = read_corpus(argv[i]);
    corpus.insert(corpus.end(), more.begin(), more.end());
  }
  if (corpus.empty()) corpus.emplace_back("8~1~1~2~1~");
  for (const std::string& input : corpus) run(input);

  std::mt19937 rng(12345);
  const char alphabet[] = "~0123456789-+ \t\n9999999999abcXYZ.\x7f\x80\xff";
  for (long i = 0; i < mutations; ++i) {
    std::string input = corpus[rng() % corpus.size()];
    const int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits; ++e) {
      const std::size_t pos = input.empty() ? 0 : rng() % (input.size() + 1);
      const char c = alphabet[rng() % (sizeof alphabet - 1)];
      switch (rng() % 4) {
        case 0: input.insert(pos, 1, c); break;
        case 1: if (pos < input.size()) input[pos] = c; break;
        case 2: if (pos < input.size()) input.erase(pos, 1); break;
        default: input.insert(pos, std::string(rng() % 300, c)); break;
      }
    }
    run(input);
  }
  std::printf("%zu corpus inputs and %ld mutations ran\n", corpus.size(), mutations);
  return 0;
}
