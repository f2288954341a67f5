// The same round trip as consumer_c.c through the C++17 wrapper. Prints
// where the build says the TID dictionary lies, for run-consumer.sh to check.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <kestron4/kestron4.hpp>
#include <vector>

int main() {
  try {
    std::vector<uint8_t> bytes;
    {
      kstrn::Session s = kstrn::Session::Create();
      s.InsertItemBlocks(105, 1);
      s.OpenItem(105, 0);
      s.InsertNumber<uint32_t>(10010, 250);
      s.InsertText(2001, "consumer");
      bytes = s.SaveToBuffer();
    }
    kstrn::Session again = kstrn::Session::OpenBuffer(bytes);
    again.OpenItem(105, 0);
    if (again.Number<uint32_t>(10010) != 250 || again.Text(2001) != "consumer") {
      std::fprintf(stderr, "consumer_cpp: values differ after the round trip\n");
      return 1;
    }
    try {
      again.Value(10011);
      return 1;
    } catch (const kstrn::Error& e) {
      if (e.code() != KSTRN_ErrValueNotFound) return 1;
    }
    std::printf("consumer_cpp: kestron4 %s, %zu-byte container read back\n",
                kstrn::Version().c_str(), bytes.size());
    std::printf("consumer_cpp: TID dictionary %s\n", kstrn::Names::InstalledPath().c_str());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "consumer_cpp: %s\n", e.what());
    return 1;
  }
}
