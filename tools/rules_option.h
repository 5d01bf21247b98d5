#pragma once

#include <CLI/CLI.hpp>

#include <string>

#include "raster/raster_rules.h"

// Thrown for `--rules help`: parsing stops there and the tool prints rulesHelp().
struct RulesHelp {};

// The tools' --rules option, read by readRulesOption, so that every tool takes the same
// lists with the same messages; triggered as it is parsed, so that `help` stops at once.
inline CLI::Option* addRulesOption(CLI::App& app, RasterRules& rules)
{
    return app
        .add_option_function<std::string>(
            "--rules",
            [&rules](const std::string& value) {
                std::string error;
                const RulesOption read = readRulesOption(value, rules, error);
                if (read == RulesOption::help)
                    throw RulesHelp();
                if (read == RulesOption::error)
                    throw CLI::ValidationError(error);
            },
            rulesOptionHelp)
        ->type_name("LIST")
        ->trigger_on_parse();
}
