// A read of a mapped view that hits EXCEPTION_IN_PAGE_ERROR fails with code 1
// and leaves the view alone, so that other threads reading it meanwhile see
// the file's bytes. Wine cannot make a real in-page error (it refuses to cut
// a mapped file short), so a page of the view is made inaccessible and the
// access violation that a read of it raises is relabelled as an in-page
// error before the library's handler sees it: a fault in the middle of a
// copy, at an address of the view, as the system raises it.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "kestron4/kestron4.h"
#include "policies/mapped_file.h"
#include "storage/platform/platform.h"
#include "storage/platform/temp_paths.h"

namespace kestron4 {
namespace {

namespace fs = std::filesystem;

constexpr size_t kPage = 4096;

class InPageErrorInjector {
 public:
  // page: page-aligned, inside a view, read-only. Install after the library
  // has read through a view once, so that this handler runs before its own.
  explicit InPageErrorInjector(const void* page) {
    page_.store(static_cast<const char*>(page));
    handler_ = AddVectoredExceptionHandler(1, Relabel);
    DWORD old = 0;
    armed_ = VirtualProtect(const_cast<void*>(page), kPage, PAGE_NOACCESS, &old) != 0;
  }
  ~InPageErrorInjector() {
    DWORD old = 0;
    VirtualProtect(const_cast<char*>(page_.load()), kPage, PAGE_READONLY, &old);
    RemoveVectoredExceptionHandler(handler_);
    page_.store(nullptr);
  }
  bool Armed() const { return armed_; }
  static int Raised() { return raised_.load(); }

 private:
  static LONG CALLBACK Relabel(EXCEPTION_POINTERS* exception) {
    EXCEPTION_RECORD& record = *exception->ExceptionRecord;
    const char* page = page_.load();
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2 &&
        page != nullptr) {
      const auto* address = reinterpret_cast<const char*>(record.ExceptionInformation[1]);
      if (address >= page && address < page + kPage) {
        record.ExceptionCode = EXCEPTION_IN_PAGE_ERROR;
        record.NumberParameters = 3;
        record.ExceptionInformation[2] = static_cast<ULONG_PTR>(0xC0000185L);  // I/O device error
        ++raised_;
      }
    }
    return EXCEPTION_CONTINUE_SEARCH;
  }

  static inline std::atomic<const char*> page_{nullptr};
  static inline std::atomic<int> raised_{0};
  void* handler_ = nullptr;
  bool armed_ = false;
};

// Remembers the last view the library mapped.
class ViewRecorder : public PlatformWrapper {
 public:
  ViewRecorder() : PlatformWrapper(SystemPlatform()) {}
  const void* Map(NativeFile file, uint64_t size) override {
    const void* view = PlatformWrapper::Map(file, size);
    view_ = static_cast<const char*>(view);
    size_ = size;
    return view;
  }
  const char* view_ = nullptr;
  uint64_t size_ = 0;
};

class ViewFault : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kestron4-" + RandomUuid());
    ASSERT_TRUE(fs::create_directory(dir_));
    path_ = (dir_ / L"view.kst").wstring();
    KSTRN_SessionHandle s = nullptr;
    ASSERT_TRUE(KSTRN_NewSession(&s));
    const uint32_t number = 7;
    ASSERT_TRUE(KSTRN_InsertValue(10000, &number, s));
    blob_.resize(300 * 1024);
    for (size_t i = 0; i < blob_.size(); ++i) blob_[i] = static_cast<uint8_t>(i * 7 + i / 251);
    ASSERT_TRUE(KSTRN_InsertItemBlocks(150, 1, s));
    ASSERT_TRUE(KSTRN_OpenItem(150, 0, s));
    ASSERT_TRUE(KSTRN_InsertData(static_cast<uint32_t>(blob_.size()), blob_.data(), s));
    ASSERT_TRUE(KSTRN_SaveSessionW(path_.c_str(), s));
    KSTRN_CloseSession(s);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  fs::path dir_;
  std::wstring path_;
  std::vector<uint8_t> blob_;
};

// A session's read over the faulting page fails with code 1; the view stays
// mapped where it was, and once the page reads again so does the session.
TEST_F(ViewFault, InPageErrorFailsTheReadWithCodeOneAndKeepsTheView) {
  ViewRecorder recorder;
  ScopedPlatform use(recorder);
  HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  KSTRN_SessionHandle mapped = nullptr;
  ASSERT_TRUE(KSTRN_OpenMemMappedSessionH(file, &mapped));
  CloseHandle(file);
  ASSERT_TRUE(KSTRN_OpenItem(150, 0, mapped));
  std::vector<uint8_t> got(blob_.size());
  ASSERT_TRUE(KSTRN_GetValue(1063, got.data(), mapped));
  ASSERT_EQ(got, blob_);
  ASSERT_NE(recorder.view_, nullptr);
  const char* page = recorder.view_ + (recorder.size_ / 2 / kPage) * kPage;
  const int before = InPageErrorInjector::Raised();
  {
    InPageErrorInjector inject(page);
    ASSERT_TRUE(inject.Armed());
    EXPECT_FALSE(KSTRN_GetValue(1063, got.data(), mapped));
    EXPECT_EQ(KSTRN_GetLastEE(), KSTRN_ErrFileAccess);
    EXPECT_GT(InPageErrorInjector::Raised(), before) << "the read went through the fault";
    uint32_t size = 0;
    EXPECT_TRUE(KSTRN_GetValSize(1063, &size, mapped)) << "the session goes on";
    EXPECT_EQ(size, blob_.size());
  }
  MEMORY_BASIC_INFORMATION region{};
  ASSERT_NE(VirtualQuery(recorder.view_, &region, sizeof region), 0u);
  EXPECT_EQ(region.Type, static_cast<DWORD>(MEM_MAPPED));
  EXPECT_EQ(region.AllocationBase, recorder.view_);
  std::fill(got.begin(), got.end(), 0);
  EXPECT_TRUE(KSTRN_GetValue(1063, got.data(), mapped));
  EXPECT_EQ(got, blob_);
  KSTRN_CloseSession(mapped);
}

// While one thread's reads fault again and again, another thread reads the
// same view: it never sees anything but the file's bytes. (Replacing the
// view's pages to let the faulting copy finish would show it zeros, or no
// mapping at all, for a moment.)
TEST_F(ViewFault, OtherThreadsReadTheViewUndisturbedWhileOneFaults) {
  HANDLE file = CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  MappedFile mapped;
  ASSERT_TRUE(mapped.Attach(reinterpret_cast<NativeFile>(file)));
  CloseHandle(file);
  char head[19] = {};
  ASSERT_TRUE(mapped.Copy(0, head, 18));
  ASSERT_STREQ(head, "KESTRON v1.00 file");
  const uint64_t faulting = (mapped.Size() / 2 / kPage) * kPage;
  std::atomic<bool> stop{false};
  std::atomic<int> wrong{0}, reads{0};
  InPageErrorInjector inject(mapped.Base() + faulting);
  ASSERT_TRUE(inject.Armed());
  std::thread reader([&] {
    while (!stop.load()) {
      char text[19] = {};
      if (!mapped.Copy(0, text, 18) || std::strcmp(text, "KESTRON v1.00 file") != 0) ++wrong;
      ++reads;
    }
  });
  int failed = 0;
  std::vector<uint8_t> buffer(3 * kPage);
  for (int i = 0; i < 300; ++i) failed += !mapped.Copy(faulting - kPage, buffer.data(), buffer.size());
  while (reads.load() < 100) std::this_thread::yield();
  stop.store(true);
  reader.join();
  EXPECT_EQ(failed, 300);
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(mapped.Base()[0], 'K');
}

}  // namespace
}  // namespace kestron4
