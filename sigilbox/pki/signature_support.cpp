#include "sigilbox/pki/signature_support.h"

#include "framework/exceptions.h"
#include "sigilbox/asn1/asn1_type.h"
#include "sigilbox/engines/digest.h"
#include "sigilbox/engines/rsa_keys.h"

#include <cstring>
#include <memory>

namespace sigilbox_pki {

namespace {

constexpr int kField = 256;

struct Deleter {
    void operator()(CASN1Type* p) const { delete p; }
};

// The digest of the data for `algorithm`, from the cache or computed (and then cached).
// Returns the digest length, or 0 for an algorithm that is none of the three.
int KnownDigest(SignedFields& fields, int algorithm, const DataBuilder& data, BYTE* digest)
{
    const bool sha1 = algorithm == 2;
    if (algorithm < 0 || algorithm > 2)
        return 0;
    BYTE* cache = sha1 ? fields.sha1Digest : fields.mdDigest;
    int& known = sha1 ? fields.sha1DigestKnown : fields.mdDigestKnown;
    const int length = sha1 ? 20 : 16;
    if (!known) {
        std::unique_ptr<CASN1Type, Deleter> value(data());
        DigestEncoding(*value, algorithm, cache);
        known = 1;
    }
    std::memcpy(digest, cache, static_cast<size_t>(length));
    return length;
}

}  // namespace

void DigestEncoding(const CASN1Type& value, int algorithm, BYTE* digest)
{
    CByteArray bytes;
    value.EncodeTo(bytes);
    std::unique_ptr<CDigestMaker> maker;
    switch (algorithm) {
    case 0: maker = std::make_unique<CMD2DigestMaker>(); break;
    case 1: maker = std::make_unique<CMD5DigestMaker>(); break;
    case 2: maker = std::make_unique<CSHA1DigestMaker>(); break;
    default: AfxThrowInvalidArgException();
    }
    maker->UpdateBlock(bytes.GetData(), bytes.GetSize(), nullptr, 1);
    maker->GetCurrentDigest(digest);
}

void SignFields(SignedFields fields, CRSAPrivateKey& key, const DataBuilder& data)
{
    const int oldAlgorithm = fields.algorithm;
    const WORD oldBits = fields.signatureBits;
    try {
        fields.algorithm = 2;
        const int k = key.LockedDataSize();
        if (k < 1 || k > kField)
            AfxThrowUnlockException("Signing key has no usable size");
        fields.signatureBits = static_cast<WORD>(8 * k);
        BYTE digest[20];
        KnownDigest(fields, 2, data, digest);
        BYTE locked[kField];
        key.LockSHA1Digest(digest, locked);
        std::memset(fields.signature, 0, static_cast<size_t>(kField - k));
        std::memcpy(fields.signature + kField - k, locked, static_cast<size_t>(k));
    } catch (...) {
        fields.algorithm = oldAlgorithm;
        fields.signatureBits = oldBits;
        throw;
    }
}

int CheckFields(SignedFields fields, const CRSAPublicKey& key, const DataBuilder& data)
{
    try {
        const int algorithm = fields.algorithm;
        BYTE expected[20];
        const int length = KnownDigest(fields, algorithm, data, expected);
        if (!length)
            return 0;
        // The signature is right-aligned in its field: hand the key exactly its bytes, so
        // the key never reads outside the field whatever the stored bit count says.
        const int bits = fields.signatureBits;
        if (bits <= 0 || bits % 8 != 0 || bits / 8 > kField)
            return 0;
        const BYTE* locked = fields.signature + kField - bits / 8;
        CRSAPublicKey checker(key);
        BYTE digest[20] = {};
        switch (algorithm) {
        case 0: checker.UnlockMD2Digest(locked, digest, bits); break;
        case 1: checker.UnlockMD5Digest(locked, digest, bits); break;
        default: checker.UnlockSHA1Digest(locked, digest, bits); break;
        }
        return std::memcmp(digest, expected, static_cast<size_t>(length)) == 0 ? 1 : 0;
    } catch (CException* e) {
        e->Delete();
        return 0;
    }
}

CString HexLines(const BYTE* field, int size)
{
    static const char digits[] = "0123456789ABCDEF";
    int first = 0;
    while (first < size - 1 && field[first] == 0)
        ++first;
    std::string hex;
    for (int i = first; i < size; ++i) {
        hex += digits[field[i] >> 4];
        hex += digits[field[i] & 15];
    }
    CString text;
    for (size_t at = 0; at < hex.size(); at += 60) {
        if (at)
            text += "\r\n";
        text += "      ";
        text += CString(hex.substr(at, 60));
    }
    return text;
}

}  // namespace sigilbox_pki
