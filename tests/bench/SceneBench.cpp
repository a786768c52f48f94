// The scene's own work per frame: one animation step and the twelve fans' apexes and 60 normals,
// with the GL entry points reduced to empty calls.

#include <benchmark/benchmark.h>

#include "GlRecorder.h"
#include "scene/Animation.h"
#include "scene/FrameDrawing.h"
#include "scene/Geometry.h"

namespace {

void AnimationFrame(benchmark::State& state)
{
    SetGlRecording(false);
    BuildDualVertices();
    animationState = INITIAL_ANIMATION_STATE;
    for (auto _ : state) {
        StepAnimation(&animationState);
        DrawPyramidFans();
    }
    benchmark::DoNotOptimize(animationState);
}

} // namespace

BENCHMARK(AnimationFrame);
