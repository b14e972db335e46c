// CBC and CFB through EncryptFile / DecryptFile against `openssl enc`, both directions, for
// lengths around the padding and chunk boundaries.
#include "cipher_test_util.h"

#include <gtest/gtest.h>

#include <functional>

using namespace ciphertest;

namespace {

struct Peer {
    const char* cipher;          // openssl's name
    size_t keyBytes;
    bool cfb;                    // no padding on openssl's side: we pad by hand
    bool ideaMapping;            // blocks and key words in this library's IDEA order
    std::function<std::unique_ptr<CCryptoProcessor>(const Bytes& key, const Bytes& iv)> make;
};

template <class Processor, class Key>
std::unique_ptr<CCryptoProcessor> Make(const Bytes& key, const Bytes& iv)
{
    Key k;
    std::memcpy(k.m_Key, key.data(), key.size());
    std::memcpy(k.m_IV, iv.data(), 8);
    return std::make_unique<Processor>(k);
}

template <class Processor>
std::unique_ptr<CCryptoProcessor> MakeRC2(const Bytes& key, const Bytes& iv, WORD bits)
{
    CRC2key k;
    std::memcpy(k.m_Key, key.data(), key.size());
    k.m_nKeyLength = static_cast<BYTE>(key.size());
    k.m_nEffectiveBits = bits;
    std::memcpy(k.m_IV, iv.data(), 8);
    return std::make_unique<Processor>(k);
}

std::vector<Peer> Peers()
{
    return {
        {"des-cbc", 8, false, false, Make<CDES_CBC, CDESkey>},
        {"des-cfb", 8, true, false, Make<CDES_CFB, CDESkey>},
        {"des-ede3-cbc", 24, false, false, Make<CTripleDES_CBC, CTripleDESkey>},
        {"des-ede3-cfb", 24, true, false, Make<CTripleDES_CFB, CTripleDESkey>},
        {"rc2-40-cbc", 5, false, false, [](const Bytes& k, const Bytes& iv) { return MakeRC2<CRC2_CBC>(k, iv, 40); }},
        {"rc2-64-cbc", 8, false, false, [](const Bytes& k, const Bytes& iv) { return MakeRC2<CRC2_CBC>(k, iv, 64); }},
        {"rc2-cbc", 16, false, false, [](const Bytes& k, const Bytes& iv) { return MakeRC2<CRC2_CBC>(k, iv, 128); }},
        {"rc2-cfb", 16, true, false, [](const Bytes& k, const Bytes& iv) { return MakeRC2<CRC2_CFB>(k, iv, 128); }},
        {"idea-cbc", 16, false, true, Make<CIDEA_CBC, CIDEAkey>},
        {"idea-cfb", 16, true, true, Make<CIDEA_CFB, CIDEAkey>},
    };
}

// This library's IDEA block order from the usual one and back (the same exchange).
Bytes IdeaBlocks(const Bytes& b)
{
    Bytes out(b.size());
    for (size_t i = 0; i + 8 <= b.size(); i += 8) {
        static const int from[8] = {2, 3, 0, 1, 6, 7, 4, 5};
        for (int j = 0; j < 8; ++j)
            out[i + j] = b[i + from[j]];
    }
    return out;
}

Bytes IdeaKey(const Bytes& k)
{
    Bytes out(k.size());
    for (size_t i = 0; i + 1 < k.size(); i += 2) {
        out[i] = k[i + 1];
        out[i + 1] = k[i];
    }
    return out;
}

Bytes Padded(const Bytes& plain)
{
    Bytes padded = plain;
    BYTE pad = static_cast<BYTE>(8 - plain.size() % 8);
    padded.insert(padded.end(), pad, pad);
    return padded;
}

class CipherInterop : public ::testing::TestWithParam<Peer> {};

}

TEST_P(CipherInterop, MatchesOpenSSLBothWays)
{
    const Peer& peer = GetParam();
    if (!OpenSSLHasCipher(peer.cipher, peer.keyBytes))
        GTEST_SKIP() << "openssl lacks " << peer.cipher;

    qmtest::ScratchFolder dir;
    const size_t lengths[] = {0, 1, 7, 8, 9, 2392, 2399, 2400, 2401, 4803};
    unsigned seed = 0;
    for (size_t length : lengths) {
        SCOPED_TRACE(std::string(peer.cipher) + " length " + std::to_string(length));
        Bytes key = RandomBytes(peer.keyBytes, ++seed);
        Bytes iv = RandomBytes(8, seed + 100);
        Bytes plain = RandomBytes(length, seed + 200);
        Bytes padded = Padded(plain);

        // Ours: EncryptFile pads in every mode.
        auto enc = peer.make(key, iv);
        Bytes ours = EncryptAll(*enc, plain);
        ASSERT_EQ(ours.size(), padded.size());

        // Theirs: openssl pads in CBC; in CFB (a stream mode there) it gets our padding.
        // For IDEA, openssl sees the blocks, IV and key in the usual order.
        Bytes sslKey = peer.ideaMapping ? IdeaKey(key) : key;
        Bytes sslIV = peer.ideaMapping ? IdeaBlocks(iv) : iv;
        bool sslPads = !peer.cfb && !peer.ideaMapping;
        Bytes sslInput = sslPads ? plain : (peer.ideaMapping ? IdeaBlocks(padded) : padded);
        qmtest::WriteFile(dir.Path("plain"), sslInput);
        bool ok = false;
        Bytes theirs = OpenSSLEnc(peer.cipher, false, sslKey, sslIV, dir.Path("plain"), !sslPads, ok);
        ASSERT_TRUE(ok);
        if (peer.ideaMapping)
            theirs = IdeaBlocks(theirs);
        EXPECT_EQ(ToHex(ours), ToHex(theirs));

        // Our ciphertext decrypts there, theirs decrypts here.
        qmtest::WriteFile(dir.Path("cipher"), peer.ideaMapping ? IdeaBlocks(ours) : ours);
        Bytes back = OpenSSLEnc(peer.cipher, true, sslKey, sslIV, dir.Path("cipher"), !sslPads, ok);
        ASSERT_TRUE(ok);
        if (peer.ideaMapping)
            back = IdeaBlocks(back);
        EXPECT_EQ(ToHex(back), ToHex(sslPads ? plain : padded));

        auto dec = peer.make(key, iv);
        EXPECT_EQ(ToHex(DecryptAll(*dec, theirs)), ToHex(plain));
    }
}

INSTANTIATE_TEST_SUITE_P(Peers, CipherInterop, ::testing::ValuesIn(Peers()),
                         [](const ::testing::TestParamInfo<Peer>& p) {
                             std::string name = p.param.cipher;
                             for (char& c : name)
                                 if (c == '-')
                                     c = '_';
                             return name;
                         });

// This openssl may lack IDEA; Python's cryptography package carries it among its legacy
// ciphers. The same mapping as above turns its usual order into the library's. One run of
// the interpreter handles every case (one line each: mode, key, IV, data).
TEST(CipherInterop, IDEAMatchesPythonCryptography)
{
    const char* script =
        "import sys\n"
        "from cryptography.hazmat.decrepit.ciphers.algorithms import IDEA\n"
        "from cryptography.hazmat.primitives.ciphers import Cipher, modes\n"
        "for line in open(sys.argv[1]):\n"
        "    mode, key, iv, data = line.split(' ')\n"
        "    key, iv, data = bytes.fromhex(key), bytes.fromhex(iv), bytes.fromhex(data.strip())\n"
        "    m = modes.CBC(iv) if mode == 'cbc' else modes.CFB(iv)\n"
        "    e = Cipher(IDEA(key), m).encryptor()\n"
        "    print((e.update(data) + e.finalize()).hex())\n";
    qmtest::ScratchFolder dir;
    std::string scriptFile = dir.Path("idea.py"), casesFile = dir.Path("cases");
    qmtest::WriteFile(scriptFile, std::string_view(script));

    struct Case {
        bool cfb;
        Bytes key, iv, plain, ours;
    };
    std::vector<Case> cases;
    std::string lines;
    for (bool cfb : {false, true}) {
        for (size_t length : {0u, 7u, 8u, 2399u, 2400u, 2401u}) {
            Case c{cfb, RandomBytes(16, static_cast<unsigned>(length) + 1), RandomBytes(8, static_cast<unsigned>(length) + 2),
                   RandomBytes(length, static_cast<unsigned>(length) + 3), {}};
            auto enc = cfb ? Make<CIDEA_CFB, CIDEAkey>(c.key, c.iv) : Make<CIDEA_CBC, CIDEAkey>(c.key, c.iv);
            c.ours = EncryptAll(*enc, c.plain);
            lines += std::string(cfb ? "cfb " : "cbc ") + ToHex(IdeaKey(c.key)) + " " + ToHex(IdeaBlocks(c.iv)) + " " +
                     ToHex(IdeaBlocks(Padded(c.plain))) + "\n";
            cases.push_back(c);
        }
    }
    qmtest::WriteFile(casesFile, lines);
    qmtest::CommandResult out = qmtest::RunCommand("python3 '" + scriptFile + "' '" + casesFile + "'", false);
    if (!out.Ok())
        GTEST_SKIP() << "python3 with IDEA in the cryptography package is not available";

    std::istringstream results(out.output);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.cfb ? "cfb" : "cbc") + " length " + std::to_string(c.plain.size()));
        std::string line;
        ASSERT_TRUE(std::getline(results, line));
        Bytes theirs = IdeaBlocks(Hex(line));
        EXPECT_EQ(ToHex(c.ours), ToHex(theirs));
        auto dec = c.cfb ? Make<CIDEA_CFB, CIDEAkey>(c.key, c.iv) : Make<CIDEA_CBC, CIDEAkey>(c.key, c.iv);
        EXPECT_EQ(ToHex(DecryptAll(*dec, theirs)), ToHex(c.plain));
    }
}
