// KESTRON4_BENCH_SCALE (a number, default 1) shrinks the data sets of every
// bench by that factor, so that a smoke run of all of them takes moments:
//
//   KESTRON4_BENCH_SCALE=0.01 build/bench/tree_bench --benchmark_min_time=0.001
#pragma once

#include <cstdlib>

namespace kestron4::bench {

inline double Scale() {
  const char* text = std::getenv("KESTRON4_BENCH_SCALE");
  const double scale = text != nullptr ? std::atof(text) : 1.0;
  return scale > 0 && scale <= 1 ? scale : 1.0;
}

// n scaled down, at least lowest.
template <class T>
T Scaled(T n, T lowest = 1) {
  const auto scaled = static_cast<T>(static_cast<double>(n) * Scale());
  return scaled < lowest ? lowest : scaled;
}

}  // namespace kestron4::bench
