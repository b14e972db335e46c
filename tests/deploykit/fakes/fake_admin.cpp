// Stand-in for the administration program: it leaves "admin.started" in its working folder,
// waits there for "admin.release" (the test makes it once it has seen that the caller is
// still waiting), then writes its working folder and argument count to "admin.log" (whole,
// through a rename) and ends with status 3.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>

int main(int argc, char**)
{
    std::FILE* started = std::fopen("admin.started", "w");
    if (!started)
        return 1;
    std::fclose(started);
    // Bounded, so that a test gone wrong does not leave the program behind for ever.
    for (int i = 0; i < 60000 && ::access("admin.release", F_OK) != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    char cwd[4096];
    if (!::getcwd(cwd, sizeof cwd))
        return 1;
    std::FILE* f = std::fopen("admin.log.tmp", "w");
    if (!f)
        return 1;
    std::fprintf(f, "%s\n%d\n", cwd, argc);
    std::fclose(f);
    return std::rename("admin.log.tmp", "admin.log") == 0 ? 3 : 1;
}
