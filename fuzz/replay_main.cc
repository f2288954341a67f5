// Runs a fuzz target's entry point once on every file given on the command
// line or found in a given directory, so that the seed corpus and every
// saved crash input are replayed by an ordinary test with any compiler.
// A failing check aborts, which fails the test.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

// "--random N": N inputs drawn from a fixed seed, of every length up to
// 2 KiB, after the files.
int main(int argc, char** argv) {
  std::vector<std::filesystem::path> inputs;
  unsigned long random_inputs = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--random" && i + 1 < argc) {
      random_inputs = std::stoul(argv[++i]);
      continue;
    }
    const std::filesystem::path arg(argv[i]);
    std::error_code error;
    if (std::filesystem::is_directory(arg, error)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    } else if (std::filesystem::is_regular_file(arg, error)) {
      inputs.push_back(arg);
    }
  }
  std::sort(inputs.begin(), inputs.end());
  for (const auto& path : inputs) {
    const std::vector<uint8_t> bytes = ReadFile(path);
    std::fprintf(stderr, "replaying %s (%zu bytes)\n", path.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::mt19937 random(20261207);
  for (unsigned long n = 0; n < random_inputs; ++n) {
    std::vector<uint8_t> bytes(random() % 2048);
    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  }
  std::printf("%zu inputs replayed, %lu random\n", inputs.size(), random_inputs);
  return 0;
}
