// Writing a private key file readable by its owner alone, where the
// platform has such permissions.
#pragma once

#include <string>

// Writes text to a new file; false (nothing written) when the path exists
// or cannot be created.
bool WriteNewFile(const std::string& path, const std::string& text, bool ownerOnly);
