// Everything the shared test support offers, for a test file that wants most of it.
#pragma once

#include "tests/support/archive.h"
#include "tests/support/bytes.h"
#include "tests/support/der.h"
#include "tests/support/memory.h"
#include "tests/support/scratch.h"
#include "tests/support/throws.h"
#include "tests/support/vectors.h"
#include "tests/support/wait.h"
