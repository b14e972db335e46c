// The library's version, for programs that report what they run with.
extern "C" const char* SigilboxVersion() { return "0.1.0"; }
