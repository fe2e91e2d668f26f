#pragma once
// The command line of flightscene and its tools: GNU-style long options read
// through getopt_long, with --help and --version answered the same way by
// every program. A program describes its options as a table; adding one is
// adding a row.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace cli {

// The project's version, from CMake's project(VERSION).
const char* version();

struct Option {
  std::string name;       // long name without the dashes, e.g. "size"
  std::string valueName;  // shown in the usage, e.g. "WxH"; empty for a flag
  std::string help;       // may hold line breaks; later lines are indented
  // Takes the value (empty for a flag); returns false with `error` set to
  // reject it.
  std::function<bool(const std::string& value, std::string& error)> apply;
};

struct Program {
  std::string name;         // as shown in messages, e.g. "flightscene"
  std::string operands;     // after "[OPTIONS]" in the usage line, e.g. "OUTDIR"
  std::string description;  // lines under the usage line
  std::string footer;       // lines after the option list
  std::vector<Option> options;
  // Called after the options with the arguments that are not options, to
  // take them and check the options together; false with `error` set
  // rejects the command line. Unset: no such arguments are allowed.
  std::function<bool(const std::vector<std::string>& operands, std::string& error)> finish;
};

enum class Outcome { Run, Help, Version, Error };

// Reads the arguments after the program name, applying each option in turn.
// --help (or -h) and --version win over everything else; on Error, `error`
// says what was wrong.
Outcome parse(const Program& program, const std::vector<std::string>& args, std::string& error);

// The --help text.
std::string usage(const Program& program);

// What a program's main does with its command line: -1 to go on, or the exit
// status after answering --help or --version on stdout (0), or after the
// error and the usage on stderr (2).
int handle(const Program& program, int argc, char** argv);

// Checked conversions of a whole string.
bool parseInt64(const std::string& text, int64_t& value);
bool parseReal(const std::string& text, double& value);
// "WIDTHxHEIGHT" with each side 1..maxSide.
bool parseSize(const std::string& text, int maxSide, int& width, int& height);

}  // namespace cli
