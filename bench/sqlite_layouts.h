// The rows of the fresh-process bench in SQLite, in the layouts it compares
// against: a block table (id, parent, tid) and one row per value.
//
//   rowid    the values in a plain table (block, tid, value), scanned in
//            rowid order: each row also carries its 8-byte row id
//   keyed    the values in a WITHOUT ROWID table keyed by (block, tid),
//            scanned in key order: one b-tree, rows packed in the order a
//            reader walks them, no row id
//   keyed64  the same with 64 KB pages: a sixteenth of the page reads and
//            page headers of 4 KB pages
//   mapped   the keyed database read through a memory mapping of the file
//            (PRAGMA mmap_size): pages are not copied out of the page cache
//
// Each layout is built in one transaction with journal and sync off, the
// rows inserted in key order.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace kestron4::bench::sqlite_rows {

enum class Layout { kRowid, kKeyed, kKeyed64, kMapped };

inline bool ParseLayout(const std::string& name, Layout* layout) {
  static const struct {
    const char* name;
    Layout layout;
  } kNames[] = {{"rowid", Layout::kRowid},
                {"keyed", Layout::kKeyed},
                {"keyed64", Layout::kKeyed64},
                {"mapped", Layout::kMapped}};
  for (const auto& n : kNames) {
    if (name == n.name) {
      *layout = n.layout;
      return true;
    }
  }
  return false;
}

[[noreturn]] inline void Failed(sqlite3* db, const char* what) {
  std::fprintf(stderr, "sqlite: %s: %s\n", what, db != nullptr ? sqlite3_errmsg(db) : "?");
  std::exit(2);
}

inline void Exec(sqlite3* db, const char* sql) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Failed(db, sql);
}

// Inserts the rows of `groups` groups of `records` records into a new
// database at db, up to (not including) the COMMIT, which is left to the
// caller. forEachValue(n, visit) gives record n's values as visit(tid, data,
// size).
template <class ForEachValue>
void Insert(sqlite3* db, Layout layout, int groups, int records, ForEachValue forEachValue) {
  if (layout == Layout::kKeyed64) Exec(db, "PRAGMA page_size=65536;");
  Exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;"
           "CREATE TABLE blocks(id INTEGER PRIMARY KEY, parent INTEGER, tid INTEGER);");
  Exec(db, layout == Layout::kRowid
               ? "CREATE TABLE vals(block INTEGER, tid INTEGER, value BLOB);"
               : "CREATE TABLE vals(block INTEGER, tid INTEGER, value BLOB, "
                 "PRIMARY KEY(block, tid)) WITHOUT ROWID;");
  sqlite3_stmt* block = nullptr;
  sqlite3_stmt* value = nullptr;
  if (sqlite3_prepare_v2(db, "INSERT INTO blocks VALUES(?,?,?)", -1, &block, nullptr) !=
          SQLITE_OK ||
      sqlite3_prepare_v2(db, "INSERT INTO vals VALUES(?,?,?)", -1, &value, nullptr) != SQLITE_OK)
    Failed(db, "prepare");
  int64_t id = 0;
  int64_t n = 0;
  const auto addBlock = [&](int64_t parent, int tid) {
    sqlite3_bind_int64(block, 1, ++id);
    sqlite3_bind_int64(block, 2, parent);
    sqlite3_bind_int(block, 3, tid);
    if (sqlite3_step(block) != SQLITE_DONE) Failed(db, "insert");
    sqlite3_reset(block);
    return id;
  };
  constexpr int kGroupTid = 100;
  constexpr int kRecordTid = 101;
  for (int g = 0; g < groups; ++g) {
    const int64_t group = addBlock(0, kGroupTid);
    for (int r = 0; r < records; ++r, ++n) {
      const int64_t record = addBlock(group, kRecordTid);
      forEachValue(n, [&](uint16_t tid, const void* data, uint32_t size) {
        sqlite3_bind_int64(value, 1, record);
        sqlite3_bind_int(value, 2, tid);
        sqlite3_bind_blob(value, 3, data, static_cast<int>(size), SQLITE_STATIC);
        if (sqlite3_step(value) != SQLITE_DONE) Failed(db, "insert");
        sqlite3_reset(value);
      });
    }
  }
  sqlite3_finalize(block);
  sqlite3_finalize(value);
}

// Opens the database and reads every column of every value row, in the
// layout's order; counts the rows in *values.
inline void Scan(const std::string& path, Layout layout, double* values) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
    Failed(db, "open");
  if (layout == Layout::kMapped) Exec(db, "PRAGMA mmap_size=1073741824;");
  sqlite3_stmt* scan = nullptr;
  const char* sql = layout == Layout::kRowid ? "SELECT block, tid, value FROM vals"
                                             : "SELECT block, tid, value FROM vals "
                                               "ORDER BY block, tid";
  if (sqlite3_prepare_v2(db, sql, -1, &scan, nullptr) != SQLITE_OK) Failed(db, "prepare");
  uint64_t sum = 0;
  while (sqlite3_step(scan) == SQLITE_ROW) {
    sum += static_cast<uint64_t>(sqlite3_column_int64(scan, 0) + sqlite3_column_int(scan, 1));
    const void* blob = sqlite3_column_blob(scan, 2);
    sum += static_cast<uint64_t>(sqlite3_column_bytes(scan, 2)) + (blob != nullptr);
    ++*values;
  }
  sqlite3_finalize(scan);
  sqlite3_close(db);
  if (sum == 0) Failed(nullptr, "empty scan");
}

}  // namespace kestron4::bench::sqlite_rows
