// What the fuzz targets share: a check that stops the run with a message when a property does not
// hold (libFuzzer then keeps the input as a crash), and a reader of fuzzed bytes.
#pragma once
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <string>

inline void FuzzCheck(bool holds, const std::string& what) {
    if (holds) return;
    std::fprintf(stderr, "property broken: %s\n", what.c_str());
    std::abort();
}

// A byte string of up to maxLength bytes.
inline std::string FuzzBytes(FuzzedDataProvider& in, size_t maxLength) {
    return in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(0, maxLength));
}
