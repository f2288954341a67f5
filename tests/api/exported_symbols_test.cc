// The shared library's dynamic symbol table and the public header must both
// hold exactly the 100 functions of the C interface.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

// The 100 functions, without their KSTRN_ prefix.
const char kNames[] =
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
    "SetGlobalTempDir Unmap ValCompare ValSize ValType WriteData ";

std::set<std::string> Interface() {
  std::set<std::string> names;
  std::istringstream words(kNames);
  for (std::string word; words >> word;) names.insert("KSTRN_" + word);
  return names;
}

const std::set<std::string> kInterface = Interface();

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
  std::istringstream dynamic(CommandOutput("objdump -p '" KESTRON4_SHARED_LIB "' 2>&1"));
  std::string soname;
  for (std::string key; dynamic >> key;) {
    if (key == "SONAME") dynamic >> soname;
  }
  EXPECT_EQ(soname, "libkestron4.so.4");
}

TEST(ExportedSymbolsTest, HeaderDeclaresExactlyTheInterface) {
  std::ifstream file(KESTRON4_SOURCE_DIR "/include/kestron4/kestron4.h");
  ASSERT_TRUE(file.good());
  std::stringstream text;
  text << file.rdbuf();
  const std::string header = text.str();
  // Every declaration starts with the export macro; the name is the first
  // KSTRN_ word after it that an opening parenthesis follows.
  std::set<std::string> declared;
  const std::string macro = "KSTRN_EXPORT ";
  for (std::size_t at = header.find(macro); at != std::string::npos;
       at = header.find(macro, at + 1)) {
    if (at >= 8 && header.compare(at - 8, 8, "#define ") == 0) continue;
    const std::size_t open = header.find('(', at);
    const std::size_t name = header.rfind("KSTRN_", open);
    ASSERT_NE(open, std::string::npos);
    ASSERT_GT(name, at);
    const std::string function = header.substr(name, open - name);
    EXPECT_TRUE(declared.insert(function).second) << "declared twice: " << function;
  }
  EXPECT_EQ(declared, kInterface);
}

}  // namespace
