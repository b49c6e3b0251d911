// Formatting speed of stored values: a million values of mixed types, as a
// page of rows hands them to the row writer.
#include "vrndll/sql/ValueFormat.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <vector>

namespace {

struct StoredValue {
    uint8_t type;
    uint8_t length;
    uint8_t scale;
    uint8_t bytes[32];
};

constexpr size_t kValues = 1000000;

// Types in the proportions of an ordinary table: mostly integers,
// characters and dates, some money, numerics and floats.
const uint8_t kMix[] = {values::kInt,      values::kInt,      values::kVarChar,  values::kVarChar,
                        values::kChar,     values::kSmallInt, values::kDateTime, values::kMoney,
                        values::kNumeric,  values::kFloat,    values::kReal,     values::kTinyInt,
                        values::kBinary,   values::kBigInt,   values::kSmallDateTime,
                        values::kSmallMoney};

std::vector<StoredValue> MakeValues() {
    std::mt19937_64 random(12345);
    const char letters[] = "abcdefghijklmnopqrstuvwxyz ABCDEFGHIJ'0123456789";
    std::vector<StoredValue> stored(kValues);
    for (StoredValue &v : stored) {
        v.type = kMix[random() % sizeof kMix];
        uint64_t r = random();
        std::memcpy(v.bytes, &r, 8);
        r = random();
        std::memcpy(v.bytes + 8, &r, 8);
        int width = values::StoredWidth(v.type);
        v.scale = 0;
        if (width > 0) {
            v.length = static_cast<uint8_t>(width);
        } else if (v.type == values::kNumeric) {
            v.length = 9;
            v.scale = 2;
            v.bytes[0] = static_cast<uint8_t>(r & 1);
        } else {
            v.length = static_cast<uint8_t>(4 + random() % 28);
            if (v.type != values::kBinary)
                for (int i = 0; i < v.length; ++i)
                    v.bytes[i] = static_cast<uint8_t>(letters[random() % (sizeof letters - 1)]);
        }
        if (v.type == values::kDateTime) { // plausible dates and times
            uint32_t day = 30000 + static_cast<uint32_t>(r % 20000);
            uint32_t ticks = static_cast<uint32_t>((r >> 20) % values::kTicksPerDay);
            std::memcpy(v.bytes, &day, 4);
            std::memcpy(v.bytes + 4, &ticks, 4);
        }
    }
    return stored;
}

void BM_FormatMixedValues(benchmark::State &state) {
    static const std::vector<StoredValue> stored = MakeValues();
    std::string out;
    out.reserve(64 * 1024 * 1024);
    for (auto _ : state) {
        out.clear();
        for (const StoredValue &v : stored) {
            values::AppendValue(out, v.type, v.bytes, v.length, v.scale, true);
            out.push_back(',');
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(kValues));
    state.counters["ns/value"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(kValues),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FormatMixedValues)->Unit(benchmark::kMillisecond);

template <uint8_t Type> void BM_FormatOneType(benchmark::State &state) {
    static const std::vector<StoredValue> stored = [] {
        std::vector<StoredValue> all = MakeValues(), picked;
        for (const StoredValue &v : all)
            if (v.type == Type) picked.push_back(v);
        return picked;
    }();
    std::string out;
    for (auto _ : state) {
        out.clear();
        for (const StoredValue &v : stored)
            values::AppendValue(out, v.type, v.bytes, v.length, v.scale, true);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["ns/value"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(stored.size()),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK_TEMPLATE(BM_FormatOneType, values::kInt)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_FormatOneType, values::kVarChar)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_FormatOneType, values::kDateTime)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_FormatOneType, values::kMoney)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_FormatOneType, values::kNumeric)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_FormatOneType, values::kFloat)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
