#pragma once

// The programmer's transfer buffer: the two length bytes and the image must fit its 5001
// bytes, so an image holds at most 4999 bytes.
namespace BufferLimits
{
constexpr int TxBufferSize = 5001;
constexpr int LengthBytes = 2;
constexpr int MaxImageSize = TxBufferSize - LengthBytes;
// The SRAM that dump addresses reach: 0x0000 to 0x0FFF.
constexpr int DumpMemoryLength = 4096;
} // namespace BufferLimits
