#pragma once
// Whether the processor the program runs on has the vector instructions that loops over large
// inputs (a JSON string scan, a base64 decoder) have a wide road for. Such a road is compiled
// for its instructions whatever the build's target and taken only when this says so.
namespace pvo_util {

// True on an x86-64 processor with AVX2; the processor is asked once.
bool has_avx2() noexcept;

}  // namespace pvo_util
