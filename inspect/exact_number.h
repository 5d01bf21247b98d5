#pragma once

#include <nlohmann/json_fwd.hpp>

#include <string>

// JSON objects keep their keys in the order written, for people reading them. Only the
// declaration here: the library's whole header costs seconds per file that includes it,
// so the files that build JSON include it themselves.
using Json = nlohmann::ordered_json;

// The shortest decimal that reads back to the same float ("0.1", "1", "-2.5e-07");
// "nan", "inf" or "-inf" for the rest.
std::string exactText(float value);

// The same number for JSON: the double nearest that decimal, which JSON writers print as
// that decimal again; null for NaN and infinities, which JSON cannot hold.
Json exactJson(float value);

// An object one key to a line, and arrays of objects one element to a line: compact,
// yet a history or a trace reads down the page.
std::string jsonLines(const Json& object);
