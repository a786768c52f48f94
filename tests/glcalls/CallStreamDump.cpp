// Prints what the scene sends to GL at start-up and, as one digest a frame, over a long run of
// ticks. Built twice, with SSE and with x87 arithmetic, the two outputs must be identical.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "GlRecorder.h"
#include "scene/Animation.h"
#include "scene/FrameDrawing.h"
#include "scene/SceneSetup.h"

namespace {

// Hex floats are exact, so two streams print alike only if every value has the same bits.
std::string FormatCall(const GlCall& call)
{
    std::string text = call.name;
    char number[64];
    for (long long value : call.ints) {
        std::snprintf(number, sizeof number, " %lld", value);
        text += number;
    }
    for (double value : call.reals) {
        std::snprintf(number, sizeof number, " %a", value);
        text += number;
    }
    return text;
}

std::uint64_t HashCalls(const std::vector<GlCall>& calls)
{
    std::uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (const GlCall& call : calls) {
        for (char c : FormatCall(call) + "\n") {
            hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        }
    }
    return hash;
}

} // namespace

int main(int argc, char** argv)
{
    const int ticks = argc > 1 ? std::atoi(argv[1]) : 4000;
    SetGlRecording(true);
    SetupScene();
    for (const GlCall& call : GetRecordedGlCalls()) {
        std::printf("%s\n", FormatCall(call).c_str());
    }
    for (int tick = 0; tick <= ticks; ++tick) {
        GetRecordedGlCalls().clear();
        DrawFrame();
        const unsigned long long hash = HashCalls(GetRecordedGlCalls());
        std::printf("tick %d %016llx\n", tick, hash);
        StepAnimation(&animationState);
    }
    return 0;
}
