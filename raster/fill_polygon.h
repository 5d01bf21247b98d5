#pragma once

#include <vector>

#include "raster/edge.h"
#include "raster/fill_observer.h"
#include "scene/scene.h"

// Scan-converts one polygon from its edge list into DepthBuffer and ColorBuffer, which
// must have been prepared for width x height: row by row from the lowest row it touches,
// spans between pairs of edges sorted by x, a strict depth test, and a sphere-map colour
// for every pixel that passes. Empties the edge list. Rows and columns are clamped to
// the frame, whatever the edges hold.
void fillPolygon(std::vector<Edge>& edges, int width, int height, const Scene& scene,
                 const Mesh& mesh);

// fillPolygon in two steps, for a run of polygons of one mesh. A pixel's colour depends
// only on the normal of the last fragment that passed the depth test there, so
// scanPolygon stores that normal in the pixel and resolvePendingColors looks the colour
// up once per pixel instead of once per passing fragment: the same image, with the
// lookups of overdrawn fragments skipped. An observer sees every row, span and fragment.
void scanPolygon(const Edge* edges, int count, int width, int height,
                 FillObserver* observer = nullptr);
void resolvePendingColors(const Scene& scene, const Mesh& mesh);
