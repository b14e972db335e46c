// An installer without the framework: loads the setup library by the path given and calls
// its entry points, so the library runs on its own copy of the framework. Prints one line
// per call with the result; message boxes go to standard error through the library's
// default front end. Arguments: library path, installation folder.
#include <cstdint>
#include <cstdio>
#include <dlfcn.h>

using Entry = std::int32_t (*)(void*, std::int32_t*, char*);

int main(int argc, char** argv)
{
    if (argc != 3)
        return 2;
    void* library = ::dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "%s\n", ::dlerror());
        return 3;
    }
    auto entry = [&](const char* name) { return reinterpret_cast<Entry>(::dlsym(library, name)); };
    const char* names[] = {"EditMapisvc", "CheckMapi", "RunWizard", "ShowBitmap", "HideBitmap", "RegisterDAO"};
    for (const char* name : names)
        if (!entry(name))
            return 4;

    char folder[256];
    std::snprintf(folder, sizeof folder, "%s", argv[2]);
    char missing[] = "/nonexistent/dao.so";
    std::int32_t zero = 0, one = 1;
    std::printf("EditMapisvc %d\n", entry("EditMapisvc")(nullptr, &zero, folder));
    std::printf("ShowBitmap %d\n", entry("ShowBitmap")(nullptr, &one, nullptr));
    std::printf("HideBitmap %d\n", entry("HideBitmap")(nullptr, &zero, nullptr));
    std::printf("RegisterDAO %d\n", entry("RegisterDAO")(nullptr, &zero, missing));
    std::fflush(stdout);
    return 0;
}
