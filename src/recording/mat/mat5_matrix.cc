#include "recording/mat/mat5_matrix.h"

#include <algorithm>
#include <cstring>

namespace kstrn::recording::mat5 {

namespace {

uint64_t Padded(uint64_t bytes) { return (bytes + 7) / 8 * 8; }

uint32_t FieldNameBytes(const Matrix& m) {
  size_t longest = 0;
  for (const std::string& name : m.field_names) longest = std::max(longest, name.size());
  return static_cast<uint32_t>(std::max<size_t>(32, longest + 1));
}

void Tag(written::ByteSink& out, uint32_t type, uint64_t bytes) {
  out.WriteU32(type);
  out.WriteU32(static_cast<uint32_t>(bytes));
}

void Pad(written::ByteSink& out, uint64_t bytes) {
  static constexpr uint8_t kZeros[8] = {};
  out.Write(kZeros, Padded(bytes) - bytes);
}

// UTF-8 to UTF-16 code units; a broken sequence gives U+FFFD.
std::vector<uint16_t> Utf16(const std::string& utf8) {
  std::vector<uint16_t> units;
  for (size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    const size_t extra = b < 0x80 ? 0 : (b >> 5) == 6 ? 1 : (b >> 4) == 14 ? 2 : (b >> 3) == 30 ? 3 : 9;
    uint32_t cp = extra == 0 ? b : extra == 1 ? (b & 0x1F) : extra == 2 ? (b & 0x0F) : (b & 0x07);
    bool ok = extra != 9;
    for (size_t k = 1; ok && k <= extra; ++k) {
      if (i + k >= utf8.size()) { ok = false; break; }
      const auto c = static_cast<unsigned char>(utf8[i + k]);
      if ((c >> 6) != 2) ok = false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (!ok || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) {
      units.push_back(0xFFFD);
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      units.push_back(static_cast<uint16_t>(0xD800 + (cp >> 10)));
      units.push_back(static_cast<uint16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      units.push_back(static_cast<uint16_t>(cp));
    }
    i += extra + 1;
  }
  return units;
}

Matrix Chars(std::vector<uint16_t> units, uint64_t rows, uint64_t cols) {
  Matrix m;
  m.array_class = mxCHAR;
  m.data_type = miUINT16;
  m.width = 2;
  m.rows = rows;
  m.cols = cols;
  m.fill = [units = std::move(units)](written::ByteSink& out) { out.Write(units.data(), units.size() * 2); };
  return m;
}

}  // namespace

Matrix Text(const std::string& utf8) {
  std::vector<uint16_t> units = Utf16(utf8);
  const uint64_t n = units.size();
  return Chars(std::move(units), n == 0 ? 0 : 1, n);
}

Matrix TextRows(const std::vector<std::string>& utf8) {
  std::vector<std::vector<uint16_t>> rows;
  size_t width = 0;
  for (const std::string& s : utf8) {
    rows.push_back(Utf16(s));
    width = std::max(width, rows.back().size());
  }
  std::vector<uint16_t> units(rows.size() * width, u' ');
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < rows[r].size(); ++c) units[c * rows.size() + r] = rows[r][c];
  }
  return Chars(std::move(units), rows.size(), width);
}

Matrix Scalar(double value) { return DoubleColumn({value}); }

Matrix DoubleColumn(std::vector<double> values) {
  Matrix m;
  m.rows = values.size();
  m.cols = 1;
  m.fill = [values = std::move(values)](written::ByteSink& out) {
    out.Write(values.data(), values.size() * 8);
  };
  return m;
}

Matrix Struct(std::vector<std::pair<std::string, Matrix>> fields) {
  Matrix m;
  m.array_class = mxSTRUCT;
  m.rows = m.cols = 1;
  for (auto& [name, field] : fields) {
    m.field_names.push_back(std::move(name));
    m.fields.push_back(std::move(field));
  }
  return m;
}

uint64_t ElementBytes(const Matrix& m, const std::string& name) {
  uint64_t bytes = 8 + 16 + 16 + 8 + Padded(name.size());
  if (m.array_class == mxSTRUCT) {
    bytes += 16 + 8 + Padded(uint64_t{FieldNameBytes(m)} * m.fields.size());
    for (const Matrix& field : m.fields) bytes += ElementBytes(field, "");
  } else {
    bytes += 8 + Padded(m.rows * m.cols * m.width);
  }
  return bytes;
}

void WriteMatrix(written::ByteSink& out, const Matrix& m, const std::string& name) {
  Tag(out, miMATRIX, ElementBytes(m, name) - 8);
  Tag(out, miUINT32, 8);
  out.WriteU32(m.array_class);
  out.WriteU32(0);
  Tag(out, miINT32, 8);
  out.WriteU32(static_cast<uint32_t>(m.rows));
  out.WriteU32(static_cast<uint32_t>(m.cols));
  Tag(out, miINT8, name.size());
  out.Write(name.data(), name.size());
  Pad(out, name.size());
  if (m.array_class == mxSTRUCT) {
    const uint32_t each = FieldNameBytes(m);
    Tag(out, miINT32, 4);
    out.WriteU32(each);
    out.WriteU32(0);
    Tag(out, miINT8, uint64_t{each} * m.fields.size());
    std::vector<char> padded(each);
    for (const std::string& field_name : m.field_names) {
      std::fill(padded.begin(), padded.end(), '\0');
      std::memcpy(padded.data(), field_name.data(), std::min<size_t>(field_name.size(), each - 1));
      out.Write(padded.data(), each);
    }
    Pad(out, uint64_t{each} * m.fields.size());
    for (const Matrix& field : m.fields) WriteMatrix(out, field, "");
    return;
  }
  const uint64_t bytes = m.rows * m.cols * m.width;
  Tag(out, m.data_type, bytes);
  if (m.fill) m.fill(out);
  Pad(out, bytes);
}

void WriteFileHeader(written::ByteSink& out, const std::string& text) {
  char header[128];
  std::memset(header, ' ', 116);
  std::memcpy(header, text.data(), std::min<size_t>(text.size(), 116));
  std::memset(header + 116, 0, 8);
  header[124] = 0x00;
  header[125] = 0x01;
  header[126] = 'I';
  header[127] = 'M';
  out.Write(header, sizeof header);
}

}  // namespace kstrn::recording::mat5
