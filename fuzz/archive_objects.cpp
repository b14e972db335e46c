// The archive form of every serialisable class, read from untrusted bytes (stored key files,
// certificate files and message stores all come back this way). The first byte picks the
// class (low five bits) and the form: a bare Serialize into a new object, or, with the top
// bit set, ReadObject with the class record in front, as containers store their elements.
// Whatever the bytes, the only outcomes are an object or one of the framework's exceptions;
// an object that loaded stores to bytes that load and store again to the same bytes.
#include "decrypt/core/key_info.h"
#include "decrypt/mime/message.h"
#include "decrypt/mime/message_records.h"
#include "decrypt/mime/msg_store.h"
#include "framework/arrays.h"
#include "framework/exceptions.h"
#include "framework/memfile.h"
#include "sigilbox/asn1/serial_number.h"
#include "sigilbox/asn1/utc_time.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/engines/sym_keys.h"
#include "sigilbox/pki/certificate.h"
#include "sigilbox/pki/distinguished_name.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct Kind {
    const char* name;
    CRuntimeClass* runtimeClass;   // null: not a serial class, only the bare form
    CObject* (*make)();
};

template <class T>
CObject* Make()
{
    return new T;
}

// The order is the seeds' first byte: append only.
const Kind kKinds[] = {
    {"CKeyInfo", RUNTIME_CLASS(CKeyInfo), Make<CKeyInfo>},
    {"CRSAPublicKey", RUNTIME_CLASS(CRSAPublicKey), Make<CRSAPublicKey>},
    {"CRSAPrivateKey", RUNTIME_CLASS(CRSAPrivateKey), Make<CRSAPrivateKey>},
    {"CDESkey", RUNTIME_CLASS(CDESkey), Make<CDESkey>},
    {"CTripleDESkey", RUNTIME_CLASS(CTripleDESkey), Make<CTripleDESkey>},
    {"CIDEAkey", RUNTIME_CLASS(CIDEAkey), Make<CIDEAkey>},
    {"CRC2key", RUNTIME_CLASS(CRC2key), Make<CRC2key>},
    {"CSerialNumber", RUNTIME_CLASS(CSerialNumber), Make<CSerialNumber>},
    {"CUTCTime", RUNTIME_CLASS(CUTCTime), Make<CUTCTime>},
    {"CAttributeValue", RUNTIME_CLASS(CAttributeValue), Make<CAttributeValue>},
    {"CRelativeDN", RUNTIME_CLASS(CRelativeDN), Make<CRelativeDN>},
    {"CDistinguishedName", nullptr, Make<CDistinguishedName>},
    {"CCertificate", RUNTIME_CLASS(CCertificate), Make<CCertificate>},
    {"CCRLEntry", RUNTIME_CLASS(CCRLEntry), Make<CCRLEntry>},
    {"CCertificateRevocationList", RUNTIME_CLASS(CCertificateRevocationList), Make<CCertificateRevocationList>},
    {"CHeaderRecord", RUNTIME_CLASS(CHeaderRecord), Make<CHeaderRecord>},
    {"CHeaderRecords", RUNTIME_CLASS(CHeaderRecords), Make<CHeaderRecords>},
    {"CRcpt", RUNTIME_CLASS(CRcpt), Make<CRcpt>},
    {"CRcpts", RUNTIME_CLASS(CRcpts), Make<CRcpts>},
    {"CInetServer", RUNTIME_CLASS(CInetServer), Make<CInetServer>},
    {"CInetServers", RUNTIME_CLASS(CInetServers), Make<CInetServers>},
    {"CMsgAllocTable", RUNTIME_CLASS(CMsgAllocTable), Make<CMsgAllocTable>},
    {"CMessage", RUNTIME_CLASS(CMessage), Make<CMessage>},
    {"CMessages", RUNTIME_CLASS(CMessages), Make<CMessages>},
    {"CByteArray", RUNTIME_CLASS(CByteArray), Make<CByteArray>},
    {"CWordArray", RUNTIME_CLASS(CWordArray), Make<CWordArray>},
    {"CDWordArray", RUNTIME_CLASS(CDWordArray), Make<CDWordArray>},
    {"CStringArray", RUNTIME_CLASS(CStringArray), Make<CStringArray>},
};
constexpr size_t kKindCount = sizeof kKinds / sizeof kKinds[0];

// A plain CObArray is left out: it does not own what it holds, so the objects it loaded
// before a failure have no owner (as in the framework it stands for); the program stores
// its objects in arrays that own them.
void Dispose(CObject* object)
{
    delete object;
}

struct Disposer {
    void operator()(CObject* p) const { Dispose(p); }
};
using Owned = std::unique_ptr<CObject, Disposer>;

// Loads one object from the bytes; null when the archive code refused them.
Owned Load(const Kind& kind, bool withClass, const BYTE* data, size_t size)
{
    std::vector<BYTE> copy(data, data + size);
    CMemFile file(copy.empty() ? nullptr : copy.data(), static_cast<UINT>(copy.size()));
    Owned object;
    try {
        CArchive ar(&file, CArchive::load);
        try {
            if (withClass) {
                object.reset(ar.ReadObject(kind.runtimeClass));
            } else {
                object.reset(kind.make());
                object->Serialize(ar);
            }
            ar.Close();
        } catch (...) {
            ar.Abort();
            throw;
        }
    } catch (CException* e) {
        e->Delete();
        return nullptr;
    }
    return object;
}

std::vector<BYTE> Store(CObject& object, bool withClass)
{
    CMemFile file;
    {
        CArchive ar(&file, CArchive::store);
        if (withClass)
            ar.WriteObject(&object);
        else
            object.Serialize(ar);
        ar.Close();
    }
    const BYTE* p = file.GetBufferPtr();
    return std::vector<BYTE>(p, p + file.GetLength());
}

// Storing may refuse what loading let through (a key longer than its record holds).
bool TryStore(CObject& object, bool withClass, std::vector<BYTE>& out)
{
    try {
        out = Store(object, withClass);
        return true;
    } catch (CException* e) {
        e->Delete();
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 65536)
        return 0;
    const Kind& kind = kKinds[(data[0] & 0x1F) % kKindCount];
    bool withClass = (data[0] & 0x80) && kind.runtimeClass;
    Owned first = Load(kind, withClass, data + 1, size - 1);
    if (!first)
        return 0;
    std::vector<BYTE> once;
    if (!TryStore(*first, withClass, once))
        return 0;
    Owned second = Load(kind, withClass, once.data(), once.size());
    if (!second) {
        std::fprintf(stderr, "archive_objects: %s stored bytes that do not load\n", kind.name);
        std::abort();
    }
    std::vector<BYTE> twice;
    if (!TryStore(*second, withClass, twice) || twice != once) {
        std::fprintf(stderr, "archive_objects: %s does not store the same twice\n", kind.name);
        std::abort();
    }
    return 0;
}
