#pragma once
// Runs the tools the sample site is signed with (openssl, osslsigncode): no shell, so no file
// name is ever read as a command, and the tool's own words when it fails.
#include <string>
#include <vector>

namespace demo {

// Runs argv[0] (looked up on PATH when it holds no '/') with exactly these arguments, reading
// nothing, and waits for it. Returns what it wrote to its standard output and error; throws
// std::runtime_error with the command, how it ended and that text unless it exited with 0.
std::string RunTool(const std::vector<std::string>& argv);

}  // namespace demo
