// Small helpers on paths and names.
#pragma once

#include <string_view>

// The extension of the path's last component: from its last '.' to the end, dot included;
// empty when the last component holds no dot.
std::string_view FindExtension(std::string_view path);

// Compares two texts, ignoring the case of ASCII letters.
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
