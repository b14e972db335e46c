// What the framework library shows to the programs and libraries that use it: the classes
// and functions marked FRAMEWORK_API. The library is built with hidden visibility, so
// everything else stays inside it.
#pragma once

#if defined(FRAMEWORK_STATIC)
#define FRAMEWORK_API
#elif defined(_WIN32)
#if defined(FRAMEWORK_BUILDING)
#define FRAMEWORK_API __declspec(dllexport)
#else
#define FRAMEWORK_API __declspec(dllimport)
#endif
#else
#define FRAMEWORK_API __attribute__((visibility("default")))
#endif

// The extraction operator IMPLEMENT_SERIAL defines belongs to the class's own library and is
// seen from outside like the class: `ar >> pKey` links in any program.
#if defined(_WIN32) || defined(FRAMEWORK_STATIC)
#define AFX_SERIAL_EXTRACTION
#else
#define AFX_SERIAL_EXTRACTION __attribute__((visibility("default")))
#endif
