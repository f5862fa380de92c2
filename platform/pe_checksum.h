#pragma once
// The checksum in a program's PE header, as the loader checks it for drivers
// and some system DLLs, computed by our own code: the public algorithm, without
// imagehlp.

#include "platform/byte_sink.h"
#include "platform/pe_image.h"

#include <windows.h>

#include <string_view>

namespace sheen {

// Sums a program's bytes as they stream past, in order from the first: its
// 16-bit words added with the carry folded back in, the CheckSum field counted
// as zero and an odd last byte as a word of its own, then the length added.
class PeChecksum final : public ByteSink {
  public:
    // `checksumAt`: the file offset of the CheckSum field.
    explicit PeChecksum(LONGLONG checksumAt) : checksumAt_(checksumAt) {}
    // Always ERROR_SUCCESS.
    DWORD Put(std::string_view bytes) override;
    // The checksum of the bytes added so far, taken as the whole file.
    DWORD Value() const;

  private:
    LONGLONG checksumAt_;
    LONGLONG length_ = 0;
    DWORD sum_ = 0;
    BYTE low_ = 0; // of the word an odd length leaves open
};

// Sets `checksum` to the checksum of the whole file of `image`, read a 4 KiB
// piece at a time. Returns ERROR_SUCCESS or the error of reading.
DWORD ComputePeChecksum(const PeImage& image, DWORD& checksum);

} // namespace sheen
