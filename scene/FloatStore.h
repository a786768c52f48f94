#pragma once

// The 32-bit build computes with the x87 unit, where a value cast to float keeps its extended
// precision as long as it stays in a register. Where single-precision rounding is part of the
// result, the value goes through a volatile float so that the store really happens.
inline float StoreFloat(double value)
{
    volatile float stored = static_cast<float>(value);
    return stored;
}

// The same for a double, which the x87 unit holds in extended precision until it is stored.
inline double StoreDouble(double value)
{
    volatile double stored = value;
    return stored;
}
