// Field editing and whole records against the C library's snprintf producing
// the same digits. Records go to a unit on /dev/null, so the numbers include
// the record buffer but no disk.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <random>

#include "recordio/edit/format.h"
#include "recordio/records/formatted.h"
#include "recordio/records/list.h"

using namespace KOVA;

namespace {

constexpr std::size_t VALUES = 1024;

// Heads, coordinates and velocities of a typical model: both signs, many decades.
const std::array<double, VALUES>& SAMPLE() {
  static const std::array<double, VALUES> values = [] {
    std::array<double, VALUES> v{};
    std::mt19937_64 gen(42);
    std::uniform_real_distribution<double> mant(1.0, 10.0);
    std::uniform_int_distribution<int> exp10(-6, 5);
    for (std::size_t i = 0; i < VALUES; ++i) {
      double x = mant(gen);
      for (int e = exp10(gen); e > 0; --e) x *= 10.0;
      for (int e = exp10(gen); e < 0; ++e) x /= 10.0;
      v[i] = (gen() & 1) != 0 ? -x : x;
    }
    return v;
  }();
  return values;
}

struct SINK {
  OUTPUT O;
  int FD;
  SINK() : FD(::open("/dev/null", O_WRONLY)) { OUTPUT_ATTACH(O, 8, FD); }
  ~SINK() {
    OUTPUT_FLUSH(O);
    ::close(FD);
  }
  SINK(const SINK&) = delete;
  SINK& operator=(const SINK&) = delete;
};

void FIELD_1PE12_4(benchmark::State& state) {
  const auto& v = SAMPLE();
  char out[12];
  std::size_t i = 0;
  for (auto _ : state) {
    EDIT_E(out, 12, 4, 1, v[i++ % VALUES]);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(FIELD_1PE12_4);

void SNPRINTF_1PE12_4(benchmark::State& state) {
  const auto& v = SAMPLE();
  char out[32];
  std::size_t i = 0;
  for (auto _ : state) {
    std::snprintf(out, sizeof out, "%12.4E", v[i++ % VALUES]);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(SNPRINTF_1PE12_4);

void FIELD_E12_6(benchmark::State& state) {
  const auto& v = SAMPLE();
  char out[12];
  std::size_t i = 0;
  for (auto _ : state) {
    EDIT_E(out, 12, 6, 0, v[i++ % VALUES]);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(FIELD_E12_6);

void SNPRINTF_E12_6(benchmark::State& state) {
  const auto& v = SAMPLE();
  char out[32];
  std::size_t i = 0;
  for (auto _ : state) {
    std::snprintf(out, sizeof out, "%.5E", v[i++ % VALUES]);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(SNPRINTF_E12_6);

// A list-directed statement of one real: field, record and buffer.
void LIST_REAL4(benchmark::State& state) {
  const auto& v = SAMPLE();
  SINK s;
  std::size_t i = 0;
  for (auto _ : state) {
    const ITEM item[] = {ITEM_R4(static_cast<float>(v[i++ % VALUES]))};
    LIST_STATEMENT(s.O, item);
  }
}
BENCHMARK(LIST_REAL4);

void SNPRINTF_REAL4(benchmark::State& state) {
  const auto& v = SAMPLE();
  char out[32];
  std::size_t i = 0;
  for (auto _ : state) {
    std::snprintf(out, sizeof out, "%.6E", static_cast<double>(static_cast<float>(v[i++ % VALUES])));
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(SNPRINTF_REAL4);

void LIST_REAL8(benchmark::State& state) {
  const auto& v = SAMPLE();
  SINK s;
  std::size_t i = 0;
  for (auto _ : state) {
    const ITEM item[] = {ITEM_R8(v[i++ % VALUES])};
    LIST_STATEMENT(s.O, item);
  }
}
BENCHMARK(LIST_REAL8);

void SNPRINTF_REAL8(benchmark::State& state) {
  const auto& v = SAMPLE();
  char out[40];
  std::size_t i = 0;
  for (auto _ : state) {
    std::snprintf(out, sizeof out, "%.14E", v[i++ % VALUES]);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(SNPRINTF_REAL8);

// The TECPLOT point line: six values and seven commas in one record.
void TECPLOT_POINT_LINE(benchmark::State& state) {
  static constexpr FORMAT POINT = PARSE_FORMAT("(1PE12.4,6(',',1PE12.4))");
  const auto& v = SAMPLE();
  SINK s;
  std::size_t i = 0;
  for (auto _ : state) {
    const ITEM items[] = {ITEM_R8(v[i % VALUES]),       ITEM_R8(v[(i + 1) % VALUES]),
                          ITEM_R8(v[(i + 2) % VALUES]), ITEM_R8(v[(i + 3) % VALUES]),
                          ITEM_R8(v[(i + 4) % VALUES]), ITEM_R8(v[(i + 5) % VALUES])};
    i += 6;
    FORMATTED_STATEMENT(s.O, POINT, items);
  }
}
BENCHMARK(TECPLOT_POINT_LINE);

void SNPRINTF_POINT_LINE(benchmark::State& state) {
  const auto& v = SAMPLE();
  char out[128];
  std::size_t i = 0;
  for (auto _ : state) {
    std::snprintf(out, sizeof out, "%12.4E,%12.4E,%12.4E,%12.4E,%12.4E,%12.4E,", v[i % VALUES],
                  v[(i + 1) % VALUES], v[(i + 2) % VALUES], v[(i + 3) % VALUES], v[(i + 4) % VALUES],
                  v[(i + 5) % VALUES]);
    i += 6;
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(SNPRINTF_POINT_LINE);

// The neutral file's value line: node number, ",", 4-byte value.
void FEMAP_VALUE_LINE(benchmark::State& state) {
  const auto& v = SAMPLE();
  SINK s;
  std::size_t i = 0;
  for (auto _ : state) {
    const ITEM items[] = {ITEM_I(static_cast<std::int32_t>(i % 20000) + 1), ITEM_T(","),
                          ITEM_R4(static_cast<float>(v[i % VALUES]))};
    ++i;
    LIST_STATEMENT(s.O, items);
  }
}
BENCHMARK(FEMAP_VALUE_LINE);

void SNPRINTF_VALUE_LINE(benchmark::State& state) {
  const auto& v = SAMPLE();
  char out[64];
  std::size_t i = 0;
  for (auto _ : state) {
    std::snprintf(out, sizeof out, "%12d ,%.6E", static_cast<int>(i % 20000) + 1,
                  static_cast<double>(static_cast<float>(v[i % VALUES])));
    ++i;
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(SNPRINTF_VALUE_LINE);

}  // namespace
