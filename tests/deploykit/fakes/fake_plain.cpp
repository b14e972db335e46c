// A library with neither a wizard nor a registration function.
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

FAKE_EXPORT int FakePlainMarker() { return 1; }
