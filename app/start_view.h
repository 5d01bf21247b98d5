#pragma once

// Where the program starts: its window's size and the interaction state's first values.
// The tools' defaults and the page's start-up view are these.
struct StartView {
    int width = 480, height = 480;
    float angleZ = -135.0f, angleX = -60.0f;
    float panX = 0.0f, panY = 0.0f;
    float zoom = 0.25f;
};
inline constexpr StartView startView{};
