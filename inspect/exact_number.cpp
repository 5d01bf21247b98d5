#include "inspect/exact_number.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

std::string exactText(float value)
{
    if (std::isnan(value)) // whatever its sign bit, which the library would print
        return "nan";
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
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
