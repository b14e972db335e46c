// The dates of "Date" header fields, in the three forms mailers write them.
#pragma once

#include "framework/cstring.h"
#include "framework/file.h"

// Reads "Wed, 12 Jun 1996 10:20:30 +0300", "Wed, 12 Jun 1996 10:20" or "12 Jun 1996 10:20"
// (a normalised value) as local time. `zone` is the value's zone as +-HHMM, or the local
// zone when the value has none (or one out of range). A two-digit year gets the century of
// the local clock. FALSE, and nothing set, when the value is no such date.
BOOL AfxParseHeaderDate(const CString& value, CTime& date, LONG& zone);
