// The C++ header on Windows, as a program that links kestron4.dll through
// its import library uses it: UTF-16 (char16_t) text and paths outside the
// ANSI code page, the opens through a file of the C runtime (mapped,
// streamed), a blob standing for part of another file, and the codes of the
// exceptions.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "kestron4/kestron4.hpp"

namespace {

int g_failures = 0;

void Expect(bool ok, const char* what) {
  if (!ok) {
    std::printf("FAILED: %s\n", what);
    ++g_failures;
  }
}

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / u"kestron4-cxx-\u03b1\u0436\u6f22";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const fs::path outside = dir / "outside.bin";
  {
    std::FILE* f = _wfopen(outside.c_str(), L"wb");
    std::fputs("head:0123456789", f);
    std::fclose(f);
  }
  const std::u16string wide = (dir / u"\u6f22\u5b57.kst").u16string();
  const std::string utf8 = Utf8(dir / u"\u6f22\u5b57.kst");
  try {
    kstrn::Session s = kstrn::Session::Create();
    s.InsertText(2001, u"\u0436\u00e9\u6f22");
    s.InsertNumber<uint32_t>(10000, 0x01020304);
    s.InsertDataFile(Utf8(outside), 5);  // the rest of the file: its size read here
    s.Save(wide);

    kstrn::Session loaded = kstrn::Session::Open(wide);
    Expect(loaded.Text16(2001) == u"\u0436\u00e9\u6f22", "UTF-16 text read back");
    Expect(loaded.Text(2001) == "\xd0\xb6\xc3\xa9\xe6\xbc\xa2", "the same text as UTF-8");
    Expect(loaded.Number<uint32_t>(10000) == 0x01020304, "number read back");
    Expect(loaded.SaveToBuffer() == s.SaveToBuffer(), "loaded equals saved");

    const auto same = [&](const kstrn::Session& opened) {
      Expect(opened.Text16(2001) == u"\u0436\u00e9\u6f22", "mapped or streamed text");
      Expect(opened.SaveToBuffer() == s.SaveToBuffer(), "mapped or streamed bytes");
    };
    same(kstrn::Session::OpenMapped(utf8));
    same(kstrn::Session::OpenStreamed(utf8));
    same(kstrn::Session::OpenStreamed(wide));

    try {
      kstrn::Session::OpenMapped(Utf8(dir / "missing.kst"));
      Expect(false, "a missing file throws");
    } catch (const kstrn::Error& e) {
      Expect(e.code() == KSTRN_ErrFileNotFound, "a missing file throws code 9");
    }
  } catch (const std::exception& e) {
    std::printf("FAILED: %s\n", e.what());
    ++g_failures;
  }
  fs::remove_all(dir);
  std::printf("%s\n", g_failures == 0 ? "C++ header against the DLL: ok" : "C++ header: failures");
  return g_failures == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
