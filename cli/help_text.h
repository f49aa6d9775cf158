// The reference part of `lumo --help`: the formats read and written, the kinds, every setting.
#pragma once

#include <string>

// Built from the dispatch's and the settings' own tables, so that it cannot fall behind them.
std::string HelpReference();
// "lumo 1.2e"
std::string VersionText();
