// Extended attributes (user attributes, access control lists, security labels) of open files.
#pragma once

#include <string>

namespace platform {

// Gives the file open as `to` exactly the extended attributes of the file open as `from`:
// copies each one and removes those `from` lacks (an access control list inherited from the
// folder, say). False when one cannot be carried, with its name in `name` and errno set.
bool CopyExtendedAttributes(int from, int to, std::string* name);

}  // namespace platform
