// How the system separates the components of a path.
#pragma once

namespace platform {

// The separator the tools join paths with.
extern const char kPathSeparator;
// Every character that ends a path component, the joining one first.
extern const char* const kPathSeparators;

}  // namespace platform
