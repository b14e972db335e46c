// MD2 (RFC 1319).
#include "sigilbox/engines/digest.h"

#include <cstring>

namespace {

// The permutation of 0..255 built from the digits of pi.
const BYTE kPiSubst[256] = {
    41, 46, 67, 201, 162, 216, 124, 1, 61, 54, 84, 161, 236, 240, 6, 19,
    98, 167, 5, 243, 192, 199, 115, 140, 152, 147, 43, 217, 188, 76, 130, 202,
    30, 155, 87, 60, 253, 212, 224, 22, 103, 66, 111, 24, 138, 23, 229, 18,
    190, 78, 196, 214, 218, 158, 222, 73, 160, 251, 245, 142, 187, 47, 238, 122,
    169, 104, 121, 145, 21, 178, 7, 63, 148, 194, 16, 137, 11, 34, 95, 33,
    128, 127, 93, 154, 90, 144, 50, 39, 53, 62, 204, 231, 191, 247, 151, 3,
    255, 25, 48, 179, 72, 165, 181, 209, 215, 94, 146, 42, 172, 86, 170, 198,
    79, 184, 56, 210, 150, 164, 125, 182, 118, 252, 107, 226, 156, 116, 4, 241,
    69, 157, 112, 89, 100, 113, 135, 32, 134, 91, 207, 101, 230, 45, 168, 2,
    27, 96, 37, 173, 174, 176, 185, 246, 28, 70, 97, 105, 52, 64, 126, 15,
    85, 71, 163, 35, 221, 81, 175, 58, 195, 92, 249, 206, 186, 197, 234, 38,
    44, 83, 13, 110, 133, 40, 132, 9, 211, 223, 205, 244, 65, 129, 77, 82,
    106, 220, 55, 200, 108, 193, 171, 250, 36, 225, 123, 8, 12, 189, 177, 74,
    120, 136, 149, 139, 227, 99, 232, 109, 233, 203, 213, 254, 59, 0, 29, 57,
    242, 239, 183, 14, 102, 88, 208, 228, 166, 119, 114, 248, 235, 117, 75, 10,
    49, 68, 80, 180, 143, 237, 31, 26, 219, 153, 141, 51, 159, 17, 131, 20,
};

void Wipe(BYTE* p, size_t n)
{
    volatile BYTE* v = p;
    for (size_t i = 0; i < n; ++i)
        v[i] = 0;
}

} // namespace

CMD2DigestMaker::CMD2DigestMaker() : CDigestMaker(m_Block, 16)
{
    ResetContext();
}

CMD2DigestMaker::CMD2DigestMaker(const CMD2DigestMaker& other) : CDigestMaker(m_Block, 16)
{
    *this = other;
}

CMD2DigestMaker& CMD2DigestMaker::operator=(const CMD2DigestMaker& other)
{
    if (this != &other) {
        CopyBaseFrom(other);
        std::memcpy(m_State, other.m_State, sizeof m_State);
        std::memcpy(m_Checksum, other.m_Checksum, sizeof m_Checksum);
    }
    return *this;
}

CMD2DigestMaker::~CMD2DigestMaker()
{
    Wipe(m_Block, sizeof m_Block);
    Wipe(m_Checksum, sizeof m_Checksum);
}

void CMD2DigestMaker::ResetContext()
{
    std::memset(m_State, 0, sizeof m_State);
    std::memset(m_Checksum, 0, sizeof m_Checksum);
    std::memset(m_Block, 0, sizeof m_Block);
    m_nBuffered = 0;
}

void CMD2DigestMaker::GetCurrentDigest(BYTE* digest) const
{
    std::memcpy(digest, m_State, sizeof m_State);
}

void CMD2DigestMaker::UpdateDigest(const BYTE* block)
{
    BYTE x[48];
    for (int i = 0; i < 16; ++i) {
        x[i] = m_State[i];
        x[16 + i] = block[i];
        x[32 + i] = static_cast<BYTE>(m_State[i] ^ block[i]);
    }
    unsigned t = 0;
    for (unsigned round = 0; round < 18; ++round) {
        for (int k = 0; k < 48; ++k)
            t = x[k] ^= kPiSubst[t];
        t = (t + round) & 0xFF;
    }
    std::memcpy(m_State, x, 16);

    // The checksum runs over every block, carrying its last byte into the next block.
    BYTE last = m_Checksum[15];
    for (int i = 0; i < 16; ++i)
        last = m_Checksum[i] ^= kPiSubst[block[i] ^ last];
    Wipe(x, sizeof x);
}

void CMD2DigestMaker::UpdateTotalLength(int)
{
    // MD2 pads by the buffered byte count alone; it keeps no message length.
}

void CMD2DigestMaker::UpdateLastBytes()
{
    BYTE padding[16];
    const int p = 16 - m_nBuffered;
    std::memset(padding, p, static_cast<size_t>(p));
    UpdateBlock(padding, p, nullptr, 0, 0);
    // The checksum changes while it is being fed, so feed a copy.
    BYTE checksum[16];
    std::memcpy(checksum, m_Checksum, sizeof checksum);
    UpdateBlock(checksum, 16, nullptr, 0, 0);
    Wipe(checksum, sizeof checksum);
}
