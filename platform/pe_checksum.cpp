#include "platform/pe_checksum.h"

#include "platform/file_read.h"

#include <algorithm>
#include <cstddef>

namespace sheen {

DWORD PeChecksum::Put(std::string_view bytes) {
    for (const char c : bytes) {
        // The field is counted as zero, wherever a hostile header puts it.
        const BYTE byte = length_ - checksumAt_ >= 0 && length_ - checksumAt_ < 4 ? 0 : BYTE(c);
        if (length_++ % 2 == 0) {
            low_ = byte;
            continue;
        }
        sum_ += WORD(low_ | byte << 8);
        sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
        low_ = 0;
    }
    return ERROR_SUCCESS;
}

DWORD PeChecksum::Value() const {
    DWORD sum = sum_;
    if (length_ % 2 != 0) {
        sum += low_;
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return DWORD(sum + length_);
}

DWORD ComputePeChecksum(const PeImage& image, DWORD& checksum) {
    PeChecksum sum(image.optionalHeaderAt() + offsetof(IMAGE_OPTIONAL_HEADER32, CheckSum));
    char piece[kFileChunk];
    for (LONGLONG at = 0; at < image.fileSize(); at += sizeof piece) {
        const DWORD size = DWORD(std::min<LONGLONG>(sizeof piece, image.fileSize() - at));
        if (const DWORD error = image.ReadAt(at, piece, size))
            return error;
        sum.Put(std::string_view(piece, size));
    }
    checksum = sum.Value();
    return ERROR_SUCCESS;
}

} // namespace sheen
