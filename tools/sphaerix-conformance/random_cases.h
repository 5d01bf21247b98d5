#pragma once

#include <cstdint>
#include <vector>

#include "conformance/case_list.h"

// `count` views drawn from `seed`, named random-SEED-K (K from 1): sizes 1 to 1024 per
// side, angles ordinary and up to ±1e6, pans and zooms from far away to through and
// behind the eye. The same seed gives the same views on every machine: the generator
// uses only integer arithmetic, and every value is a small multiple of a power of two,
// exact as a float.
std::vector<ConformanceCase> randomCases(int count, std::uint64_t seed);
