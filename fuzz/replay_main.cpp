// Runs a fuzz target over every file of its corpus folder (or the files named), so
// inputs that once crashed keep being checked by the ordinary test suite.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int RunOne(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.empty() ? nullptr : bytes.data(), bytes.size());
    return 1;
}

int main(int argc, char** argv)
{
    int count = 0;
    LLVMFuzzerTestOneInput(nullptr, 0);
    for (int i = 1; i < argc; ++i) {
        std::filesystem::path p(argv[i]);
        if (std::filesystem::is_directory(p)) {
            for (const auto& e : std::filesystem::recursive_directory_iterator(p))
                if (e.is_regular_file())
                    count += RunOne(e.path());
        } else if (std::filesystem::exists(p)) {
            count += RunOne(p);
        }
    }
    std::printf("replayed %d inputs\n", count);
    return 0;
}
