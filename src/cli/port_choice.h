// The serial ports as kvx-flash sees them: the spelling of --port that the engine's port list
// knows, and why a port was refused.
//
// Pure functions; any thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kvx {

// The entry of `listed` that names the same port as `given`, else `given` unchanged. The engine
// accepts only a port spelled as in its list, while the operator may write a bare name
// (ttyUSB0), its device path (/dev/ttyUSB0) or a path relative to `cwd`. Another path, such as
// a /dev/serial/by-id link, is passed on unchanged: the engine matches it to the port it leads to.
std::string ResolvePortName(std::string_view given, const std::vector<std::string>& listed,
                            std::string_view cwd);

// The explanation for a port the engine did not select: not in `listed` (neither by its spelling
// nor as a link to a listed port), or busy.
std::string PortRefusalText(std::string_view port, const std::vector<std::string>& listed);

}  // namespace kvx
