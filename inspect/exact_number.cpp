#include "inspect/exact_number.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>

// Written out rather than taken from std::to_chars, which the browser build's C++ library
// lacks for floats: the fewest significant digits that read back to the float, the
// nearest such decimal, printed fixed or scientific, whichever is shorter (fixed on a
// tie; a whole number fixed shows its exact digits). printf rounds correctly and strtof
// reads correctly, so both builds agree.

namespace {

struct Decimal {
    std::string digits; // d1 d2 ... dn, value d1.d2...dn * 10^exponent
    int exponent = 0;
};

bool readsBack(const Decimal& d, float value)
{
    const std::string text = d.digits.substr(0, 1) + "." + d.digits.substr(1) + "e" + std::to_string(d.exponent);
    return std::strtof(text.c_str(), nullptr) == value;
}

// The last digit one higher; empty when that adds a digit.
Decimal nextUp(const Decimal& d)
{
    Decimal n = d;
    n.digits = std::to_string(std::stoll(d.digits) + 1);
    if (n.digits.size() != d.digits.size())
        n.digits.clear();
    return n;
}

// For a finite positive float.
Decimal shortestDecimal(float value)
{
    Decimal d;
    for (int count = 1; count <= 9; ++count) {
        char text[32];
        std::snprintf(text, sizeof text, "%.*e", count - 1, double(value));
        const char* e = std::strchr(text, 'e');
        d.digits.clear();
        for (const char* c = text; c < e; ++c)
            if (*c != '.')
                d.digits += *c;
        d.exponent = std::atoi(e + 1);
        if (readsBack(d, value))
            return d;
        // At a power of two the floats below lie twice as close as those above: the
        // nearest decimal of this length may fall short below while the next one up,
        // on the wide side, reads back.
        if (const Decimal up = nextUp(d); !up.digits.empty() && readsBack(up, value))
            return up;
    }
    return d; // nine digits always read back
}

} // namespace

std::string exactText(float value)
{
    if (std::isnan(value)) // whatever its sign bit, which the library would print
        return "nan";
    const std::string sign = std::signbit(value) ? "-" : "";
    if (std::isinf(value))
        return sign + "inf";
    if (value == 0.0f)
        return sign + "0";
    const Decimal d = shortestDecimal(std::fabs(value));
    const int n = static_cast<int>(d.digits.size()), e = d.exponent;
    char exponent[16];
    std::snprintf(exponent, sizeof exponent, "e%c%02d", e < 0 ? '-' : '+', std::abs(e));
    const std::string scientific = d.digits.substr(0, 1) + (n > 1 ? "." + d.digits.substr(1) : "") + exponent;
    std::string fixed;
    if (e < 0)
        fixed = "0." + std::string(std::size_t(-e - 1), '0') + d.digits;
    else if (n <= e + 1) {
        // A whole number printed fixed shows all its digits, as they are.
        char whole[48];
        std::snprintf(whole, sizeof whole, "%.0f", double(std::fabs(value)));
        fixed = whole;
    }
    else
        fixed = d.digits.substr(0, std::size_t(e + 1)) + "." + d.digits.substr(std::size_t(e + 1));
    return sign + (fixed.size() <= scientific.size() ? fixed : scientific);
}

Json exactJson(float value)
{
    if (!std::isfinite(value))
        return nullptr;
    // Printing the float as a double would show its binary tail (0.1f as
    // 0.10000000149011612); the double of its shortest decimal prints as that decimal.
    return std::strtod(exactText(value).c_str(), nullptr);
}

std::string jsonLines(const Json& object)
{
    std::string text = "{";
    for (auto item = object.begin(); item != object.end(); ++item) {
        text += (item == object.begin() ? "" : ",\n ") + Json(item.key()).dump() + ": ";
        const Json& value = item.value();
        if (!value.is_array() || value.empty() || !value.front().is_object()) {
            text += value.dump();
            continue;
        }
        text += "[";
        for (std::size_t i = 0; i < value.size(); ++i)
            text += (i ? ",\n  " : "\n  ") + value[i].dump();
        text += "]";
    }
    return text + "}\n";
}
