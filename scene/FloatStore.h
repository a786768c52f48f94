#pragma once

// The 32-bit build computes with the x87 unit, which holds every intermediate in extended
// precision. Compilers differ in when they round such a value to the type it is given: GCC 12
// rounds only when the value goes through memory; GCC 13 and later, following the standard's
// excess precision, round at every assignment, cast and argument passing. Where a rounding is
// part of the result, the value goes through a volatile object, whose store every compiler must
// make, so each rounding happens at the same place under either rule.

// The value rounded to double, as it would be in an SSE register.
inline double StoreDouble(double value)
{
    volatile double stored = value;
    return stored;
}

// The value rounded first to double, then to float: what the x86-64 build does when it converts
// a double result to float. Rounding the extended value to float directly could land on the other
// neighbour when the double in between is a tie.
inline float StoreFloat(double value)
{
    volatile float stored = static_cast<float>(StoreDouble(value));
    return stored;
}
