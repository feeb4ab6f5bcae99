#include "serial/rx_ring.h"

#include <algorithm>
#include <cstring>

namespace kvx {
namespace {

constexpr std::uint8_t kCR = 0x0d;
constexpr std::uint8_t kLF = 0x0a;

// What the ring needs of the download frame layout: a frame starts SYN SYN STX; the record handed
// out starts at the second SYN, its 14-byte head holds the body length at offset 6, and the record
// is 19 bytes longer than the body.
constexpr std::uint8_t kSYN = 0x96;
constexpr std::uint8_t kSTX = 0x82;
constexpr int kHeadSize = 14;
constexpr int kBodyLengthOffset = 6;
constexpr int kRecordOverhead = 19;

std::uint32_t ReadLittleEndian32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace

RxRing::RxRing() : m_pRxBuf(std::make_unique<std::uint8_t[]>(kSize)) {}

void RxRing::Reset() {
  std::lock_guard guard(m_mutex);
  EmptyLocked();
  m_nFrameBody = 0;
  m_chLineEnd = kLF;
}

int RxRing::unread() const {
  std::lock_guard guard(m_mutex);
  return m_nRxCount;
}

std::size_t RxRing::Append(std::span<const std::uint8_t> bytes) {
  std::lock_guard guard(m_mutex);
  const std::size_t kept = std::min(bytes.size(), static_cast<std::size_t>(kSize - m_nRxCount));
  if (kept == 0) return 0;
  const std::size_t first = std::min(kept, static_cast<std::size_t>(kSize - m_nRxWrite));
  std::memcpy(m_pRxBuf.get() + m_nRxWrite, bytes.data(), first);
  std::memcpy(m_pRxBuf.get(), bytes.data() + first, kept - first);
  m_nRxWrite = static_cast<int>((m_nRxWrite + kept) % kSize);
  m_nRxCount += static_cast<int>(kept);
  return kept;
}

std::uint8_t RxRing::At(int offset) const {
  int pos = m_nRxRead + offset;
  if (pos >= kSize) pos -= kSize;
  if (pos < 0) pos += kSize;
  return m_pRxBuf[pos];
}

void RxRing::CopyOut(int count, std::uint8_t* out) const {
  const int first = std::min(count, kSize - m_nRxRead);
  std::memcpy(out, m_pRxBuf.get() + m_nRxRead, first);
  std::memcpy(out + first, m_pRxBuf.get(), count - first);
}

void RxRing::Consume(int count) {
  m_nRxRead = (m_nRxRead + count) % kSize;
  m_nRxCount -= count;
}

void RxRing::EmptyLocked() {
  m_nRxCount = 0;
  m_nRxRead = 0;
  m_nRxWrite = 0;
}

int RxRing::GetLine(std::span<char> buffer) {
  std::lock_guard guard(m_mutex);
  if (m_nRxCount <= 0) return 0;
  int result = -1;
  int end = 0;
  while (end < m_nRxCount && At(end) != kCR && At(end) != m_chLineEnd) ++end;
  if (end < m_nRxCount) {
    if (buffer.size() < 3) return -1;
    const bool ended_at_cr = At(end) == kCR;
    const std::size_t room = buffer.size() - (ended_at_cr ? 3 : 2);
    std::size_t placed = 0;
    for (int k = 0; k < end; ++k) {
      const std::uint8_t byte = At(k);
      if (byte == 0 || byte == kCR || byte == kLF) continue;
      if (placed < room) buffer[placed++] = static_cast<char>(byte);
    }
    if (ended_at_cr) buffer[placed++] = '\r';
    buffer[placed++] = '\n';
    buffer[placed] = '\0';
    Consume(end + 1);
    result = static_cast<int>(placed);
  }
  if (m_nRxCount >= kOverflow) {
    EmptyLocked();
    return -1;
  }
  return result;
}

bool RxRing::FindFrameStart() {
  // The pattern is matched with its first SYN one place back, so a head found earlier and still
  // waiting for its body is found again at the read position.
  for (int k = 0; k <= m_nRxCount - 2; ++k) {
    if (At(k - 1) == kSYN && At(k) == kSYN && At(k + 1) == kSTX) {
      if (k > 0) {
        Consume(k);
        m_nFrameBody = 0;  // the head it described, if any, was discarded with the bytes
      }
      return true;
    }
  }
  return false;
}

int RxRing::GetFrame(std::span<std::uint8_t> buffer) {
  std::lock_guard guard(m_mutex);
  for (;;) {
    const bool found = FindFrameStart();
    if (m_nRxCount < m_nFrameBody + kRecordOverhead) return 0;
    // Without a start pattern, the bytes at the read position are taken as a head all the same;
    // the frame checks above this layer refuse such a record.
    std::uint8_t head[kHeadSize];
    CopyOut(kHeadSize, head);
    const std::uint64_t body = ReadLittleEndian32(head + kBodyLengthOffset);
    const std::uint64_t record = body + kRecordOverhead;
    if (record > static_cast<std::uint64_t>(kSize) || record > buffer.size()) {
      // Refuse the head and look for the next frame: step past its SYN, or, when no pattern is
      // unread at all, past everything but a last SYN pair that may still get its STX.
      m_nFrameBody = 0;
      Consume(found ? 1 : std::max(1, m_nRxCount - 2));
      continue;
    }
    m_nFrameBody = static_cast<int>(body);
    if (m_nRxCount < static_cast<int>(record)) return 0;
    CopyOut(static_cast<int>(record), buffer.data());
    Consume(static_cast<int>(record));
    m_nFrameBody = 0;
    if (m_nRxCount >= kOverflow) {
      EmptyLocked();
      return -1;
    }
    return static_cast<int>(record);
  }
}

}  // namespace kvx
