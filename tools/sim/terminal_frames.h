// The frames the terminal sends in download mode: its answers ('s', 'w', 'f'), its request
// ('D'), and the packed dates of the setup answer.
//
// Pure functions; safe to call from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/frame_format.h"
#include "sim/sim_options.h"

namespace kvx::sim {

// A whole frame, SYN SYN STX to ETX: the terminal puts its result in the code byte and
// R_Body equal to Body.
std::string BuildTerminalFrame(std::uint8_t cmd, std::uint8_t code, std::uint16_t seg,
                               std::string_view body);

// The 111-byte body of a setup answer: `mode`, BSPVer, BSP date, TETVer, TET date, 16 bytes of
// further text and the CRC of bytes 0..106.
std::string BuildSetupAnswerBody(std::uint8_t mode, const DownloadConfig& config);

// The 40-bit packed date: year in bits 0..13, month 14..17, day 18..22, hour 23..27,
// minute 28..33, second 34..39.
std::array<std::uint8_t, kPackedDateSize> PackDateTime(const DateTime& date);

// `count` bytes of deterministic noise that never holds SYN, so it cannot start a frame.
std::string NoiseBytes(std::size_t count);

}  // namespace kvx::sim
