#include "tools/run/JsonReport.h"

#include <nlohmann/json.hpp>

#include "breakpoints/BreakPoint.h"
#include "core/CPU.h"

namespace runner {

namespace {

// One line, keys in the documented order. Messages may carry file names in any encoding; bytes that are not UTF-8
// become replacement characters rather than failing the report.
std::string Text(const nlohmann::ordered_json& object) {
  return object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace

std::string JsonReport(const char* stop, uint64_t steps, const TOptions& options,
                       const std::vector<std::string>& messages) {
  nlohmann::ordered_json registers = nlohmann::ordered_json::array();
  for (int i = 0; i < 32; ++i) registers.push_back(uint32_t(TheState.GetReg(i)));
  nlohmann::ordered_json breakpoints = nlohmann::ordered_json::array();
  for (const TBreakPoint* bp : BreakPoints)
    breakpoints.push_back({{"instruction", bp->Caption()},
                           {"counter", bp->SubItem(0)},
                           {"limit", bp->SubItem(1)},
                           {"condition", bp->SubItem(2)}});
  nlohmann::ordered_json dumps = nlohmann::ordered_json::array();
  for (const TDump& dump : options.Dumps)
    for (int32_t k = 0; k < dump.Count; ++k) {
      const uint32_t address = uint32_t(dump.Address) + uint32_t(k);
      dumps.push_back({{"address", address}, {"value", TheMemory.ReadWord(int32_t(address))}});
    }
  nlohmann::ordered_json report = nlohmann::ordered_json::object();
  report["stop"] = stop;
  report["steps"] = steps;
  report["pc"] = uint32_t(TheState.GetReg(-1));
  report["registers"] = std::move(registers);
  report["breakpoints"] = std::move(breakpoints);
  report["dumps"] = std::move(dumps);
  report["messages"] = messages;
  return Text(report);
}

std::string JsonFileError(const std::vector<std::string>& messages) {
  nlohmann::ordered_json report = nlohmann::ordered_json::object();
  report["stop"] = "file-error";
  report["messages"] = messages;
  return Text(report);
}

}  // namespace runner
