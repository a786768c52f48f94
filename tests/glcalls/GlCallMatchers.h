#pragma once

// What the call-sequence tests share: building expected calls, and reading the vectors that
// glNormal3fv and glVertex3fv were given.

#include <gtest/gtest.h>

#include <cstddef>
#include <initializer_list>
#include <string>
#include <vector>

#include "GlRecorder.h"
#include "common/Vec3.h"

inline GlCall MakeCall(const char* name, std::initializer_list<long long> ints = {},
                       std::initializer_list<double> reals = {})
{
    return GlCall{name, ints, reals};
}

inline std::vector<std::string> ListNames(std::vector<GlCall>::const_iterator begin,
                                          std::vector<GlCall>::const_iterator end)
{
    std::vector<std::string> names;
    for (auto it = begin; it != end; ++it) {
        names.push_back(it->name);
    }
    return names;
}

// The vector a glNormal3fv or glVertex3fv call was given; the recorder keeps floats exactly.
inline Vec3 ReadVector(const GlCall& call)
{
    EXPECT_EQ(call.reals.size(), 3u) << call.name;
    if (call.reals.size() != 3u) {
        return Vec3{0.0f, 0.0f, 0.0f};
    }
    return Vec3{static_cast<float>(call.reals[0]), static_cast<float>(call.reals[1]),
                static_cast<float>(call.reals[2])};
}

inline bool HaveSameBits(const Vec3& a, const Vec3& b)
{
    return a.x == b.x && a.y == b.y && a.z == b.z;
}

// Runs `draw` with a fresh recording and returns what it sent.
template <typename Draw>
std::vector<GlCall> RecordCalls(Draw draw)
{
    GetRecordedGlCalls().clear();
    SetGlRecording(true);
    draw();
    return GetRecordedGlCalls();
}
