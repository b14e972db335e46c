// The address lists of header fields ("From", "To", "Cc"): display names and addresses.
#pragma once

#include "decrypt/mime/message_records.h"

// Parses one header value into entries of the given kind (kRcptFrom, kRcptTo, kRcptCc)
// appended to `out`. A list that cannot be read whole gives what it could read; an entry
// with a display name and no address gets the address "<Invalid address>".
void AfxParseAddressList(const CString& value, LONG kind, CRcpts& out);
