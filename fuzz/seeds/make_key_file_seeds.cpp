// Writes the seed corpus of the key_file target: the two payload forms of a key file holding
// the user's key of the test data, and a locked unprotected file as a whole. Not part of the
// build; see make_archive_seeds.sh.
#include "decrypt/core/key_info.h"
#include "decrypt/core/locked_file.h"
#include "framework/archive.h"
#include "framework/memfile.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/pki/key_container.h"
#include "sigilbox/pki/pkcs1_keys.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

void Emit(const std::string& path, char mode, CMemFile& file)
{
    std::ofstream out(path, std::ios::binary);
    out.write(&mode, 1);
    out.write(reinterpret_cast<const char*>(file.GetBufferPtr()), static_cast<std::streamsize>(file.GetLength()));
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_key_file_seeds TESTDATA OUTDIR\n");
        return 2;
    }
    std::string data = argv[1], out = argv[2];
    std::ifstream in(data + "/decrypt/user_key.der", std::ios::binary);
    std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    CDEREncoding encoding(reinterpret_cast<const BYTE*>(der.data()), static_cast<unsigned long>(der.size()));
    std::unique_ptr<CASN1Type> value(AfxBuildFromEncoding(encoding));
    auto* key = new CRSAPrivateKey;
    CASN1_PrivateKey::SetDataTo(*value, *key);
    CKeyInfo id("Seed ID", CKeyInfo::RSAPrivateKey, key, 1);

    CMemFile archive;
    {
        CArchive ar(&archive, CArchive::store);
        ar.WriteCount(2);
        CKeyInfo none("Public only", CKeyInfo::NoKey, nullptr, 0);
        none.Serialize(ar);
        CKeyInfo copy(id);
        copy.Serialize(ar);
        ar.Close();
    }
    Emit(out + "/archive_payload", 0, archive);

    CMemFile entries;
    {
        CASN1_KCDNs list;
        list.AddObject(new CASN1_RSAKeyWithCertsAndDistinguishedName(*key, id.m_strName, nullptr));
        list.EncodeToFile(entries, 0);
    }
    Emit(out + "/der_payload", 1, entries);

    archive.SeekToBegin();
    CMemFile locked;
    LockFileWithKey(archive, locked, MakePasswordKey("*", 1), nullptr);
    Emit(out + "/locked_archive", 2, locked);
    entries.SeekToBegin();
    CMemFile lockedDer;
    LockFileWithKey(entries, lockedDer, MakePasswordKey("A", 1), nullptr);
    Emit(out + "/locked_der_other_password", 3, lockedDer);
    return 0;
}
