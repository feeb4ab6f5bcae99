// Config.ini's text: anyone who can write the program's folder can write it.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "operator/config_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const kvx::ui::ConfigValues values = kvx::ui::ParseConfigText(text);
  kvx::fuzz::Require(values.port.empty() || values.port.find("tty") != std::string::npos,
                     "a remembered port looks like a serial port");
  for (const std::string& port : values.port_tests) {
    kvx::fuzz::Require(port.find("tty") != std::string::npos,
                       "a tested port looks like a serial port");
  }
  kvx::ui::FormatConfigText(values);
  return 0;
}
