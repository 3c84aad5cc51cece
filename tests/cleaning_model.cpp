#include "tests/cleaning_model.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace cleaning_model {
namespace {

// UTF-16's marks, and UTF-32's (the little-endian one starts as UTF-16's does).
bool StartsWithUtf16Mark(std::string_view bytes) {
  return bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF") ||
         bytes.starts_with(std::string_view("\0\0\xFE\xFF", 4));
}

std::string WithoutOuterSpaces(const std::string& text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && text[first] == ' ') ++first;
  while (last > first && text[last - 1] == ' ') --last;
  return text.substr(first, last - first);
}

// The part of Text before the first Delimiter, or the whole of Text when it has none.
std::string StringBefore(const std::string& Text, const std::string& Delimiter) {
  const std::size_t at = Text.find(Delimiter);
  return at == std::string::npos ? Text : Text.substr(0, at);
}

// The part of Text after the first Delimiter, or empty when it has none.
std::string StringAfter(const std::string& Text, const std::string& Delimiter) {
  const std::size_t at = Text.find(Delimiter);
  return at == std::string::npos ? std::string() : Text.substr(at + Delimiter.size());
}

// Every occurrence of two spaces, found from the left and not overlapping,
// replaced by one space in one pass.
std::string DoubleSpacesHalved(const std::string& text) {
  std::string halved;
  for (std::size_t from = 0;;) {
    const std::size_t at = text.find("  ", from);
    if (at == std::string::npos) return halved + text.substr(from);
    halved += text.substr(from, at - from) + " ";
    from = at + 2;
  }
}

// Passes until no two spaces are left: a run of any length becomes one space.
std::string Collapsed(std::string text) {
  while (text.find("  ") != std::string::npos) text = DoubleSpacesHalved(text);
  return text;
}

// <U+XXXX> (4 to 6 hex digits) and <0xNN> read as the character or byte.
std::string Unescaped(const std::string& text) {
  std::string read;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool byte = text.compare(i, 3, "<0x") == 0;
    if (byte || text.compare(i, 3, "<U+") == 0) {
      std::size_t digits = 0;
      while (i + 3 + digits < text.size() && digits < 6 &&
             std::isxdigit(static_cast<unsigned char>(text[i + 3 + digits])))
        ++digits;
      const bool closed = i + 3 + digits < text.size() && text[i + 3 + digits] == '>';
      const unsigned long value = digits ? std::stoul(text.substr(i + 3, digits), nullptr, 16) : 0;
      if (closed && byte && digits == 2) {
        read += static_cast<char>(value);
        i += 5;
        continue;
      }
      if (closed && !byte && digits >= 4 && value <= 0x10FFFF &&
          !(value >= 0xD800 && value <= 0xDFFF)) {
        if (value < 0x80) {
          read += static_cast<char>(value);
        } else if (value < 0x800) {
          read += static_cast<char>(0xC0 | value >> 6);
          read += static_cast<char>(0x80 | (value & 0x3F));
        } else if (value < 0x10000) {
          read += static_cast<char>(0xE0 | value >> 12);
          read += static_cast<char>(0x80 | (value >> 6 & 0x3F));
          read += static_cast<char>(0x80 | (value & 0x3F));
        } else {
          read += static_cast<char>(0xF0 | value >> 18);
          read += static_cast<char>(0x80 | (value >> 12 & 0x3F));
          read += static_cast<char>(0x80 | (value >> 6 & 0x3F));
          read += static_cast<char>(0x80 | (value & 0x3F));
        }
        i += 3 + digits;
        continue;
      }
    }
    read += text[i];
  }
  return read;
}

// The records of Replacements.txt; false for a record that breaks its rules.
bool ReadReplacements(std::string_view file, std::vector<Replacement>& records) {
  long long number = 0;
  bool first = true;
  for (const std::string& line : Lines(file)) {
    ++number;
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    const std::size_t tab = line.find('\t');
    const std::string symbol = Unescaped(WithoutOuterSpaces(line.substr(0, tab)));
    if (first && WithoutOuterSpaces(line.substr(0, tab)) == "Symbol") {
      first = false;
      continue;
    }
    first = false;
    if (tab == std::string::npos || symbol.empty() ||
        symbol.find_first_of(" \r\n") != std::string::npos)
      return false;
    const std::string field = line.substr(tab + 1);
    const std::string replacement =
        Unescaped(WithoutOuterSpaces(field.substr(0, field.find('\t'))));
    if (replacement.find_first_of("\r\n") != std::string::npos) return false;
    std::vector<std::string> symbols;
    for (std::string rest = replacement; !WithoutOuterSpaces(rest).empty();) {
      rest = WithoutOuterSpaces(rest);
      symbols.push_back(StringBefore(rest, " "));
      rest = StringAfter(rest, " ");
    }
    const auto same = std::find_if(records.begin(), records.end(),
                                   [&](const Replacement& r) { return r.symbol == symbol; });
    if (same == records.end()) {
      records.push_back({symbol, symbols, number});
    } else if (same->symbols != symbols) {
      return false;
    }
  }
  return true;
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

Result Clean(std::string_view list, std::string_view symbols,
             std::optional<std::string_view> replacements) {
  Result result;
  if (StartsWithUtf16Mark(list) || StartsWithUtf16Mark(symbols) ||
      (replacements && (StartsWithUtf16Mark(*replacements) ||
                        !ReadReplacements(*replacements, result.replacements)))) {
    result.refused = true;
    return result;
  }
  std::set<std::string> inventory;
  for (const std::string& line : Lines(symbols)) {
    std::string symbol = WithoutOuterSpaces(line);
    if (!symbol.empty()) inventory.insert(symbol);
  }
  std::set<std::string> used;
  const std::string_view text = list.starts_with("\xEF\xBB\xBF") ? list.substr(3) : list;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      ++result.crlf_ends;
      ++i;
    } else if (text[i] == '\r' || text[i] == '\n') {
      ++result.lone_ends;
    }
  }
  for (const std::string& line : Lines(list)) {
    std::string number = std::to_string(++result.lines);
    if (result.lines % 1000 == 0) result.captions.push_back("Done with " + number + " lines...");
    std::string BadSymbol;
    std::string CurrentLine = WithoutOuterSpaces(line);
    if (CurrentLine.empty()) result.bad += number + "\tblank line (removed in FixedLines.txt)\r\n";
    CurrentLine = Collapsed(CurrentLine);
    std::string GoodPart;
    std::string Remaining = CurrentLine;
    do {
      const std::string Token = StringBefore(Remaining, " ");
      // A token that Replacements.txt names is judged as the symbols it gives.
      std::vector<std::string> judged = {Token};
      for (Replacement& record : result.replacements) {
        if (record.symbol != Token) continue;
        judged = record.symbols;
        if (record.times++ == 0) record.first_line = result.lines;
      }
      for (const std::string& symbol : judged) {
        if (inventory.count(symbol)) {
          GoodPart += " " + symbol;
          used.insert(symbol);
        } else {
          BadSymbol = symbol;
          if (!symbol.empty()) result.removed.emplace_back(result.lines, symbol);
        }
      }
      Remaining = StringAfter(Remaining, " ");
    } while (!WithoutOuterSpaces(Remaining).empty());
    if (!GoodPart.empty()) result.fixed += WithoutOuterSpaces(GoodPart) + "\r\n";
    if (!BadSymbol.empty()) {
      result.bad += number + "\t" + CurrentLine + "\tBad symbol removed\t" + BadSymbol + "\r\n";
    }
  }
  // A symbol the list has only with a stress digit after it counts as used.
  for (const std::string& symbol : inventory) {
    if (used.count(symbol)) continue;
    bool stressed = false;
    for (char digit = '0'; digit <= '9'; ++digit) stressed |= used.count(symbol + digit) != 0;
    result.unused_symbols += !stressed;
  }
  result.captions.push_back(
      "Done.  Fixed file is in this folder, called FixedLines.txt.  List of lines repaired is also "
      "in this folder, with the file name BadLines.txt.  Click again to exit.");
  return result;
}

}  // namespace cleaning_model
