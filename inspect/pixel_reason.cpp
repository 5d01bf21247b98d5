#include "inspect/pixel_reason.h"

#include <cmath>

#include "inspect/exact_number.h"

// Each sentence reads its numbers from the history as recorded. The only arithmetic here
// is the depth differences, one float subtraction each: exact whenever the two depths lie
// within a factor of two of each other (as they do on the torus), else the float nearest.

namespace {

constexpr std::size_t none = std::size_t(-1);

std::string numberOf(const HistoryFragment& f)
{
    return std::to_string(f.polygon) + (f.mesh ? " of mesh " + std::to_string(f.mesh) : "");
}

std::string polygonName(const HistoryFragment& f)
{
    return "polygon " + numberOf(f);
}

// "a", "a and b", "a, b and c".
std::string listed(const std::vector<std::string>& items)
{
    std::string text;
    for (std::size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
    return text;
}

std::string vectorText(std::initializer_list<float> values)
{
    std::string text = "(";
    for (float v : values)
        text += (text.size() > 1 ? ", " : "") + exactText(v);
    return text + ")";
}

std::string sentence(std::string text)
{
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z')
        text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text + ".";
}

std::string clearedValues(const PixelHistory& h)
{
    return "the cleared colour " + vectorText({h.finalColor.r, h.finalColor.g, h.finalColor.b, h.finalColor.a}) +
           ", white, and depth " + exactText(h.finalDepth);
}

std::string whoWon(const PixelHistory& h, const HistoryFragment& w)
{
    if (h.fragments.size() == 1)
        return "one fragment reached this pixel, from " + polygonName(w) +
               ", and it passed the depth test: its depth " + exactText(w.depth) + " is nearer than the cleared " +
               exactText(w.stored);
    return polygonName(w) + " won this pixel: of the " + std::to_string(h.fragments.size()) +
           " fragments tested, its depth " + exactText(w.depth) + " is the nearest";
}

// What became of every fragment but the winner, in drawing order. Stored depths change
// only on a pass, so failures in a row failed against the same one and share a clause.
std::string theOthers(const PixelHistory& h, std::size_t winner)
{
    const std::vector<HistoryFragment>& fs = h.fragments;
    std::vector<std::string> clauses;
    for (std::size_t i = 0; i < fs.size(); ++i) {
        const HistoryFragment& f = fs[i];
        if (i == winner)
            continue;
        if (f.passed) {
            // The next pass compared with this depth.
            std::size_t next = i + 1;
            while (!fs[next].passed)
                ++next;
            clauses.push_back(polygonName(f) + " passed at depth " + exactText(f.depth) + " but was drawn over by " +
                              polygonName(fs[next]) + ", " + exactText(fs[next].stored - fs[next].depth) +
                              " nearer");
        }
        else if (f.depth == f.stored)
            clauses.push_back(polygonName(f) + " tied: its depth " + exactText(f.depth) +
                              " equals the stored depth, and the test passes only a nearer fragment, so the one "
                              "drawn first keeps the pixel");
        else if (!(f.depth > f.stored))
            clauses.push_back(polygonName(f) + " failed: its depth " + exactText(f.depth) +
                              " is not a number, and no comparison with it holds");
        else {
            std::vector<std::string> numbers, amounts;
            std::size_t j = i;
            for (; j < fs.size() && !fs[j].passed && fs[j].depth > fs[j].stored; ++j) {
                numbers.push_back(numberOf(fs[j]));
                amounts.push_back(exactText(fs[j].depth - fs[j].stored));
            }
            i = j - 1;
            clauses.push_back((numbers.size() == 1 ? "polygon " : "polygons ") + listed(numbers) +
                              " failed the depth test, " + listed(amounts) + " behind the stored depth " +
                              exactText(f.stored));
        }
    }
    std::string text;
    for (const std::string& clause : clauses)
        text += (text.empty() ? "" : "; ") + clause;
    return text;
}

// How the lookup found the winner's texel, and what makes it unusual, if anything.
std::string theColour(const HistoryFragment& w)
{
    const HistoryLookup& l = w.lookup;
    if (!l.textured)
        return "its mesh has no texture, so the lookup gives " + vectorText({l.color.r, l.color.g, l.color.b, l.color.a}) +
               ", magenta, the colour that marks a missing texture";
    const std::string where = std::to_string(l.u) + "," + std::to_string(l.v);
    const std::string bytes = "bytes " + std::to_string(l.bytes[0]) + " " + std::to_string(l.bytes[1]) + " " +
                              std::to_string(l.bytes[2]);
    const std::string texel = "texel " + where + ", " + bytes;
    const std::string eye = vectorText({l.eyeX, l.eyeY});
    if (l.uClamp == TexelClamp::notANumber || l.vClamp == TexelClamp::notANumber)
        return (std::isnan(l.unitNormal[0]) ? "its interpolated normal " +
                                                   vectorText({w.normal[0], w.normal[1], w.normal[2]}) +
                                                   " cannot be made unit length, so "
                                             : std::string("")) +
               "its eye-space normal x, y " + eye + " are not numbers, and the lookup falls back on " + texel;
    std::vector<std::string> held;
    const std::string x = exactText(l.eyeX), y = exactText(l.eyeY), u = std::to_string(l.u), v = std::to_string(l.v);
    if (l.uClamp == TexelClamp::first)
        held.push_back("x " + x + ", past the map's left edge, so the column is held at the first one, " + u);
    if (l.uClamp == TexelClamp::last)
        held.push_back("x " + x + ", at or past the map's right edge, so the column is held at the last one, " + u);
    if (l.vClamp == TexelClamp::first)
        held.push_back("y " + y + ", past the map's bottom edge, so the row is held at the first one, " + v);
    if (l.vClamp == TexelClamp::last)
        held.push_back("y " + y + ", at or past the map's top edge, so the row is held at the last one, " + v);
    if (!held.empty())
        return "its eye-space normal x, y " + eye + " has " + held[0] + (held.size() > 1 ? ", and " + held[1] : "") +
               ": " + texel;
    if (l.centreOutside)
        return "its eye-space normal x, y " + eye + " has length " + exactText(l.eyeLength) +
               ", close to 1 (the surface is seen almost edge-on), and the nearest texel, " + where +
               ", has its centre outside the sphere map's circle, where the ball meets the map's background (dark "
               "in the generated map): " + bytes;
    return "its colour is " + texel + ", the texel under its eye-space normal's x, y " + eye;
}

// Under texgen or the filter: where the colour was read and from what.
std::string theRuleColour(const PixelHistory& h, const HistoryFragment& w)
{
    const RuleFragment& r = w.rule;
    const std::string bytes = std::to_string(r.filtered.bytes[0]) + " " + std::to_string(r.filtered.bytes[1]) + " " +
                              std::to_string(r.filtered.bytes[2]);
    std::string from = h.rules.has(Rule::texgen)
                           ? "its sphere-map coordinates s, t " + vectorText({r.s, r.t}) +
                                 " are its triangle's corners' coordinates mixed by its weights at the pixel's centre"
                           : "the lookup's continuous coordinates s, t " + vectorText({r.s, r.t}) +
                                 " come from its eye-space normal x, y " + vectorText({r.lookup.eyeX, r.lookup.eyeY});
    if (!r.filter)
        return from + ", and they fall in texel " + std::to_string(r.u) + "," + std::to_string(r.v);
    const FilterSteps& f = r.filtered;
    int borders = 0;
    for (bool b : f.border)
        borders += b;
    return from + "; the filter mixes texels " + std::to_string(f.i0) + "," + std::to_string(f.j0) + " to " +
           std::to_string(f.i0 + 1) + "," + std::to_string(f.j0 + 1) + " with weights " + vectorText({f.ws, f.wt}) +
           (borders ? " (" + std::to_string(borders) + " of them the black border beyond the map)" : std::string("")) +
           " into bytes " + bytes;
}

} // namespace

std::vector<std::string> pixelReason(const PixelHistory& h)
{
    if (h.fragments.empty())
        return {sentence("nothing reached this pixel: no polygon drawn covers it, so it keeps " + clearedValues(h))};
    std::size_t winner = none;
    for (std::size_t i = 0; i < h.fragments.size(); ++i)
        if (h.fragments[i].passed)
            winner = i;
    if (winner == none)
        return {sentence("no fragment passed the depth test, so the pixel keeps " + clearedValues(h) +
                         ", the far end of the depth range"),
                sentence(theOthers(h, none))};
    const HistoryFragment& w = h.fragments[winner];
    std::vector<std::string> reason = {sentence(whoWon(h, w))};
    if (h.fragments.size() > 1)
        reason.push_back(sentence(theOthers(h, winner)));
    const bool readUnderRules = w.underRules && w.lookup.textured &&
                                (h.rules.has(Rule::texgen) || h.rules.has(Rule::filter));
    reason.push_back(sentence(readUnderRules ? theRuleColour(h, w) : theColour(w)));
    return reason;
}
