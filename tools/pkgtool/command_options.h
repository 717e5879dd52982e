// The options and operands of one pkgtool command.
#pragma once

#include <map>
#include <string>
#include <vector>

struct OptionRule {
  const char* shortName;  // "-o", or nullptr
  const char* longName;   // "--output"
  bool takesValue;
};

struct CommandOptions {
  std::map<std::string, std::string> values;  // by long name; "" for flags
  std::vector<std::string> operands;

  bool has(const std::string& longName) const { return values.count(longName) != 0; }
};

// Accepts "-o VALUE", "--output VALUE", "--output=VALUE"; "--" ends the
// options; "-" alone is an operand. False with error for an unknown option,
// a missing value, or an option given twice.
bool parseCommandOptions(const std::vector<std::string>& args, const std::vector<OptionRule>& rules,
                         CommandOptions& options, std::string& error);
