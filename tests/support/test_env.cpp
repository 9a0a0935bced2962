#include "support/test_env.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace vqtest {

std::string scratchDir(const std::string& name) {
    const char* base = std::getenv("VQ_TEST_TMP");
    std::filesystem::path root = base && *base ? base : std::filesystem::temp_directory_path() / "vq-tests";
    const auto dir = root / (name + "-" + std::to_string(::getpid()));
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir);
    return dir.string();
}

std::string requireTool(const std::string& name) {
    std::string out;
    const int rc = runCommand("command -v " + name, &out);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    if (rc != 0 || out.empty()) {
        ADD_FAILURE() << "required tool '" << name << "' is not installed (run tools/setup.sh)";
        return {};
    }
    return out;
}

int runCommand(const std::string& command, std::string* output) {
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    std::string out;
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int status = ::pclose(p);
    if (output)
        *output = out;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

} // namespace vqtest
