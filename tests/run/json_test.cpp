// tavora-run --json through the real program: one object with the same
// facts as the plain output, for scripts that parse it.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

const std::string Runner = TAVORA_RUN_PATH;
const std::string Examples = EXAMPLES_DIR;

nlohmann::json Parsed(const TProcessResult& r) {
  EXPECT_EQ(r.Out.find('\n'), r.Out.size() - 1) << "one line";
  return nlohmann::json::parse(r.Out);
}

TEST(RunnerJson, HoldsTheWholeFinalState) {
  const TProcessResult r =
      RunProcess(Runner, {"--json", "--bp", "reg=1,value=120", "-d", "$800000:2", Examples + "/factorial.cod"});
  ASSERT_EQ(r.Status, 0);
  EXPECT_EQ(r.Err, "");
  const nlohmann::json j = Parsed(r);
  EXPECT_EQ(j["stop"], "breakpoint");
  EXPECT_EQ(j["steps"], 141);
  EXPECT_EQ(j["pc"], 0x800019);
  ASSERT_EQ(j["registers"].size(), 32u);
  EXPECT_EQ(j["registers"][1], 120);
  EXPECT_EQ(j["registers"][30], 0x800000);
  EXPECT_EQ(j["breakpoints"], nlohmann::json::parse(R"([{"instruction":"","counter":"--","limit":"--",
                                                        "condition":"Wenn R01 den Wert $00000078 hat"}])"));
  EXPECT_EQ(j["dumps"], nlohmann::json::parse(R"([{"address":8388608,"value":1380275009},
                                                   {"address":8388609,"value":668795152}])"));
  EXPECT_EQ(j["messages"], nlohmann::json::array());
}

TEST(RunnerJson, AgreesWithThePlainOutput) {
  // Same run, both forms: the plain lines rebuilt from the JSON object.
  for (const char* example : {"sum.cod", "sort.cod", "factorial.cod"}) {
    const TProcessResult plain = RunProcess(Runner, {"-n", "100", Examples + "/" + example});
    const TProcessResult json = RunProcess(Runner, {"--json", "-n", "100", Examples + "/" + example});
    EXPECT_EQ(plain.Status, json.Status) << example;
    const nlohmann::json j = Parsed(json);
    char line[32];
    std::string rebuilt =
        "stop: " + j["stop"].get<std::string>() + "\nsteps: " + std::to_string(j["steps"].get<int>()) + "\n";
    std::snprintf(line, sizeof line, "PC  $%08x\n", j["pc"].get<unsigned>());
    rebuilt += line;
    for (int i = 0; i < 32; ++i) {
      std::snprintf(line, sizeof line, "R%02d $%08x\n", i, j["registers"][i].get<unsigned>());
      rebuilt += line;
    }
    EXPECT_EQ(rebuilt, plain.Out) << example;
  }
}

TEST(RunnerJson, FileErrorsAreObjectsWithTheMessage) {
  TTempDir dir;
  const std::string sum = Examples + "/sum.cod";
  const struct {
    std::vector<std::string> Args;
    std::string Message;
  } cases[] = {
      {{dir.Path + "/missing.cod"}, "kann nicht geöffnet werden"},
      {{dir.File("bad.cod", ".CODE\nxx\n")}, "ungültige Daten"},
      {{"--commit-log", dir.Path + "/no/such/dir/log", sum}, "cannot write the commit log"},
      {{"--commit-log", "/dev/full", sum}, "writing the commit log to /dev/full failed"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"--json"};
    args.insert(args.end(), c.Args.begin(), c.Args.end());
    const TProcessResult r = RunProcess(Runner, args);
    EXPECT_EQ(r.Status, 2) << c.Message;
    EXPECT_EQ(r.Err, "") << c.Message;
    const nlohmann::json j = Parsed(r);
    EXPECT_EQ(j["stop"], "file-error");
    ASSERT_EQ(j["messages"].size(), 1u);
    EXPECT_NE(j["messages"][0].get<std::string>().find(c.Message), std::string::npos) << j.dump();
  }
}

TEST(RunnerJson, RefusesWhatCannotShareTheObject) {
  for (std::vector<std::string> args : {std::vector<std::string>{"--json", "-t"},
                                        {"--json", "--commit-log", "-"},
                                        {"--json", "-d", "0:1048577"},
                                        {"--json=1"}}) {
    args.push_back(Examples + "/sum.cod");
    const TProcessResult r = RunProcess(Runner, args);
    EXPECT_EQ(r.Status, 64) << args[1];
    EXPECT_EQ(r.Out, "") << args[1];
  }
}

TEST(RunnerJson, VersionAndHelp) {
  const TProcessResult version = RunProcess(Runner, {"--version"});
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Out, "tavora-run " TAVORA_VERSION "\n");
  EXPECT_NE(RunProcess(Runner, {"--help"}).Out.find("--json"), std::string::npos);
}

}  // namespace
