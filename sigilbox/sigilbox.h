// The sigilbox cryptography class library: every public header in one include.
#pragma once

#include "framework/afx.h"
#include "sigilbox/engines/progress.h"
#include "sigilbox/engines/huge_digit.h"
