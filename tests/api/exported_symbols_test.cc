// The shared library's dynamic symbol table and the public header must both
// hold exactly the 100 functions of the C interface.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

std::set<std::string> Interface() {
  std::istringstream words(
      "AddBookMark AllocData BookMarksEquivalent CancelSession ChangeTID CheckIntegrity "
      "CheckRefdValue CheckRefdValueUTF16 CheckRefdValueUTF8 CloseItem CloseSession "
      "CompareValues Compress CopyBlocks CopyContents CreateReference CreateStream DeCompress "
      "DeleteCurrentItem DeleteItem DeleteItemBlocks DeleteValue DestroyStream ExportQF73v3 "
      "ExportSession ExportSessionW FindLocalType FindLocalTypeUTF16 FindLocalTypeUTF8 "
      "FindType FindTypeUTF16 FindTypeUTF8 GetBufferLenUTF16 GetBufferLenUTF8 GetCheckSum "
      "GetEVersion GetFileType GetItemCount GetLastEE GetLastEEStr GetParentTID GetRefdValue "
      "GetTypeCount GetTypeList GetValSize GetValue GetValueCount GetValueHandle GetValueList "
      "GetValuePtr GotoBookMark GotoItem GotoReference GotoRoot InsertData InsertDataFile "
      "InsertDataFileW InsertItemBlocks InsertStringUTF16 InsertStringUTF8 InsertValue "
      "InsertValueS IsLogger IsLongVariableSize IsQuickFind IsValueID IsVariableSize "
      "MoveCurrentItem MoveToRAM NewSession NextItem OpenItem OpenMemMappedSessionH "
      "OpenSession OpenSessionBuffer OpenSessionH OpenSessionW OpenStreamedSessionH "
      "OpenStreamedSessionW PreviousItem ReadStringUTF16 ReadStringUTF8 ReadValue "
      "ReadValueStream Remap RemoveBookMark SaveSession SaveSessionBuffer SaveSessionH "
      "SaveSessionSize SaveSessionW SaveWithAbsRefs SerializeItem SerializeItemSize "
      "SetGlobalTempDir Unmap ValCompare ValSize ValType WriteData");
  std::set<std::string> names;
  for (std::string word; words >> word;) names.insert("KSTRN_" + word);
  return names;
}

std::string CommandOutput(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  char buffer[4096];
  for (std::size_t n; pipe != nullptr && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    output.append(buffer, n);
  if (pipe != nullptr) pclose(pipe);
  return output;
}

TEST(ExportedSymbolsTest, SharedLibraryExportsExactlyTheInterfaceUnderItsSoname) {
  const std::set<std::string> interface = Interface();
  ASSERT_EQ(interface.size(), 100u);
  std::istringstream lines(CommandOutput("nm -D --defined-only '" KESTRON4_SHARED_LIB "' 2>&1"));
  std::set<std::string> exported;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string address, type, name;
    if (fields >> address >> type >> name && type != "A")  // "A": version nodes
      exported.insert(name.substr(0, name.find('@')));
  }
  EXPECT_EQ(exported, interface);
  std::istringstream dynamic(CommandOutput("objdump -p '" KESTRON4_SHARED_LIB "' 2>&1"));
  std::string soname;
  for (std::string key; dynamic >> key;)
    if (key == "SONAME") dynamic >> soname;
  EXPECT_EQ(soname, "libkestron4.so.4");
}

TEST(ExportedSymbolsTest, HeaderDeclaresExactlyTheInterface) {
  std::ifstream file(KESTRON4_SOURCE_DIR "/include/kestron4/kestron4.h");
  ASSERT_TRUE(file.good());
  std::stringstream text;
  text << file.rdbuf();
  const std::string header = text.str(), macro = "KSTRN_EXPORT ";
  // A declaration's name is the last KSTRN_ word before the first '(' after
  // the export macro.
  std::multiset<std::string> declared;
  for (std::size_t at = header.find(macro); at != std::string::npos;
       at = header.find(macro, at + 1)) {
    if (at >= 8 && header.compare(at - 8, 8, "#define ") == 0) continue;
    const std::size_t open = header.find('(', at);
    const std::size_t name = header.rfind("KSTRN_", open);
    ASSERT_TRUE(open != std::string::npos && name > at);
    declared.insert(header.substr(name, open - name));
  }
  const std::set<std::string> interface = Interface();
  EXPECT_EQ(declared, std::multiset<std::string>(interface.begin(), interface.end()));
}

}  // namespace
