#include "command_options.h"

namespace {

const OptionSpec* findSpec(const std::vector<OptionSpec>& specs, const std::string& name) {
  for (const OptionSpec& spec : specs)
    if ((spec.shortName && name == spec.shortName) || name == spec.longName) return &spec;
  return nullptr;
}

}  // namespace

bool parseCommandOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
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
    const OptionSpec* spec = findSpec(specs, name);
    if (!spec) {
      error = "unknown option " + name;
      return false;
    }
    std::string value;
    if (spec->takesValue) {
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
    if (!options.values.emplace(spec->longName, value).second) {
      error = std::string(spec->longName) + " given twice";
      return false;
    }
  }
  return true;
}
