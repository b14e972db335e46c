// What the sigilbox library shows to its users: the classes and functions marked
// SIGILBOX_API. The library is built with hidden visibility, so everything else (the
// big-number kernels, the structure views, the cipher block loops) stays inside it.
#pragma once

#if defined(SIGILBOX_STATIC)
#define SIGILBOX_API
#elif defined(_WIN32)
#if defined(SIGILBOX_BUILDING)
#define SIGILBOX_API __declspec(dllexport)
#else
#define SIGILBOX_API __declspec(dllimport)
#endif
#else
#define SIGILBOX_API __attribute__((visibility("default")))
#endif
