#include "tests/model_check.h"

#include <algorithm>
#include <cstdio>

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

std::string Outputs(const TempFolder& folder, std::string& fixed, std::string& bad) {
  fixed = folder.Has("FixedLines.txt") ? folder.Read("FixedLines.txt") : "(none)";
  bad = folder.Has("BadLines.txt") ? folder.Read("BadLines.txt") : "(none)";
  for (const std::string& name : folder.Names()) {
    if (name != "in.txt" && name != "Symbols.txt" && name != "FixedLines.txt" &&
        name != "BadLines.txt")
      return "the run left " + name;
  }
  return {};
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
                                std::string_view symbols) {
  folder.Write("in.txt", list);
  folder.Write("Symbols.txt", symbols);
  std::string earlier_fixed, earlier_bad;
  if (std::string left = Outputs(folder, earlier_fixed, earlier_bad); !left.empty()) return left;

  const cleaning_model::Result model = cleaning_model::Clean(list, symbols);
  RecordingWindow window;
  try {
    RunIn(folder, window);
  } catch (const rt::RuntimeError& error) {
    if (!model.refused) return "the engine stopped: " + error.Description();
    if (error.Number() != 54) return "a UTF-16 file gave error " + std::to_string(error.Number());
    std::string fixed, bad;
    if (std::string left = Outputs(folder, fixed, bad); !left.empty()) return left;
    if (fixed != earlier_fixed || bad != earlier_bad) return "a refused run changed the outputs";
    return {};
  }
  if (model.refused) return "the engine read a file with a UTF-16 byte-order mark";
  std::string fixed, bad;
  if (std::string left = Outputs(folder, fixed, bad); !left.empty()) return left;
  std::string difference = Difference("FixedLines.txt", fixed, model.fixed);
  if (difference.empty()) difference = Difference("BadLines.txt", bad, model.bad);
  if (difference.empty() && window.captions != model.captions) {
    difference = "the captions differ: " + std::to_string(window.captions.size()) + " against " +
                 std::to_string(model.captions.size());
  }
  return difference;
}

}  // namespace testing_support
