#include "app/CommandLine.h"

#include "files/PrintedName.h"

#include <getopt.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace cli {

namespace {

// getopt_long's codes for our own options start above every character.
constexpr int kHelp = 'h';
constexpr int kVersion = 0x100;
constexpr int kFirstOption = 0x101;

// Values are echoed in messages by their first characters.
constexpr size_t kShownCharacters = 64;

std::string shown(const std::string& text) { return shortened(text, kShownCharacters); }

// `error` with every copy of `value` in it shown cut.
std::string withValueCut(std::string error, const std::string& value) {
  const std::string cut = shown(value);
  if (cut.size() >= value.size()) return error;
  for (size_t at = error.find(value); at != std::string::npos;
       at = error.find(value, at + cut.size()))
    error.replace(at, value.size(), cut);
  return error;
}

}  // namespace

const char* version() { return FLIGHTSCENE_VERSION; }

Outcome parse(const Program& program, const std::vector<std::string>& args, std::string& error) {
  std::vector<option> table;
  for (size_t i = 0; i < program.options.size(); ++i) {
    const Option& o = program.options[i];
    table.push_back({o.name.c_str(), o.valueName.empty() ? no_argument : required_argument, nullptr,
                     kFirstOption + static_cast<int>(i)});
  }
  table.push_back({"help", no_argument, nullptr, kHelp});
  table.push_back({"version", no_argument, nullptr, kVersion});
  table.push_back({nullptr, 0, nullptr, 0});

  // getopt_long permutes its argument vector: give it copies.
  std::vector<std::string> copies;
  copies.reserve(args.size() + 1);
  copies.push_back(program.name);
  copies.insert(copies.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : copies) argv.push_back(s.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(copies.size());

  bool help = false, showVersion = false;
  std::string firstError;
  optind = 0;  // glibc: start afresh, also after an earlier parse
  opterr = 0;  // our own messages
  for (;;) {
    int index = -1;
    const int c = getopt_long(argc, argv.data(), ":h", table.data(), &index);
    if (c == -1) break;
    const std::string seen = shown(optind > 0 && optind <= argc ? argv[optind - 1] : "");
    std::string e;
    if (c == kHelp) {
      help = true;
    } else if (c == kVersion) {
      showVersion = true;
    } else if (c == ':') {
      e = seen + " needs a value";
    } else if (c == '?') {
      e = optopt >= kFirstOption || optopt == kHelp || optopt == kVersion
              ? seen + " takes no value"
              : "unknown option '" + seen + "'";
    } else if (c >= kFirstOption && c - kFirstOption < static_cast<int>(program.options.size())) {
      const Option& o = program.options[static_cast<size_t>(c - kFirstOption)];
      const std::string value = optarg ? optarg : "";
      if (!o.apply(value, e) && e.empty()) e = "bad value for --" + o.name;
      e = withValueCut(e, value);
    }
    if (!e.empty() && firstError.empty()) firstError = e;
  }
  if (help) return Outcome::Help;
  if (showVersion) return Outcome::Version;
  if (firstError.empty()) {
    // getopt_long has moved the operands to the end, in their order.
    std::vector<std::string> operands;
    for (int i = std::min(optind, argc); i < argc; ++i) operands.push_back(argv[i]);
    if (program.finish) {
      if (!program.finish(operands, firstError) && firstError.empty()) firstError = "bad arguments";
    } else if (!operands.empty()) {
      firstError = "unexpected argument '" + shown(operands.front()) + "'";
    }
  }
  if (!firstError.empty()) {
    error = firstError;
    return Outcome::Error;
  }
  return Outcome::Run;
}

std::string usage(const Program& program) {
  std::ostringstream s;
  s << "Usage: " << program.name << " [OPTIONS]";
  if (!program.operands.empty()) s << ' ' << program.operands;
  s << '\n' << program.description << "\n\n";
  std::vector<Option> all = program.options;
  all.push_back({"help", "", "show this text and exit", nullptr});
  all.push_back({"version", "", "show the version and exit", nullptr});
  for (const Option& o : all) {
    std::string head = "  --" + o.name;
    if (!o.valueName.empty()) head += ' ' + o.valueName;
    const size_t column = 22;
    s << head << std::string(head.size() < column ? column - head.size() : 1, ' ');
    for (char c : o.help) {
      s << c;
      if (c == '\n') s << std::string(column, ' ');
    }
    s << '\n';
  }
  if (!program.footer.empty()) s << '\n' << program.footer;
  return s.str();
}

int handle(const Program& program, int argc, char** argv) {
  const std::vector<std::string> args(argv + std::min(argc, 1), argv + std::max(argc, 1));
  std::string error;
  switch (parse(program, args, error)) {
    case Outcome::Run:
      return -1;
    case Outcome::Help:
      std::fputs(usage(program).c_str(), stdout);
      return 0;
    case Outcome::Version:
      std::printf("%s %s\n", program.name.c_str(), version());
      return 0;
    case Outcome::Error:
      break;
  }
  std::fprintf(stderr, "%s: %s\n\n%s", program.name.c_str(), error.c_str(), usage(program).c_str());
  return 2;
}

bool parseInt64(const std::string& text, int64_t& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end;
}

bool parseReal(const std::string& text, double& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

bool parseSize(const std::string& text, int maxSide, int& width, int& height) {
  size_t x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  int64_t w = 0, h = 0;
  if (!parseInt64(text.substr(0, x), w) || !parseInt64(text.substr(x + 1), h)) return false;
  if (w < 1 || h < 1 || w > maxSide || h > maxSide) return false;
  width = static_cast<int>(w);
  height = static_cast<int>(h);
  return true;
}

}  // namespace cli
