// Everything of the framework's core in one include.
#pragma once

#include "framework/archive.h"
#include "framework/arrays.h"
#include "framework/cstring.h"
#include "framework/exceptions.h"
#include "framework/file.h"
#include "framework/memfile.h"
#include "framework/object.h"
#include "framework/types.h"
