// Writes the seed corpus of the archive_objects target: for each class, its archive form
// with and without the class record, of a default object and of one filled from the test
// fixtures (a certificate, a revocation list, the user's key). Not part of the build; see
// make_archive_seeds.sh.
#include "decrypt/core/key_info.h"
#include "decrypt/mime/message.h"
#include "decrypt/mime/message_records.h"
#include "decrypt/mime/msg_store.h"
#include "framework/arrays.h"
#include "framework/exceptions.h"
#include "framework/memfile.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/asn1/serial_number.h"
#include "sigilbox/asn1/utc_time.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/engines/sym_keys.h"
#include "sigilbox/pki/certificate.h"
#include "sigilbox/pki/certificate_asn1.h"
#include "sigilbox/pki/distinguished_name.h"
#include "sigilbox/pki/pkcs1_keys.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

namespace {

std::string g_out;
std::string g_data;

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::unique_ptr<CASN1Type> Decode(const std::string& der)
{
    CDEREncoding e(reinterpret_cast<const BYTE*>(der.data()), static_cast<unsigned long>(der.size()));
    return std::unique_ptr<CASN1Type>(AfxBuildFromEncoding(e));
}

void Emit(int index, const char* tag, CObject& object)
{
    for (int withClass = 0; withClass < 2; ++withClass) {
        CMemFile file;
        try {
            CArchive ar(&file, CArchive::store);
            if (withClass)
                ar.WriteObject(&object);
            else
                object.Serialize(ar);
            ar.Close();
        } catch (CException* e) {
            e->Delete();
            std::fprintf(stderr, "%d %s: not stored\n", index, tag);
            return;
        }
        std::string name = g_out + "/" + std::to_string(index) + "_" + tag + (withClass ? "_obj" : "");
        std::ofstream out(name, std::ios::binary);
        char first = static_cast<char>(index | (withClass ? 0x80 : 0));
        out.write(&first, 1);
        out.write(reinterpret_cast<const char*>(file.GetBufferPtr()), static_cast<std::streamsize>(file.GetLength()));
    }
}

template <class T>
void Default(int index, const char* tag)
{
    T object;
    Emit(index, tag, object);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_archive_seeds TESTDATA OUTDIR\n");
        return 2;
    }
    g_data = argv[1];
    g_out = argv[2];

    auto* privateKey = new CRSAPrivateKey;
    CASN1_PrivateKey::SetDataTo(*Decode(ReadBytes(g_data + "/decrypt/user_key.der")), *privateKey);
    CCertificate certificate;
    CASN1_Certificate::SetDataTo(*Decode(ReadBytes(g_data + "/asn1/cert_v1.der")), certificate);
    CCertificateRevocationList crl;
    CASN1_CertificateRevocationList::SetDataTo(*Decode(ReadBytes(g_data + "/asn1/crl.der")), crl);

    {
        CKeyInfo none;
        Emit(0, "empty", none);
        CKeyInfo id("Seed ID", CKeyInfo::RSAPrivateKey, privateKey, 1);
        std::memset(id.m_Digest, 0x5A, sizeof id.m_Digest);
        Emit(0, "rsa_private", id);
        CRSAPublicKey* publicKey = new CRSAPublicKey;
        certificate.SetDataTo(*publicKey);
        CKeyInfo pub("Seed public", CKeyInfo::RSAPublicKey, publicKey, 2);
        Emit(0, "rsa_public", pub);
        CDESkey* des = new CDESkey;
        std::memset(des->m_Key, 0x13, sizeof des->m_Key);
        CKeyInfo desInfo("Seed DES", CKeyInfo::DESKey, des, 0);
        Emit(0, "des", desInfo);
        Emit(2, "user", *id.GetPrivateKey());
        Emit(1, "cert", *pub.GetPublicKey());
    }
    Default<CRSAPublicKey>(1, "default");
    Default<CRSAPrivateKey>(2, "default");
    {
        CDESkey des;
        std::memset(des.m_Key, 0x13, sizeof des.m_Key);
        std::memset(des.m_IV, 0x77, sizeof des.m_IV);
        Emit(3, "set", des);
        CTripleDESkey des3;
        std::memset(des3.m_Key, 0x31, sizeof des3.m_Key);
        Emit(4, "set", des3);
        CIDEAkey idea;
        std::memset(idea.m_Key, 0x42, sizeof idea.m_Key);
        Emit(5, "set", idea);
        CRC2key rc2;
        std::memset(rc2.m_Key, 0x24, sizeof rc2.m_Key);
        Emit(6, "set", rc2);
        rc2.m_nKeyLength = 5;
        Emit(6, "forty", rc2);
    }
    Emit(7, "cert", certificate.m_SerialNumber);
    {
        CUTCTime t;
        t.Setup("991231235959Z", 13);
        Emit(8, "set", t);
        Default<CUTCTime>(8, "default");
    }
    if (certificate.m_Subject.GetSize() > 0) {
        CRelativeDN& rdn = *certificate.m_Subject[0];
        if (rdn.m_AttributeValues.GetSize() > 0)
            Emit(9, "cert", *rdn.m_AttributeValues[0]);
        Emit(10, "cert", rdn);
    }
    {
        CAttributeValue mail(static_cast<DNAttrNameEnum>(0), "Seed@Example.org");
        Emit(9, "first_type", mail);
        CDistinguishedName fromMail("someone@example.org");
        Emit(11, "mail", fromMail);
    }
    Emit(11, "cert", certificate.m_Subject);
    Emit(12, "cert", certificate);
    if (crl.m_Entries.GetSize() > 0)
        Emit(13, "crl", *crl.m_Entries[0]);
    Emit(14, "crl", crl);
    {
        CHeaderRecord header("Subject", "a seed");
        Emit(15, "set", header);
        CHeaderRecords headers;
        headers.AddItem(new CHeaderRecord("From", "a@b.example"));
        headers.AddItem(new CHeaderRecord("To", "c@d.example"));
        Emit(16, "two", headers);
        CRcpt rcpt;
        rcpt.m_strAddress = "a@b.example";
        rcpt.m_strName = "A B";
        Emit(17, "set", rcpt);
        CRcpts rcpts;
        CRcpt* r = new CRcpt;
        r->m_strAddress = "x@y.example";
        rcpts.AddItem(r);
        Emit(18, "one", rcpts);
        CInetServer server;
        server.m_strHost = "mail.example";
        server.m_nPort = 25;
        Emit(19, "set", server);
        CInetServers servers;
        servers.AddItem(new CInetServer);
        Emit(20, "one", servers);
        Default<CMsgAllocTable>(21, "default");
        Default<CMessage>(22, "default");
        CMessages messages;
        messages.AddItem(new CMessage);
        Emit(23, "one", messages);
    }
    {
        CByteArray bytes;
        bytes.Add(1);
        bytes.Add(2);
        Emit(24, "two", bytes);
        CWordArray words;
        words.Add(0x1234);
        Emit(25, "one", words);
        CDWordArray dwords;
        dwords.Add(0x12345678);
        Emit(26, "one", dwords);
        CStringArray strings;
        strings.Add("one");
        strings.Add("two");
        Emit(27, "two", strings);
    }
    return 0;
}
