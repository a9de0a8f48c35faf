// The per-user settings store: an INI file per application name in the user's configuration
// folder (~/.config/Veldmark/Veldmark.conf for "Veldmark"; Qt's native format on Linux), one
// group per section. The file holds
// the database password as typed, so only its owner may read it.
#pragma once

#include <string>

namespace app {

// The stored text, or defaultValue when the key is absent (a stored empty text is returned as
// such).
std::string GetSetting(const std::string& appName, const std::string& section,
                       const std::string& key, const std::string& defaultValue);

// Stores the text and writes the file at once, so that a crash loses nothing. When the file
// cannot be written the text is kept for the rest of the run (GetSetting returns it), and the
// first such failure of the run throws app::Failure naming the file or its folder and the
// reason; later ones are silent.
void SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                 const std::string& value);

}  // namespace app
