#pragma once

// A colour: r, g, b, a; 1.0 is full intensity. Nothing clamps it.
struct Color4 {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 1.0f;
};

// Hue in turns, saturation, value and alpha, all unclamped. A hue at or below -1/6
// matches no sector and gives (0, 0, 0, 1); so does a hue that is not finite.
Color4 colorFromHsv(float h, float s, float v, float a);
