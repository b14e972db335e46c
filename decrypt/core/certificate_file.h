// The certificate file beside a key file: a certs-only signedData holding the ID's
// self-issued certificate, made on request when it is missing, and the serial-number
// counters of the issuers.
#pragma once

#include "framework/cstring.h"
#include "framework/types.h"

class CDialog;
class CDistinguishedName;
class CSerialNumber;
class CUTCTime;

// The key file's folder and name without extension, with ".P7M"; empty for an empty name.
CString CertificateFileName(const CString& keyFileName);

// 1 when the current decrypting ID's certificate file exists or was made now; 0 otherwise
// (also without a decrypting ID).
int EnsureCertificateFile(CDialog* parent);

// 1 when the current ID's certificate file is there (or cannot be told apart from being
// there); 0 when it is missing or the key file name is empty.
int CertificateFileExists();

// Counts the issuer's serial numbers in the machine settings: 1 with the serial to use,
// 0 when the counter could not be stored.
int NextSerialNumber(const CDistinguishedName& issuer, CSerialNumber& serial);

// The end of a certificate's validity: the same moment a year after notBefore, where
// 29 February becomes 28 February when the next year has no 29th.
CUTCTime CertificateExpiry(const CUTCTime& notBefore);
