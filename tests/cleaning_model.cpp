#include "tests/cleaning_model.h"

#include <set>

namespace cleaning_model {
namespace {

bool StartsWithUtf16Mark(std::string_view bytes) {
  return bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
}

std::string WithoutOuterSpaces(const std::string& text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && text[first] == ' ') ++first;
  while (last > first && text[last - 1] == ' ') --last;
  return text.substr(first, last - first);
}

// A line's tokens: the stretches between spaces, however many spaces there are.
std::vector<std::string> Tokens(const std::string& line) {
  std::vector<std::string> tokens(1);
  for (char c : line) {
    if (c != ' ') {
      tokens.back() += c;
    } else if (!tokens.back().empty()) {
      tokens.emplace_back();
    }
  }
  if (tokens.back().empty()) tokens.pop_back();
  return tokens;
}

std::string Joined(const std::vector<std::string>& tokens) {
  std::string text;
  for (const std::string& token : tokens) text += (text.empty() ? "" : " ") + token;
  return text;
}

}  // namespace

std::vector<std::string> Lines(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  std::vector<std::string> lines;
  std::string line;
  bool unfinished = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char c = bytes[i];
    if (c != '\r' && c != '\n') {
      line += c;
      unfinished = true;
      continue;
    }
    lines.push_back(line);
    line.clear();
    unfinished = false;
    if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
  }
  if (unfinished) lines.push_back(line);
  return lines;
}

Result Clean(std::string_view list, std::string_view symbols) {
  Result result;
  if (StartsWithUtf16Mark(list) || StartsWithUtf16Mark(symbols)) {
    result.refused = true;
    return result;
  }
  std::set<std::string> inventory;
  for (const std::string& line : Lines(symbols)) {
    std::string symbol = WithoutOuterSpaces(line);
    if (!symbol.empty()) inventory.insert(symbol);
  }
  for (const std::string& line : Lines(list)) {
    std::string number = std::to_string(++result.lines);
    if (result.lines % 1000 == 0) result.captions.push_back("Done with " + number + " lines...");
    std::vector<std::string> tokens = Tokens(line);
    if (tokens.empty()) {
      result.bad += number + "\tblank line (removed in FixedLines.txt)\r\n";
      continue;
    }
    std::vector<std::string> legal;
    std::string last_illegal;
    for (const std::string& token : tokens) {
      if (inventory.count(token)) {
        legal.push_back(token);
      } else {
        last_illegal = token;
      }
    }
    if (!legal.empty()) result.fixed += Joined(legal) + "\r\n";
    if (!last_illegal.empty()) {
      result.bad +=
          number + "\t" + Joined(tokens) + "\tBad symbol removed\t" + last_illegal + "\r\n";
    }
  }
  result.captions.push_back(
      "Done.  Fixed file is in this folder, called FixedLines.txt.  List of lines repaired is also "
      "in this folder, with the file name BadLines.txt.  Click again to exit.");
  return result;
}

}  // namespace cleaning_model
