#pragma once

#include <string>

// The rules a software frame follows. By default the program's own: window positions as
// computed, edges walked row by row with truncation, values interpolated along edges and
// spans, the nearest texel of each pixel's interpolated normal. Each rule below replaces
// one of them with what fixed-function OpenGL does, in the order of the ladder that leads
// from our frame to OpenGL's; any combination is a frame of its own, and all of them
// together (`gl`) draw what OpenGL draws. docs/rules.md gives each one's arithmetic.
enum class Rule : int {
    centres,     // each polygon as a fan of triangles, coverage at pixel centres with a
                 // tie rule, values from the triangle's weights at the centre
    snap,        // window positions on a grid of 1/256 pixel before coverage is decided
    perspective, // values other than depth interpolated with perspective correction
    texgen,      // sphere-map coordinates made per corner from the reflection vector
    filter,      // the texture filtered between four texels, as OpenGL's linear filter
    floatVertex, // the corner arithmetic in single precision, depth in window scale
    clip,        // primitives clipped against the near and far planes in clip space
};
constexpr int ruleCount = 7;

struct RasterRules {
    unsigned bits = 0; // bit r for Rule r

    bool has(Rule rule) const { return bits >> static_cast<int>(rule) & 1u; }
    bool any() const { return bits != 0; }
    RasterRules with(Rule rule) const { return RasterRules{bits | 1u << static_cast<int>(rule)}; }
    RasterRules without(Rule rule) const { return RasterRules{bits & ~(1u << static_cast<int>(rule))}; }
    bool operator==(const RasterRules&) const = default;

    static RasterRules none() { return RasterRules{}; }
    static RasterRules gl() { return RasterRules{(1u << ruleCount) - 1}; }
};

// "centres", "snap", ... as the command lines, links and the page spell them.
const char* ruleName(Rule rule);

// One line saying what the rule takes from OpenGL, for --rules help.
const char* ruleSummary(Rule rule);

// The first `steps` rules of the ladder: step 0 is the program's own rules, step 7 `gl`.
RasterRules ladderStep(int steps);

// Reads "NAME,NAME,...": rule names, `gl` for all of them, or `none` for the program's own
// rules. False with a one-line `error` naming what is wrong: an unknown name, a rule
// named twice (also through `gl`), an empty name.
bool parseRules(const std::string& text, RasterRules& rules, std::string& error);

// The names in ladder order, joined by commas; "gl" for all, "none" for none.
std::string formatRules(RasterRules rules);

// A line per rule, and how to write a list: the text of --rules help.
std::string rulesHelp();

// The value of a tool's --rules option: `help` asks for rulesHelp(), anything else is a
// list for parseRules, whose error comes back as "--rules: ...". One reading and one
// wording for every tool that takes the option.
enum class RulesOption { rules, help, error };
RulesOption readRulesOption(const std::string& value, RasterRules& rules, std::string& error);

// The option's line in a tool's --help.
extern const char* const rulesOptionHelp;
