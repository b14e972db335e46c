// Stand-in for the administration program: after a short while it writes its working
// folder and argument count to "admin.log" in that folder (whole, through a rename), so a
// caller that has not waited for it finds no log yet.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <unistd.h>

int main(int argc, char**)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
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
