// A session that passes every operation to another one, so that a test can
// replace exactly the operations it wants to misbehave.
#pragma once

#include "session/abstract_session.h"

namespace kestron4::testing_qf73 {

class ForwardingSession : public AbstractSession {
 public:
  explicit ForwardingSession(AbstractSession& inner) : inner_(inner) {}

  ErrorCode LoadPath(const char* path) override { return inner_.LoadPath(path); }
  ErrorCode LoadPathW(const char16_t* path) override { return inner_.LoadPathW(path); }
  ErrorCode SavePath(const char* path) override { return inner_.SavePath(path); }
  ErrorCode SavePathW(const char16_t* path) override { return inner_.SavePathW(path); }
  ErrorCode LoadHandle(FileHandle file) override { return inner_.LoadHandle(file); }
  ErrorCode SaveHandle(FileHandle file) override { return inner_.SaveHandle(file); }
  ErrorCode LoadBuffer(const void* buffer, uint32_t length) override {
    return inner_.LoadBuffer(buffer, length);
  }
  ErrorCode SaveBuffer(void* buffer, uint32_t length) override {
    return inner_.SaveBuffer(buffer, length);
  }
  uint64_t SessionSize() override { return inner_.SessionSize(); }
  uint64_t CurrentSize() override { return inner_.CurrentSize(); }
  ErrorCode SerializeCurrent(void* buffer, uint32_t length) override {
    return inner_.SerializeCurrent(buffer, length);
  }
  ErrorCode AfterOpen() override { return inner_.AfterOpen(); }
  uint16_t GetFileType() override { return inner_.GetFileType(); }
  uint16_t GetTypeCount() override { return inner_.GetTypeCount(); }
  void GetTypeList(uint16_t* tids) override { inner_.GetTypeList(tids); }
  uint16_t GetItemCount(Tid tid) override { return inner_.GetItemCount(tid); }
  uint32_t AddBookMark() override { return inner_.AddBookMark(); }
  bool GotoBookMark(uint32_t number) override { return inner_.GotoBookMark(number); }
  bool RemoveBookMark(uint32_t number) override { return inner_.RemoveBookMark(number); }
  bool BookMarksEquivalent(uint32_t a, uint32_t b) override {
    return inner_.BookMarksEquivalent(a, b);
  }
  void GotoRoot() override { inner_.GotoRoot(); }
  ErrorCode GotoItem(int32_t index) override { return inner_.GotoItem(index); }
  ErrorCode OpenItem(Tid tid, int32_t index) override { return inner_.OpenItem(tid, index); }
  ErrorCode NextItem() override { return inner_.NextItem(); }
  ErrorCode PreviousItem() override { return inner_.PreviousItem(); }
  void CloseItem() override { inner_.CloseItem(); }
  Tid GetCurrentTID() override { return inner_.GetCurrentTID(); }
  Tid GetParentTID(uint32_t* index) override { return inner_.GetParentTID(index); }
  bool QuickFind(Tid tid, Tid vtid, const void* key) override {
    return inner_.QuickFind(tid, vtid, key);
  }
  bool FindType(Tid tid, Tid vtid, const void* key) override {
    return inner_.FindType(tid, vtid, key);
  }
  bool FindTypeUTF8(Tid tid, Tid vtid, const char* key) override {
    return inner_.FindTypeUTF8(tid, vtid, key);
  }
  bool FindTypeUTF16(Tid tid, Tid vtid, const char16_t* key) override {
    return inner_.FindTypeUTF16(tid, vtid, key);
  }
  bool FindLocalType(Tid tid, Tid vtid, const void* key) override {
    return inner_.FindLocalType(tid, vtid, key);
  }
  bool FindLocalTypeUTF8(Tid tid, Tid vtid, const char* key) override {
    return inner_.FindLocalTypeUTF8(tid, vtid, key);
  }
  bool FindLocalTypeUTF16(Tid tid, Tid vtid, const char16_t* key) override {
    return inner_.FindLocalTypeUTF16(tid, vtid, key);
  }
  uint16_t GetValueCount() override { return inner_.GetValueCount(); }
  void GetValueList(uint16_t* tids) override { inner_.GetValueList(tids); }
  ErrorCode GetValSize(Tid tid, uint32_t* size) override { return inner_.GetValSize(tid, size); }
  ErrorCode GetValue(Tid tid, void* destination) override {
    return inner_.GetValue(tid, destination);
  }
  ErrorCode GetValuePtr(Tid tid, const void** pointer) override {
    return inner_.GetValuePtr(tid, pointer);
  }
  ErrorCode GotoReference(uint16_t refNo) override { return inner_.GotoReference(refNo); }
  void KeepAbsRefs() override { inner_.KeepAbsRefs(); }
  void StripAbsRefs() override { inner_.StripAbsRefs(); }
  bool InsertValue(Tid tid, const void* data, uint32_t byteCount) override {
    return inner_.InsertValue(tid, data, byteCount);
  }
  bool InsertValueS(Tid tid, const void* data, uint32_t size) override {
    return inner_.InsertValueS(tid, data, size);
  }
  bool AllocData(Tid tid, uint32_t size) override { return inner_.AllocData(tid, size); }
  bool WriteData(Tid tid, uint32_t offset, const void* source, uint32_t length) override {
    return inner_.WriteData(tid, offset, source, length);
  }
  bool InsertDataFile(const char* path, uint64_t offset, uint64_t length) override {
    return inner_.InsertDataFile(path, offset, length);
  }
  bool InsertDataFileW(const char16_t* path, uint64_t offset, uint64_t length) override {
    return inner_.InsertDataFileW(path, offset, length);
  }
  bool DeleteValue(Tid tid) override { return inner_.DeleteValue(tid); }
  bool InsertItemBlocks(Tid tid, uint16_t count) override {
    return inner_.InsertItemBlocks(tid, count);
  }
  ErrorCode DeleteItem(Tid tid, int32_t index) override { return inner_.DeleteItem(tid, index); }
  ErrorCode DeleteCurrentItem() override { return inner_.DeleteCurrentItem(); }
  ErrorCode DeleteItemBlocks(Tid tid) override { return inner_.DeleteItemBlocks(tid); }
  ErrorCode MoveCurrentItem(uint16_t newIndex) override { return inner_.MoveCurrentItem(newIndex); }
  ErrorCode CheckIntegrity(uint32_t* count) override { return inner_.CheckIntegrity(count); }
  ErrorCode CreateReference(uint32_t bookmark, uint16_t refNo, Tid keyTid) override {
    return inner_.CreateReference(bookmark, refNo, keyTid);
  }
  ErrorCode CheckRefdValue(Tid keyTid, uint16_t* count, const void* newValue) override {
    return inner_.CheckRefdValue(keyTid, count, newValue);
  }
  ErrorCode CheckRefdValueUTF8(Tid keyTid, uint16_t* count, const char* newValue) override {
    return inner_.CheckRefdValueUTF8(keyTid, count, newValue);
  }
  ErrorCode CheckRefdValueUTF16(Tid keyTid, uint16_t* count, const char16_t* newValue) override {
    return inner_.CheckRefdValueUTF16(keyTid, count, newValue);
  }
  ErrorCode GetRefdValue(Tid keyTid, uint32_t* bookmarks, uint32_t capacity,
                         uint32_t* count) override {
    return inner_.GetRefdValue(keyTid, bookmarks, capacity, count);
  }
  bool ChangeTID(Tid newTid) override { return inner_.ChangeTID(newTid); }
  ItemBlock* GetCurrentBlock() override { return inner_.GetCurrentBlock(); }
  Value* GetValueHandle(Tid tid) override { return inner_.GetValueHandle(tid); }
  bool ReadValue(Value* value, uint32_t offset, void* destination, uint32_t count) override {
    return inner_.ReadValue(value, offset, destination, count);
  }
  void MoveToRAM() override { inner_.MoveToRAM(); }
  void Unmap() override { inner_.Unmap(); }
  void Remap() override { inner_.Remap(); }
  StreamHandle* CreateStream() override { return inner_.CreateStream(); }
  void DestroyStream(StreamHandle* stream) override { inner_.DestroyStream(stream); }
  ErrorCode ReadValueStream(StreamHandle* stream, Value* value, uint64_t offset, void* destination,
                            uint32_t count) override {
    return inner_.ReadValueStream(stream, value, offset, destination, count);
  }
  bool InsertStringUTF8(Tid tid, const char* text) override {
    return inner_.InsertStringUTF8(tid, text);
  }
  bool InsertStringUTF16(Tid tid, const char16_t* text) override {
    return inner_.InsertStringUTF16(tid, text);
  }
  uint32_t GetBufferLenUTF8(Tid tid) override { return inner_.GetBufferLenUTF8(tid); }
  uint32_t GetBufferLenUTF16(Tid tid) override { return inner_.GetBufferLenUTF16(tid); }
  uint32_t ReadStringUTF8(Tid tid, char* buffer, uint32_t size) override {
    return inner_.ReadStringUTF8(tid, buffer, size);
  }
  uint32_t ReadStringUTF16(Tid tid, char16_t* buffer, uint32_t size) override {
    return inner_.ReadStringUTF16(tid, buffer, size);
  }

 protected:
  AbstractSession& inner_;
};

}  // namespace kestron4::testing_qf73
