#pragma once
// The state of the processor's vector registers around our heavy loops.
//
// Some library code returns with the upper halves of the AVX registers still in use (Qt
// 6.4's hashing of strings and byte arrays, which most string-keyed lookups in Qt go
// through, is one). Until something clears them, every SSE instruction that follows,
// which includes every operation on a double, waits on a false dependency on those
// halves: on current Intel processors the parsing, formatting and arithmetic loops of
// this program then take about twice as long. The loops that touch a whole file or a
// whole grid call ClearUpperVectorState() first; it costs one instruction, and nothing
// on processors without AVX or outside x86.

namespace vrma {

void ClearUpperVectorState() noexcept;

// Whether the processor has AVX and tells whether the upper halves are in use (XGETBV
// with ECX = 1), and whether they are in use now (false where it cannot tell). For tests
// and benchmarks.
bool VectorStateVisible() noexcept;
bool UpperVectorStateInUse() noexcept;

} // namespace vrma
