#include "sigilbox/engines/des.h"

#include <array>
#include <cstring>

using namespace sigilbox_cipher;

namespace {

// The tables of the DES standard. Bit numbers count from 1 at the most significant bit.
constexpr BYTE kSBoxes[8][64] = {
    {14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7,
     0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8,
     4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0,
     15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13},
    {15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10,
     3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5,
     0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15,
     13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9},
    {10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8,
     13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1,
     13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7,
     1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12},
    {7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15,
     13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9,
     10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4,
     3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14},
    {2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9,
     14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6,
     4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14,
     11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3},
    {12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11,
     10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8,
     9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6,
     4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13},
    {4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1,
     13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6,
     1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2,
     6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12},
    {13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7,
     1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2,
     7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8,
     2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11},
};

constexpr BYTE kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1, 15, 23, 26, 5, 18, 31, 10,
                         2, 8, 24, 14, 32, 27, 3, 9, 19, 13, 30, 6, 22, 11, 4, 25};

constexpr BYTE kPC1[56] = {57, 49, 41, 33, 25, 17, 9, 1, 58, 50, 42, 34, 26, 18,
                           10, 2, 59, 51, 43, 35, 27, 19, 11, 3, 60, 52, 44, 36,
                           63, 55, 47, 39, 31, 23, 15, 7, 62, 54, 46, 38, 30, 22,
                           14, 6, 61, 53, 45, 37, 29, 21, 13, 5, 28, 20, 12, 4};

constexpr BYTE kPC2[48] = {14, 17, 11, 24, 1, 5, 3, 28, 15, 6, 21, 10,
                           23, 19, 12, 4, 26, 8, 16, 7, 27, 20, 13, 2,
                           41, 52, 31, 37, 47, 55, 30, 40, 51, 45, 33, 48,
                           44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr BYTE kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// S-box j (0-7) of the six input bits, then P, then rotated left by one bit like the halves.
constexpr std::array<std::array<DWORD, 64>, 8> BuildSPTables()
{
    std::array<std::array<DWORD, 64>, 8> tables{};
    for (int box = 0; box < 8; ++box) {
        for (int input = 0; input < 64; ++input) {
            int row = ((input >> 4) & 2) | (input & 1);
            int column = (input >> 1) & 0x0F;
            DWORD sOut = static_cast<DWORD>(kSBoxes[box][row * 16 + column]) << (28 - 4 * box);
            DWORD permuted = 0;
            for (int bit = 0; bit < 32; ++bit)
                if (sOut & (0x80000000u >> (kP[bit] - 1)))
                    permuted |= 0x80000000u >> bit;
            tables[box][input] = (permuted << 1) | (permuted >> 31);
        }
    }
    return tables;
}

}

namespace sigilbox_cipher {
// Built at compile time from the standard's tables.
constinit const std::array<std::array<DWORD, 64>, 8> DESSPTable = BuildSPTables();
}

// ---- CDESAlgorithm -----------------------------------------------------------------------

CDESAlgorithm::CDESAlgorithm()
{
    std::memset(&m_EncryptionSchedule, 0, sizeof m_EncryptionSchedule);
    std::memset(&m_DecryptionSchedule, 0, sizeof m_DecryptionSchedule);
}

CDESAlgorithm::CDESAlgorithm(const CDESkey& key)
{
    GenerateKeySchedule(m_EncryptionSchedule, key.m_Key);
    ReverseSchedule(m_DecryptionSchedule, m_EncryptionSchedule);
}

CDESAlgorithm::CDESAlgorithm(const CDESAlgorithm& other)
    : m_EncryptionSchedule(other.m_EncryptionSchedule), m_DecryptionSchedule(other.m_DecryptionSchedule)
{
}

CDESAlgorithm& CDESAlgorithm::operator=(const CDESAlgorithm& other)
{
    m_EncryptionSchedule = other.m_EncryptionSchedule;
    m_DecryptionSchedule = other.m_DecryptionSchedule;
    return *this;
}

CDESAlgorithm::~CDESAlgorithm()
{
    WipeKeyBytes(&m_EncryptionSchedule, sizeof m_EncryptionSchedule);
    WipeKeyBytes(&m_DecryptionSchedule, sizeof m_DecryptionSchedule);
}

void CDESAlgorithm::EncipherAlgorithm(const DWORD in[2], DWORD out[2])
{
    CDESAlgorithm::Encipher(in, out);
}

void CDESAlgorithm::DecipherAlgorithm(const DWORD in[2], DWORD out[2])
{
    CDESAlgorithm::Decipher(in, out);
}

void CDESAlgorithm::GenerateKeySchedule(DESSchedule& schedule, const BYTE* key)
{
    auto keyBit = [key](int n) { return (key[(n - 1) / 8] >> (7 - (n - 1) % 8)) & 1; };
    // C and D, 28 bits each, held in the low bits with bit 1 of each highest.
    DWORD c = 0, d = 0;
    for (int i = 0; i < 28; ++i) {
        c = (c << 1) | static_cast<DWORD>(keyBit(kPC1[i]));
        d = (d << 1) | static_cast<DWORD>(keyBit(kPC1[i + 28]));
    }
    for (int round = 0; round < DESRounds; ++round) {
        for (int s = 0; s < kShifts[round]; ++s) {
            c = ((c << 1) | (c >> 27)) & 0x0FFFFFFFu;
            d = ((d << 1) | (d >> 27)) & 0x0FFFFFFFu;
        }
        // The 48-bit subkey as eight 6-bit groups, one per S-box.
        BYTE groups[8] = {};
        for (int i = 0; i < 48; ++i) {
            int n = kPC2[i];   // 1-28 from C, 29-56 from D
            DWORD bit = n <= 28 ? (c >> (28 - n)) & 1 : (d >> (56 - n)) & 1;
            groups[i / 6] = static_cast<BYTE>(groups[i / 6] | (bit << (5 - i % 6)));
        }
        // First word meets the half rotated right by four (boxes 1, 3, 5, 7), second the half
        // as it is (boxes 2, 4, 6, 8); see DESF.
        schedule.k[2 * round] = (DWORD(groups[0]) << 24) | (DWORD(groups[2]) << 16) | (DWORD(groups[4]) << 8) | groups[6];
        schedule.k[2 * round + 1] = (DWORD(groups[1]) << 24) | (DWORD(groups[3]) << 16) | (DWORD(groups[5]) << 8) | groups[7];
        WipeKeyBytes(groups, sizeof groups);
    }
    c = d = 0;
}

void CDESAlgorithm::ReverseSchedule(DESSchedule& reversed, const DESSchedule& schedule)
{
    for (int round = 0; round < DESRounds; ++round) {
        reversed.k[2 * round] = schedule.k[2 * (DESRounds - 1 - round)];
        reversed.k[2 * round + 1] = schedule.k[2 * (DESRounds - 1 - round) + 1];
    }
}

// ---- CTripleDESAlgorithm -----------------------------------------------------------------

CTripleDESAlgorithm::CTripleDESAlgorithm(const CTripleDESkey& key)
{
    GenerateKeySchedule(m_EncryptionSchedule, key.m_Key);
    ReverseSchedule(m_DecryptionSchedule, m_EncryptionSchedule);
    GenerateKeySchedule(m_EncryptionSchedule2, key.m_Key + 8);
    ReverseSchedule(m_DecryptionSchedule2, m_EncryptionSchedule2);
    GenerateKeySchedule(m_EncryptionSchedule3, key.m_Key + 16);
    ReverseSchedule(m_DecryptionSchedule3, m_EncryptionSchedule3);
}

CTripleDESAlgorithm::CTripleDESAlgorithm(const CTripleDESAlgorithm& other)
    : CDESAlgorithm(other),
      m_EncryptionSchedule2(other.m_EncryptionSchedule2),
      m_DecryptionSchedule2(other.m_DecryptionSchedule2),
      m_EncryptionSchedule3(other.m_EncryptionSchedule3),
      m_DecryptionSchedule3(other.m_DecryptionSchedule3)
{
}

CTripleDESAlgorithm& CTripleDESAlgorithm::operator=(const CTripleDESAlgorithm& other)
{
    CDESAlgorithm::operator=(other);
    m_EncryptionSchedule2 = other.m_EncryptionSchedule2;
    m_DecryptionSchedule2 = other.m_DecryptionSchedule2;
    m_EncryptionSchedule3 = other.m_EncryptionSchedule3;
    m_DecryptionSchedule3 = other.m_DecryptionSchedule3;
    return *this;
}

CTripleDESAlgorithm::~CTripleDESAlgorithm()
{
    WipeKeyBytes(&m_EncryptionSchedule2, sizeof m_EncryptionSchedule2);
    WipeKeyBytes(&m_DecryptionSchedule2, sizeof m_DecryptionSchedule2);
    WipeKeyBytes(&m_EncryptionSchedule3, sizeof m_EncryptionSchedule3);
    WipeKeyBytes(&m_DecryptionSchedule3, sizeof m_DecryptionSchedule3);
}

void CTripleDESAlgorithm::EncipherAlgorithm(const DWORD in[2], DWORD out[2])
{
    CTripleDESAlgorithm::Encipher(in, out);
}

void CTripleDESAlgorithm::DecipherAlgorithm(const DWORD in[2], DWORD out[2])
{
    CTripleDESAlgorithm::Decipher(in, out);
}
