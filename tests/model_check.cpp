#include "tests/model_check.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "engine/symbol_report.h"
#include "runtime/error.h"
#include "tests/cleaning_model.h"

namespace testing_support {
namespace {

std::string Difference(const char* what, const std::string& engine, const std::string& model) {
  if (engine == model) return {};
  std::size_t at = static_cast<std::size_t>(
      std::mismatch(engine.begin(), engine.end(), model.begin(), model.end()).first -
      engine.begin());
  std::size_t from = at < 40 ? 0 : at - 40;
  return std::string(what) + " differs at byte " + std::to_string(at) + ": engine \"" +
         Escaped(std::string_view(engine).substr(from, 120)) + "\", model \"" +
         Escaped(std::string_view(model).substr(from, 120)) + "\"";
}

struct Written {
  std::string fixed, bad, report, suggestions;
  bool operator==(const Written&) const = default;
};

std::string Outputs(const TempFolder& folder, Written& written) {
  auto read = [&](const char* name) { return folder.Has(name) ? folder.Read(name) : "(none)"; };
  written = {read("FixedLines.txt"), read("BadLines.txt"), read("SymbolReport.txt"),
             read("SuggestedReplacements.txt")};
  for (const std::string& name : folder.Names()) {
    if (name != "in.txt" && name != "Symbols.txt" && name != "Replacements.txt" &&
        name != "FixedLines.txt" && name != "BadLines.txt" && name != "SymbolReport.txt" &&
        name != "SuggestedReplacements.txt")
      return "the run left " + name;
  }
  return {};
}

std::vector<std::string> Split(std::string_view text, std::string_view separator) {
  std::vector<std::string> parts;
  for (std::size_t from = 0;;) {
    const std::size_t at = text.find(separator, from);
    parts.emplace_back(text.substr(from, at - from));
    if (at == std::string_view::npos) return parts;
    from = at + separator.size();
  }
}

// A symbol shows as it stands in the report when it is printable ASCII
// without a '<' (which starts the report's marks); others compare as "?".
std::string AsShown(const std::string& symbol) {
  const bool plain = std::all_of(symbol.begin(), symbol.end(),
                                 [](char c) { return c > ' ' && c < 0x7F && c != '<'; }) &&
                     std::string_view("=+-@\"").find(symbol.front()) == std::string_view::npos;
  return plain ? symbol : "?";
}

// The report's table as the model has it: a record a symbol, the most removed
// first, each as its symbol (where it shows as it stands: printable ASCII),
// times removed, lines and first line.
std::vector<std::string> ModelTable(const cleaning_model::Result& model) {
  struct Tally {
    std::string symbol;
    long long times = 0, lines = 0, first_line = 0, last_line = 0;
  };
  std::vector<Tally> tallies;
  for (const auto& removal : model.removed) {
    const auto& [line, symbol] = removal;
    auto found = std::find_if(tallies.begin(), tallies.end(),
                              [&](const Tally& t) { return t.symbol == removal.second; });
    if (found == tallies.end()) found = tallies.insert(tallies.end(), {symbol, 0, 0, line, 0});
    ++found->times;
    if (found->last_line != line) ++found->lines;
    found->last_line = line;
  }
  std::stable_sort(tallies.begin(), tallies.end(), [](const Tally& a, const Tally& b) {
    return a.times != b.times ? a.times > b.times : a.first_line < b.first_line;
  });
  std::vector<std::string> table;
  for (const Tally& t : tallies) {
    table.push_back(AsShown(t.symbol) + "\t" + std::to_string(t.times) + "\t" +
                    std::to_string(t.lines) + "\t" + std::to_string(t.first_line));
  }
  return table;
}

// The same columns of the engine's report.
std::vector<std::string> ReportTable(const std::string& report) {
  std::vector<std::string> table;
  const std::vector<std::string> records = Split(report, "\r\n");
  const auto header = std::find(records.begin(), records.end(), engine::SymbolReport::kHeader);
  if (header == records.end()) return {"no header"};
  for (std::size_t i = header - records.begin() + 1; i < records.size() && !records[i].empty();
       ++i) {
    const std::vector<std::string> fields = Split(records[i], "\t");
    if (fields.size() != 7) return {"a record without seven fields: " + Escaped(records[i])};
    table.push_back(AsShown(fields[0]) + "\t" + fields[2] + "\t" + fields[3] + "\t" + fields[4]);
  }
  return table;
}

}  // namespace

std::string Escaped(std::string_view bytes, std::size_t limit) {
  std::string text;
  for (unsigned char c : bytes.substr(0, limit)) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      text += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      text += hex;
    }
  }
  if (bytes.size() > limit) text += "...(" + std::to_string(bytes.size()) + " bytes)";
  return text;
}

std::string DifferenceFromModel(const TempFolder& folder, std::string_view list,
                                std::string_view symbols,
                                std::optional<std::string_view> replacements) {
  folder.Write("in.txt", list);
  folder.Write("Symbols.txt", symbols);
  if (replacements) {
    folder.Write("Replacements.txt", *replacements);
  } else if (folder.Has("Replacements.txt")) {
    folder.Remove("Replacements.txt");
  }
  Written earlier;
  if (std::string left = Outputs(folder, earlier); !left.empty()) return left;

  const cleaning_model::Result model = cleaning_model::Clean(list, symbols, replacements);
  RecordingWindow window;
  try {
    RunIn(folder, window);
  } catch (const rt::RuntimeError& error) {
    if (!model.refused) return "the engine stopped: " + error.Description();
    if (error.Number() != 54) return "a refused file gave error " + std::to_string(error.Number());
    Written after;
    if (std::string left = Outputs(folder, after); !left.empty()) return left;
    if (!(after == earlier)) return "a refused run changed the outputs";
    return {};
  }
  if (model.refused) return "the engine read a file the rules refuse";
  Written written;
  if (std::string left = Outputs(folder, written); !left.empty()) return left;
  const std::string &fixed = written.fixed, &bad = written.bad, &report = written.report;
  std::string difference = Difference("FixedLines.txt", fixed, model.fixed);
  if (difference.empty()) difference = Difference("BadLines.txt", bad, model.bad);
  const std::string mixed =
      model.crlf_ends != 0 && model.lone_ends != 0
          ? "\r\n\t\t\t\t\tin.txt mixes line ends: " + std::to_string(model.crlf_ends) +
                (model.crlf_ends == 1 ? " line ends" : " lines end") + " with CR LF and " +
                std::to_string(model.lone_ends) + " with a lone CR or LF."
          : "\r\n\t\t\t\t\tin.txt mixes line ends";
  if (difference.empty() &&
      (report.find(mixed) != std::string::npos) != (model.crlf_ends && model.lone_ends)) {
    difference = "SymbolReport.txt is wrong about mixed line ends: model " +
                 std::to_string(model.crlf_ends) + " CR LF, " + std::to_string(model.lone_ends) +
                 " lone";
  }
  const std::string unused =
      "\r\n\t\t\t\t\tSymbols.txt has " + std::to_string(model.unused_symbols) +
      (model.unused_symbols == 1 ? " symbol" : " symbols") + " that in.txt never uses: ";
  if (difference.empty() && model.unused_symbols != 0 && report.find(unused) == std::string::npos)
    difference = "SymbolReport.txt does not say" + Escaped(unused);
  if (difference.empty() && model.unused_symbols == 0 &&
      report.find("that in.txt never uses") != std::string::npos)
    difference = "SymbolReport.txt names symbols never used where the list uses them all";
  if (difference.empty() && ReportTable(report) != ModelTable(model)) {
    const auto engine_table = ReportTable(report), model_table = ModelTable(model);
    difference = "SymbolReport.txt's table differs: " + std::to_string(engine_table.size()) +
                 " records against " + std::to_string(model_table.size());
    for (std::size_t i = 0; i < std::min(engine_table.size(), model_table.size()); ++i) {
      if (engine_table[i] != model_table[i]) {
        difference += "; record " + std::to_string(i + 1) + " \"" + Escaped(engine_table[i]) +
                      "\", model \"" + Escaped(model_table[i]) + "\"";
        break;
      }
    }
  }
  if (difference.empty() && window.captions != model.captions) {
    difference = "the captions differ: " + std::to_string(window.captions.size()) + " against " +
                 std::to_string(model.captions.size());
  }
  return difference;
}

}  // namespace testing_support
