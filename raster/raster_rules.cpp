#include "raster/raster_rules.h"

namespace {

struct RuleText {
    const char* name;
    const char* summary;
};

constexpr RuleText ruleTexts[ruleCount] = {
    {"centres", "polygons as triangles fanned from corner 0; a pixel covered when its\n"
                "centre is inside (ties to left and bottom sides); depth and values\n"
                "from the triangle's weights at the centre"},
    {"snap", "window positions rounded to 1/256 pixel before coverage; exact tests"},
    {"perspective", "values (not depth) interpolated with perspective correction"},
    {"texgen", "sphere-map coordinates s, t made at each corner from the eye-space\n"
               "reflection vector (GL_SPHERE_MAP) and interpolated"},
    {"filter", "the texture read as GL_LINEAR with GL_CLAMP: four texels, float\n"
               "weights, a black border"},
    {"float-vertex", "corners in single precision with fused multiply-adds; depth in\n"
                     "window scale 0..1"},
    {"clip", "primitives clipped against the near and far planes in clip space"},
};

} // namespace

const char* ruleName(Rule rule)
{
    return ruleTexts[static_cast<int>(rule)].name;
}

const char* ruleSummary(Rule rule)
{
    return ruleTexts[static_cast<int>(rule)].summary;
}

RasterRules ladderStep(int steps)
{
    RasterRules rules;
    for (int r = 0; r < steps && r < ruleCount; ++r)
        rules = rules.with(static_cast<Rule>(r));
    return rules;
}

bool parseRules(const std::string& text, RasterRules& rules, std::string& error)
{
    RasterRules parsed;
    std::size_t start = 0;
    bool sawNone = false;
    while (true) {
        const std::size_t comma = text.find(',', start);
        const std::string name = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        RasterRules named;
        if (name == "gl") {
            named = RasterRules::gl();
        } else if (name == "none") {
            sawNone = true;
        } else {
            for (int r = 0; r < ruleCount; ++r)
                if (name == ruleTexts[r].name)
                    named = named.with(static_cast<Rule>(r));
            if (!named.any()) {
                error = name.empty() ? "an empty rule name in \"" + text + "\""
                                     : "unknown rule \"" + name + "\" (see --rules help)";
                return false;
            }
        }
        if ((parsed.bits & named.bits) != 0 || (sawNone && (parsed.any() || named.any() || start > 0))) {
            error = "rule \"" + name + "\" repeats a rule already in \"" + text + "\"";
            return false;
        }
        parsed.bits |= named.bits;
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    rules = parsed;
    return true;
}

std::string formatRules(RasterRules rules)
{
    if (!rules.any())
        return "none";
    if (rules == RasterRules::gl())
        return "gl";
    std::string text;
    for (int r = 0; r < ruleCount; ++r)
        if (rules.has(static_cast<Rule>(r)))
            text += (text.empty() ? "" : ",") + std::string(ruleTexts[r].name);
    return text;
}

std::string rulesHelp()
{
    std::string text = "Rules taken from OpenGL, in the order of the ladder (--rules NAME,NAME,...):\n";
    for (int r = 0; r < ruleCount; ++r) {
        std::string name = ruleTexts[r].name;
        name.resize(14, ' ');
        std::string summary = ruleTexts[r].summary;
        for (std::size_t at = summary.find('\n'); at != std::string::npos; at = summary.find('\n', at + 1))
            summary.insert(at + 1, 16, ' ');
        text += "  " + name + summary + "\n";
    }
    text += "  gl            all of them: the frame OpenGL draws\n"
            "  none          none of them: the program's own rules (the default)\n"
            "Any combination is a frame of its own; docs/rules.md gives each rule's arithmetic.\n";
    return text;
}

RulesOption readRulesOption(const std::string& value, RasterRules& rules, std::string& error)
{
    if (value == "help")
        return RulesOption::help;
    if (parseRules(value, rules, error))
        return RulesOption::rules;
    error = "--rules: " + error;
    return RulesOption::error;
}

const char* const rulesOptionHelp = "the rules taken from OpenGL for the software frame: NAME,NAME,...\n"
                                    "(centres, snap, perspective, texgen, filter, float-vertex, clip),\n"
                                    "gl for all, none (default) for the program's own; --rules help\n"
                                    "lists them";
