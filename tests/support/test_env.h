// Test helpers: scratch folders, required external tools, fixtures.
#pragma once

#include <string>

namespace vqtest {

// A fresh, empty folder for the calling test (under the build tree's test-tmp
// or the system temporary folder); removed at the next call with the same name.
std::string scratchDir(const std::string& name);

// Full path of an external tool. The test fails (never skips) when the tool
// is missing: the project's setup installs every tool the tests use.
std::string requireTool(const std::string& name);

// Runs a shell command; returns its exit status and fills `output` with what
// it printed on standard output.
int runCommand(const std::string& command, std::string* output = nullptr);

std::string readFile(const std::string& path);
bool writeFile(const std::string& path, const std::string& bytes);

} // namespace vqtest
