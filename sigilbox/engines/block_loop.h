// The block loops of the combination classes (crypto_processor.h), kept out of the public
// headers: only crypto_processor.cpp instantiates them.
#pragma once

#include "framework/types.h"
#include "sigilbox/engines/modes.h"
#include "sigilbox/engines/sym_keys.h"

#include <cstddef>
#include <type_traits>

namespace sigilbox_cipher {

// The block loop of one combination, with every step called by its qualified name so that
// the compiler inlines the mode and the cipher. The mode's state and the register live in
// locals during the loop (output bytes could otherwise alias them and force reloads).
template <class TAlgorithm, class TMode, bool ForwardDecipher>
struct CBlockLoop {
    static void Encrypt(const TAlgorithm& algorithm, TMode& mode, DWORD reg[2], const BYTE* in, BYTE* out, std::size_t blocks)
    {
        TMode m(mode);
        DWORD r[2] = {reg[0], reg[1]};
        for (std::size_t i = 0; i < blocks; ++i, in += 8, out += 8) {
            DWORD x[2], y[2], z[2], w[2];
            Load(in, x);
            m.TMode::EncryptPreProcess(x, y, r);
            algorithm.TAlgorithm::Encipher(y, z);
            m.TMode::EncryptPostProcess(z, w, r);
            Store(w, out);
        }
        mode = m;
        reg[0] = r[0];
        reg[1] = r[1];
    }

    static void Decrypt(const TAlgorithm& algorithm, TMode& mode, DWORD reg[2], const BYTE* in, BYTE* out, std::size_t blocks)
    {
        TMode m(mode);
        DWORD r[2] = {reg[0], reg[1]};
        // CBC decryption of a block needs only its own and the previous ciphertext, so an
        // algorithm that can decipher two blocks at once takes them in pairs. Input and
        // output may be the same buffer: both ciphertext blocks are read before either
        // plaintext block is written.
        if constexpr (std::is_same_v<TMode, CCBC_ModeProcessor> && !ForwardDecipher &&
                      requires(const DWORD* x, DWORD* y) { algorithm.TAlgorithm::Decipher2(x, y); }) {
            for (; blocks >= 2; blocks -= 2, in += 16, out += 16) {
                DWORD x[4], z[4];
                Load(in, x);
                Load(in + 8, x + 2);
                algorithm.TAlgorithm::Decipher2(x, z);
                z[0] ^= r[0];
                z[1] ^= r[1];
                z[2] ^= x[0];
                z[3] ^= x[1];
                r[0] = x[2];
                r[1] = x[3];
                Store(z, out);
                Store(z + 2, out + 8);
            }
        }
        for (std::size_t i = 0; i < blocks; ++i, in += 8, out += 8) {
            DWORD x[2], y[2], z[2], w[2];
            Load(in, x);
            m.TMode::DecryptPreProcess(x, y, r);
            if constexpr (ForwardDecipher)
                algorithm.TAlgorithm::Encipher(y, z);
            else
                algorithm.TAlgorithm::Decipher(y, z);
            m.TMode::DecryptPostProcess(z, w, r);
            Store(w, out);
        }
        mode = m;
        reg[0] = r[0];
        reg[1] = r[1];
    }

    SIGILBOX_BLOCK_INLINE static void Load(const BYTE* p, DWORD w[2])
    {
        w[0] = LoadBigEndian32(p);
        w[1] = LoadBigEndian32(p + 4);
    }
    SIGILBOX_BLOCK_INLINE static void Store(const DWORD w[2], BYTE* p)
    {
        StoreBigEndian32(p, w[0]);
        StoreBigEndian32(p + 4, w[1]);
    }
};

}
