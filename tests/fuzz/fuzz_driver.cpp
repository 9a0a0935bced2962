// Feeds files to a fuzz target without libFuzzer, so the suite's own
// sanitizer build replays the seeds and every input that once failed. Each
// argument is a file or a folder of files; a folder that does not exist is
// skipped (a target may have no failing inputs yet).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// Under the sanitizer a single allocation above 256 MB aborts the replay: no
// seed needs that much, and each input that once sized a buffer from a
// header field asked for more.
extern "C" const char* __asan_default_options() {
    return "max_allocation_size_mb=256:allocator_may_return_null=0";
}

namespace fs = std::filesystem;

static int feed(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return 1;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "input %s (%zu bytes)\n", file.c_str(), bytes.size());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return 0;
}

int main(int argc, char** argv) {
    int inputs = 0, failures = 0;
    for (int i = 1; i < argc; ++i) {
        fs::path p(argv[i]);
        if (fs::is_directory(p)) {
            std::vector<fs::path> files;
            for (auto& e : fs::directory_iterator(p))
                if (e.is_regular_file()) files.push_back(e.path());
            std::sort(files.begin(), files.end());
            for (auto& f : files) {
                failures += feed(f);
                ++inputs;
            }
        } else if (fs::exists(p)) {
            failures += feed(p);
            ++inputs;
        }
    }
    std::fprintf(stderr, "%d inputs replayed\n", inputs);
    // A target without any seed means the corpus went missing.
    return failures != 0 || inputs == 0 ? 1 : 0;
}
