// A MAT level 5 matrix (mat5_format.h) described before it is written:
// numeric arrays whose bytes a callback streams, text, and structs of
// them. Sizes come from the description, so nothing is held in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "recording/mat/mat5_format.h"
#include "recording/writer_input/byte_sink.h"

namespace kstrn::recording::mat5 {

struct Matrix {
  ArrayClass array_class = mxDOUBLE;
  DataType data_type = miDOUBLE;
  uint8_t width = 8;  // bytes per element
  uint64_t rows = 0, cols = 0;
  // Writes exactly rows * cols * width bytes, column-major.
  std::function<void(written::ByteSink&)> fill;
  // A struct (array_class mxSTRUCT): its fields' names and matrices.
  std::vector<std::string> field_names;
  std::vector<Matrix> fields;
};

Matrix Text(const std::string& utf8);
// rows strings as a char matrix padded with blanks, one per row.
Matrix TextRows(const std::vector<std::string>& utf8);
Matrix Scalar(double value);
Matrix DoubleColumn(std::vector<double> values);
// A struct of one element; field names must be valid (ValidNames).
Matrix Struct(std::vector<std::pair<std::string, Matrix>> fields);

// Bytes of the whole element (tag included) for a matrix named `name`.
uint64_t ElementBytes(const Matrix& matrix, const std::string& name);

// Writes the element. REQUIRES: ElementBytes(matrix, name) - 8 <= kMaxMatrixBytes.
void WriteMatrix(written::ByteSink& out, const Matrix& matrix, const std::string& name);

// The 128-byte file header.
void WriteFileHeader(written::ByteSink& out, const std::string& text);

}  // namespace kstrn::recording::mat5
