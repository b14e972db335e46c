// The sigilbox cryptography class library: every public header in one include.
#pragma once

#include "framework/afx.h"
#include "sigilbox/engines/progress.h"
#include "sigilbox/engines/huge_digit.h"
#include "sigilbox/engines/digest.h"
#include "sigilbox/engines/hex_text.h"
#include "sigilbox/engines/randoms.h"
#include "sigilbox/pki/serial_number.h"
#include "sigilbox/pki/utc_time.h"
#include "sigilbox/asn1/der_encoding.h"
#include "sigilbox/asn1/asn1_type.h"
#include "sigilbox/asn1/asn1_universal.h"
#include "sigilbox/asn1/asn1_decode.h"
#include "sigilbox/asn1/object_identifiers.h"
#include "sigilbox/asn1/algorithm_identifier.h"
#include "sigilbox/engines/rsa_keys.h"
#include "sigilbox/engines/rsa_keypair.h"
