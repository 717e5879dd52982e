#include "command_options.h"

namespace {

const OptionRule* findRule(const std::vector<OptionRule>& rules, const std::string& name) {
  for (const OptionRule& rule : rules)
    if ((rule.shortName && name == rule.shortName) || name == rule.longName) return &rule;
  return nullptr;
}

}  // namespace

bool parseCommandOptions(const std::vector<std::string>& args, const std::vector<OptionRule>& rules,
                         CommandOptions& options, std::string& error) {
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      options.operands.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const size_t equals = arg.compare(0, 2, "--") == 0 ? arg.find('=') : std::string::npos;
    const std::string name = arg.substr(0, equals);
    const OptionRule* rule = findRule(rules, name);
    if (!rule) {
      error = "unknown option " + name;
      return false;
    }
    std::string value;
    if (rule->takesValue) {
      if (equals != std::string::npos) {
        value = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        value = args[++i];
      } else {
        error = name + " needs a value";
        return false;
      }
    } else if (equals != std::string::npos) {
      error = name + " takes no value";
      return false;
    }
    if (!options.values.emplace(rule->longName, value).second) {
      error = std::string(rule->longName) + " given twice";
      return false;
    }
  }
  return true;
}
