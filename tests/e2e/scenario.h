// End-to-end scenarios: a device root, packages made by the built pkgtool,
// and steps that run the installer and check what it printed and left on
// disk. scenario.cc describes the format; each scenario of the files
// tests/scenarios/*.scn is a test, named after the file and its title.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/private_root.h"
#include "support/scoped_tmpfs.h"

using Lines = std::vector<std::string>;

struct ScenarioLine {
  int number;
  std::string keyword, value;  // the first word, and the rest
};

// A line in the first column, and the indented lines below it.
struct ScenarioBlock {
  ScenarioLine head;
  std::vector<ScenarioLine> body;
};

struct ScenarioText {
  std::string source, title;
  int line;
  std::vector<ScenarioBlock> blocks;
};

// The scenarios of a text, each begun by the blocks before the first.
std::vector<ScenarioText> parseScenarios(const std::string& source, const std::string& text);

class Scenario {
 public:
  explicit Scenario(ScenarioText text);
  ~Scenario();
  // Blocks that follow those of the scenario.
  void append(const std::string& text);
  // A package file: the one given, or the one built from its block.
  const std::string& package(const std::string& label);
  void addPackage(const std::string& label, const std::string& bytes);
  void run();

 private:
  struct Run;
  void declare(const ScenarioBlock& block);
  void act(const ScenarioBlock& block);
  void runInstaller(const ScenarioBlock& block);
  void sweepFaults(const ScenarioBlock& block);
  void checkSettled();
  ProgramResult start(const std::string& how, const Lines& args, const std::string& input,
                      const std::string& program);
  void check(Run& run, const ScenarioLine& line);
  std::string expand(const std::string& value);

  ScenarioText text_;
  PrivateRoot root_;
  PrivateRoot shop_;  // a scratch directory: descriptions, file trees, package files
  std::map<std::string, std::string> packages_;
  std::vector<std::unique_ptr<ScopedTmpfs>> mounts_;  // unmounted before the root goes
  std::vector<std::string> environment_;
};
