// The table of session operations. Every exported function of the C
// interface calls one of these; TSession<Policy> implements them once for all
// storage policies. The order of declaration is the order of the table.
#pragma once

#include <cstdint>

#include "session/error_codes.h"
#include "session/tid.h"
#include "storage/platform/platform.h"

namespace kestron4 {

struct ItemBlock;
struct Value;
struct StreamHandle;

using FileHandle = NativeFile;  // a descriptor on POSIX, a HANDLE on Windows

class AbstractSession {
 public:
  virtual ~AbstractSession() = default;

  virtual ErrorCode LoadPath(const char* path) = 0;
  virtual ErrorCode LoadPathW(const char16_t* path) = 0;
  virtual ErrorCode SavePath(const char* path) = 0;
  virtual ErrorCode SavePathW(const char16_t* path) = 0;
  virtual ErrorCode LoadHandle(FileHandle file) = 0;
  virtual ErrorCode SaveHandle(FileHandle file) = 0;
  virtual ErrorCode LoadBuffer(const void* buffer, uint32_t length) = 0;
  virtual ErrorCode SaveBuffer(void* buffer, uint32_t length) = 0;
  virtual uint64_t SessionSize() = 0;
  virtual uint64_t CurrentSize() = 0;
  virtual ErrorCode SerializeCurrent(void* buffer, uint32_t length) = 0;
  virtual ErrorCode AfterOpen() = 0;
  virtual uint16_t GetFileType() = 0;
  virtual uint16_t GetTypeCount() = 0;
  virtual void GetTypeList(uint16_t* tids) = 0;
  virtual uint16_t GetItemCount(Tid tid) = 0;
  virtual uint32_t AddBookMark() = 0;
  virtual bool GotoBookMark(uint32_t number) = 0;
  virtual bool RemoveBookMark(uint32_t number) = 0;
  virtual bool BookMarksEquivalent(uint32_t a, uint32_t b) = 0;
  virtual void GotoRoot() = 0;
  virtual ErrorCode GotoItem(int32_t index) = 0;
  virtual ErrorCode OpenItem(Tid tid, int32_t index) = 0;
  virtual ErrorCode NextItem() = 0;
  virtual ErrorCode PreviousItem() = 0;
  virtual void CloseItem() = 0;
  virtual Tid GetCurrentTID() = 0;
  virtual Tid GetParentTID(uint32_t* index) = 0;
  virtual bool QuickFind(Tid tid, Tid vtid, const void* key) = 0;
  virtual bool FindType(Tid tid, Tid vtid, const void* key) = 0;
  virtual bool FindTypeUTF8(Tid tid, Tid vtid, const char* key) = 0;
  virtual bool FindTypeUTF16(Tid tid, Tid vtid, const char16_t* key) = 0;
  virtual bool FindLocalType(Tid tid, Tid vtid, const void* key) = 0;
  virtual bool FindLocalTypeUTF8(Tid tid, Tid vtid, const char* key) = 0;
  virtual bool FindLocalTypeUTF16(Tid tid, Tid vtid, const char16_t* key) = 0;
  virtual uint16_t GetValueCount() = 0;
  virtual void GetValueList(uint16_t* tids) = 0;
  virtual ErrorCode GetValSize(Tid tid, uint32_t* size) = 0;
  virtual ErrorCode GetValue(Tid tid, void* destination) = 0;
  virtual ErrorCode GetValuePtr(Tid tid, const void** pointer) = 0;
  virtual ErrorCode GotoReference(uint16_t refNo) = 0;
  virtual void KeepAbsRefs() = 0;
  virtual void StripAbsRefs() = 0;
  virtual bool InsertValue(Tid tid, const void* data, uint32_t byteCount) = 0;
  virtual bool InsertValueS(Tid tid, const void* data, uint32_t size) = 0;
  virtual bool AllocData(Tid tid, uint32_t size) = 0;
  virtual bool WriteData(Tid tid, uint32_t offset, const void* source, uint32_t length) = 0;
  virtual bool InsertDataFile(const char* path, uint64_t offset, uint64_t length) = 0;
  virtual bool InsertDataFileW(const char16_t* path, uint64_t offset, uint64_t length) = 0;
  virtual bool DeleteValue(Tid tid) = 0;
  virtual bool InsertItemBlocks(Tid tid, uint16_t count) = 0;
  virtual ErrorCode DeleteItem(Tid tid, int32_t index) = 0;
  virtual ErrorCode DeleteCurrentItem() = 0;
  virtual ErrorCode DeleteItemBlocks(Tid tid) = 0;
  virtual ErrorCode MoveCurrentItem(uint16_t newIndex) = 0;
  virtual ErrorCode CheckIntegrity(uint32_t* count) = 0;
  virtual ErrorCode CreateReference(uint32_t bookmark, uint16_t refNo, Tid keyTid) = 0;
  virtual ErrorCode CheckRefdValue(Tid keyTid, uint16_t* count, const void* newValue) = 0;
  virtual ErrorCode CheckRefdValueUTF8(Tid keyTid, uint16_t* count, const char* newValue) = 0;
  virtual ErrorCode CheckRefdValueUTF16(Tid keyTid, uint16_t* count,
                                        const char16_t* newValue) = 0;
  virtual ErrorCode GetRefdValue(Tid keyTid, uint32_t* bookmarks, uint32_t capacity,
                                 uint32_t* count) = 0;
  virtual bool ChangeTID(Tid newTid) = 0;
  virtual ItemBlock* GetCurrentBlock() = 0;
  virtual Value* GetValueHandle(Tid tid) = 0;
  virtual bool ReadValue(Value* value, uint32_t offset, void* destination, uint32_t count) = 0;
  virtual void MoveToRAM() {}
  virtual void Unmap() {}
  virtual void Remap() {}
  virtual StreamHandle* CreateStream() = 0;
  virtual void DestroyStream(StreamHandle* stream) = 0;
  virtual ErrorCode ReadValueStream(StreamHandle* stream, Value* value, uint64_t offset,
                                    void* destination, uint32_t count) = 0;
  virtual bool InsertStringUTF8(Tid tid, const char* text) = 0;
  virtual bool InsertStringUTF16(Tid tid, const char16_t* text) = 0;
  virtual uint32_t GetBufferLenUTF8(Tid tid) = 0;
  virtual uint32_t GetBufferLenUTF16(Tid tid) = 0;
  virtual uint32_t ReadStringUTF8(Tid tid, char* buffer, uint32_t size) = 0;
  virtual uint32_t ReadStringUTF16(Tid tid, char16_t* buffer, uint32_t size) = 0;
};

}  // namespace kestron4
