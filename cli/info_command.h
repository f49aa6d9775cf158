// lumo info: one line per file, "FILE: WIDTHxHEIGHT KIND".
#pragma once

#include <string>
#include <vector>

int RunInfo(const std::vector<std::string>& files);
