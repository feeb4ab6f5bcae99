// CCom's receive ring: 300,000 bytes that the reader thread appends to and the engine thread takes
// text lines or download frames from.
//
// The unread bytes are the m_nRxCount bytes from m_nRxRead on, wrapping at the end of the buffer;
// m_nRxWrite is where the next byte goes. The ring never holds more than kSize bytes: an append
// that does not fit keeps the bytes already waiting and drops the newest ones (the engine has
// stopped taking, and the overflow discard below empties the ring at its next take anyway).
//
// Takes never block. After a take that leaves kOverflow or more bytes unread, the ring is emptied
// and the take returns -1.
//
// Threads: Append on the reader thread, everything else on the owner (engine) thread. One mutex
// makes each append and each take atomic with respect to the others.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

namespace kvx {

class RxRing {
 public:
  static constexpr int kSize = 300000;
  static constexpr int kOverflow = 299900;
  // A line take places at most the unread bytes plus CR, LF and NUL.
  static constexpr std::size_t kMaxTake = kSize + 3;

  // Allocates the buffer once, zero-filled, and starts empty.
  RxRing();

  // Empties the ring, forgets a half-received frame and sets the line end back to LF.
  void Reset();

  // Appends what fits; returns the number of bytes kept.
  std::size_t Append(std::span<const std::uint8_t> bytes);

  // Takes one text line ending at the first CR or line end (LF). The line's bytes, without any
  // CR, LF or NUL, are followed by CR LF (ended at CR) or LF (ended at LF) and a NUL. Returns the
  // bytes placed, NUL excluded; 0 when nothing is unread; -1 when no line is complete yet, after
  // an overflow discard, or when `buffer` is shorter than 3 bytes (nothing is consumed then). A
  // line longer than `buffer` keeps its beginning and its line end; the rest is dropped.
  int GetLine(std::span<char> buffer);

  // Takes one download frame: searches for SYN SYN STX, discards what comes before it, and hands
  // out the record from the second SYN on (14-byte head with the little-endian body length n at
  // offset 6, then n + 5 more bytes). Returns 19 + n; 0 while the record is incomplete; -1 after
  // an overflow discard. A head whose record could not fit the ring or `buffer` is refused: the
  // search moves past it and looks for the next frame.
  int GetFrame(std::span<std::uint8_t> buffer);

  int unread() const;

 private:
  std::uint8_t At(int offset) const;  // the byte `offset` places after m_nRxRead
  void CopyOut(int count, std::uint8_t* out) const;
  void Consume(int count);
  void EmptyLocked();
  bool FindFrameStart();  // true when a SYN SYN STX was found (and what came before discarded)

  mutable std::mutex m_mutex;
  std::unique_ptr<std::uint8_t[]> m_pRxBuf;
  int m_nRxCount = 0;
  int m_nRxWrite = 0;
  int m_nRxRead = 0;
  int m_nFrameBody = 0;  // body length of a head still waiting for its body; 0 when none
  std::uint8_t m_chLineEnd = '\n';
};

}  // namespace kvx
