#pragma once

// The largest side, in pixels, of a frame and of any picture made from one or read to
// compare with one (a slide, a PPM or PNG file): one limit for the program's tools and
// the page, which reads it from its module.
constexpr int largestSide = 16384;
