// The shared library's dynamic symbol table and the public header must both
// hold exactly the 100 functions of the C interface.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

const std::set<std::string> kInterface = {
    "KSTRN_AddBookMark",
    "KSTRN_AllocData",
    "KSTRN_BookMarksEquivalent",
    "KSTRN_CancelSession",
    "KSTRN_ChangeTID",
    "KSTRN_CheckIntegrity",
    "KSTRN_CheckRefdValue",
    "KSTRN_CheckRefdValueUTF16",
    "KSTRN_CheckRefdValueUTF8",
    "KSTRN_CloseItem",
    "KSTRN_CloseSession",
    "KSTRN_CompareValues",
    "KSTRN_Compress",
    "KSTRN_CopyBlocks",
    "KSTRN_CopyContents",
    "KSTRN_CreateReference",
    "KSTRN_CreateStream",
    "KSTRN_DeCompress",
    "KSTRN_DeleteCurrentItem",
    "KSTRN_DeleteItem",
    "KSTRN_DeleteItemBlocks",
    "KSTRN_DeleteValue",
    "KSTRN_DestroyStream",
    "KSTRN_ExportQF73v3",
    "KSTRN_ExportSession",
    "KSTRN_ExportSessionW",
    "KSTRN_FindLocalType",
    "KSTRN_FindLocalTypeUTF16",
    "KSTRN_FindLocalTypeUTF8",
    "KSTRN_FindType",
    "KSTRN_FindTypeUTF16",
    "KSTRN_FindTypeUTF8",
    "KSTRN_GetBufferLenUTF16",
    "KSTRN_GetBufferLenUTF8",
    "KSTRN_GetCheckSum",
    "KSTRN_GetEVersion",
    "KSTRN_GetFileType",
    "KSTRN_GetItemCount",
    "KSTRN_GetLastEE",
    "KSTRN_GetLastEEStr",
    "KSTRN_GetParentTID",
    "KSTRN_GetRefdValue",
    "KSTRN_GetTypeCount",
    "KSTRN_GetTypeList",
    "KSTRN_GetValSize",
    "KSTRN_GetValue",
    "KSTRN_GetValueCount",
    "KSTRN_GetValueHandle",
    "KSTRN_GetValueList",
    "KSTRN_GetValuePtr",
    "KSTRN_GotoBookMark",
    "KSTRN_GotoItem",
    "KSTRN_GotoReference",
    "KSTRN_GotoRoot",
    "KSTRN_InsertData",
    "KSTRN_InsertDataFile",
    "KSTRN_InsertDataFileW",
    "KSTRN_InsertItemBlocks",
    "KSTRN_InsertStringUTF16",
    "KSTRN_InsertStringUTF8",
    "KSTRN_InsertValue",
    "KSTRN_InsertValueS",
    "KSTRN_IsLogger",
    "KSTRN_IsLongVariableSize",
    "KSTRN_IsQuickFind",
    "KSTRN_IsValueID",
    "KSTRN_IsVariableSize",
    "KSTRN_MoveCurrentItem",
    "KSTRN_MoveToRAM",
    "KSTRN_NewSession",
    "KSTRN_NextItem",
    "KSTRN_OpenItem",
    "KSTRN_OpenMemMappedSessionH",
    "KSTRN_OpenSession",
    "KSTRN_OpenSessionBuffer",
    "KSTRN_OpenSessionH",
    "KSTRN_OpenSessionW",
    "KSTRN_OpenStreamedSessionH",
    "KSTRN_OpenStreamedSessionW",
    "KSTRN_PreviousItem",
    "KSTRN_ReadStringUTF16",
    "KSTRN_ReadStringUTF8",
    "KSTRN_ReadValue",
    "KSTRN_ReadValueStream",
    "KSTRN_Remap",
    "KSTRN_RemoveBookMark",
    "KSTRN_SaveSession",
    "KSTRN_SaveSessionBuffer",
    "KSTRN_SaveSessionH",
    "KSTRN_SaveSessionSize",
    "KSTRN_SaveSessionW",
    "KSTRN_SaveWithAbsRefs",
    "KSTRN_SerializeItem",
    "KSTRN_SerializeItemSize",
    "KSTRN_SetGlobalTempDir",
    "KSTRN_Unmap",
    "KSTRN_ValCompare",
    "KSTRN_ValSize",
    "KSTRN_ValType",
    "KSTRN_WriteData",
};

std::string CommandOutput(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return output;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    output.append(buffer, n);
  pclose(pipe);
  return output;
}

TEST(ExportedSymbolsTest, SharedLibraryExportsExactlyTheInterface) {
  ASSERT_EQ(kInterface.size(), 100u);
  const std::string table = CommandOutput("nm -D --defined-only '" KESTRON4_SHARED_LIB "' 2>&1");
  std::set<std::string> exported;
  std::istringstream lines(table);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string address, type, name;
    if (!(fields >> address >> type >> name)) continue;
    if (type == "A") continue;  // version nodes, not code or data
    exported.insert(name.substr(0, name.find('@')));
  }
  ASSERT_FALSE(exported.empty()) << table;
  for (const std::string& name : kInterface)
    EXPECT_TRUE(exported.count(name)) << "missing " << name;
  for (const std::string& name : exported) EXPECT_TRUE(kInterface.count(name)) << "extra " << name;
}

TEST(ExportedSymbolsTest, SharedLibraryCarriesItsSoname) {
  const std::string dynamic = CommandOutput("objdump -p '" KESTRON4_SHARED_LIB "' 2>&1");
  EXPECT_TRUE(std::regex_search(dynamic, std::regex(R"(SONAME\s+libkestron4\.so\.4\n)")))
      << dynamic;
}

TEST(ExportedSymbolsTest, HeaderDeclaresExactlyTheInterface) {
  std::ifstream file(KESTRON4_SOURCE_DIR "/include/kestron4/kestron4.h");
  ASSERT_TRUE(file.good());
  std::stringstream text;
  text << file.rdbuf();
  const std::string header = text.str();
  const std::regex declaration(R"(KSTRN_EXPORT[^;(]*\b(KSTRN_\w+)\s*\()");
  std::set<std::string> declared;
  for (std::sregex_iterator it(header.begin(), header.end(), declaration), end; it != end; ++it) {
    EXPECT_TRUE(declared.insert((*it)[1]).second) << "declared twice: " << (*it)[1];
  }
  EXPECT_EQ(declared, kInterface);
}

}  // namespace
