// The sigilbox cryptography class library: every public header in one include.
#pragma once

#include "framework/afx.h"
