#pragma once

// A stand-in for the GL 1.1 and GLU entry points that the scene calls. Linked instead of libGL,
// it records every call with its arguments, including the floats read through pointers, so the
// tests can check what the scene would have sent to a driver.

#include <ostream>
#include <string>
#include <vector>

struct GlCall {
    std::string name;
    std::vector<long long> ints; // enums, bit masks, integers, list names, in argument order
    std::vector<double> reals;   // float and double arguments, then the floats behind a pointer
};

bool operator==(const GlCall& a, const GlCall& b);
void PrintTo(const GlCall& call, std::ostream* out);

std::vector<GlCall>& GetRecordedGlCalls();

// With recording off the entry points return at once: the benchmarks time the scene, not this.
void SetGlRecording(bool on);
