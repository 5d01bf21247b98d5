#include <benchmark/benchmark.h>

#include "app/camera.h"
#include "app/start_view.h"
#include "raster/frame_buffers.h"
#include "raster/software_frame.h"
#include "scene/torus.h"
#include "bench/plain_rasterizer.h"

// The software frame without presentation, in steady state (buffers already sized), and
// the same frame through a plain rasterizer without the shortcuts.

namespace {

Texture gradientTexture()
{
    Texture texture;
    texture.width = texture.height = 256;
    texture.components = 3;
    texture.data.resize(textureBytes);
    for (long i = 0; i < textureBytes; ++i)
        texture.data[i] = static_cast<unsigned char>(i * 31 % 251);
    return texture;
}

Scene& torusScene()
{
    static Texture texture = gradientTexture();
    static Scene scene;
    if (scene.meshes.empty()) {
        scene.currentTexture = &texture;
        buildTorus(scene, 48, 48);
    }
    return scene;
}

// The scene at the start-up view's angles, `zoomTo` along the viewing axis, through the
// camera of a width x height window.
Scene& aimedScene(int width, int height, float zoomTo = startView.zoom)
{
    angleZ = startView.angleZ;
    angleX = startView.angleX;
    zoom = zoomTo;
    Scene& scene = torusScene();
    setupCamera(scene, width, height);
    return scene;
}

long filledPixels(int width, int height)
{
    long filled = 0;
    for (long i = 0; i < long(width) * height; ++i)
        filled += DepthBuffer[i] != 1.0f;
    return filled;
}

void softwareFrame(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    Scene& scene = aimedScene(width, height, state.range(2) ? static_cast<float>(state.range(2)) : startView.zoom);
    renderSoftwareFrame(scene, width, height);
    const long filled = filledPixels(width, height);
    for (auto _ : state)
        renderSoftwareFrame(scene, width, height);
    state.counters["filled_pixels"] = static_cast<double>(filled);
    state.counters["filled_per_s"] = benchmark::Counter(static_cast<double>(filled),
                                                        benchmark::Counter::kIsIterationInvariantRate);
}

// The same frame through the plain rasterizer: what the shortcuts save.
void plainSoftwareFrame(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    Scene& scene = aimedScene(width, height);
    for (auto _ : state)
        benchmark::DoNotOptimize(plainFrame(scene, width, height).color.data());
}

// The frame under the first `steps` rules of the ladder (7: gl), at the start-up view.
void rulesFrame(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const RasterRules rules = ladderStep(static_cast<int>(state.range(2)));
    Scene& scene = aimedScene(width, height);
    for (auto _ : state)
        renderSoftwareFrame(scene, width, height, rules);
}

// Arguments: width, height, zoom (0 for the initial 0.25).
BENCHMARK(softwareFrame)
    ->ArgNames({"w", "h", "zoom"})
    ->Args({480, 480, 0})
    ->Args({480, 480, 6})
    ->Args({960, 960, 0})
    ->Args({1280, 720, 0})
    ->Args({1280, 720, 6})
    ->Args({1920, 1080, 0})
    ->Args({1920, 1080, 6})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(rulesFrame)
    ->ArgNames({"w", "h", "steps"})
    ->Args({480, 480, 1})
    ->Args({480, 480, 7})
    ->Args({1920, 1080, 7})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(plainSoftwareFrame)->ArgNames({"w", "h"})->Args({480, 480})->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
