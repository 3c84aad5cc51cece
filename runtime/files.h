// Numbered sequential text files, as the program's run uses them.
//
// Input files are read as lines: a line ends at CR, CR LF or LF, and a last
// line without an end still counts. A UTF-8 byte-order mark at the start is
// skipped; a UTF-16 one is refused, since those bytes cannot be read as lines.
//
// Output records end with CR LF. An output file is written to a temporary file
// beside it and only moved over the real one, flushed to disk, when the file is
// closed; the earlier file is kept until closing has succeeded, so a run that
// fails, even while closing, leaves the earlier file as it was. Each run holds
// a lock in its outputs' folder while it lasts, and clears what dead runs left
// there.
#pragma once

#include <array>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

enum class OpenMode { Input, Output };

// The folder of the running executable, as the program's file names are built on it.
std::string ProgramFolder();

class FileTable {
 public:
  static constexpr int kFirstNumber = 1;
  static constexpr int kLastNumber = 4;

  FileTable();
  ~FileTable();  // discards outputs that were never closed
  FileTable(const FileTable&) = delete;
  FileTable& operator=(const FileTable&) = delete;

  void Open(int number, OpenMode mode, const std::string& path);
  bool AtEnd(int number);
  // The next line without its end; valid until the next call for this file.
  std::string_view ReadLine(int number);
  // The bytes read from an input file and not yet returned as lines, reading
  // more when none are left; empty at the end of the file. They let a caller
  // take many lines at once, and rewrite a line in place as it works on it.
  // kReadAhead bytes past their end may be read too, whatever they hold.
  // Valid until the next call for this file.
  std::span<char> InHand(int number);
  static constexpr std::size_t kReadAhead = 64;
  // Passes over the first `count` bytes in hand, which must be whole lines
  // with their ends, as reading those lines would.
  void Skip(int number, std::size_t count);
  // Reads on after the bytes in hand, keeping them: for a caller whose next
  // line does not end within them. Returns all the bytes in hand, as InHand
  // does; no more than before only at the end of the file.
  std::span<char> ReadMore(int number);
  // Writes the fields one after another, then CR LF.
  void WriteRecord(int number, std::initializer_list<std::string_view> fields);
  void WriteRecord(int number, std::span<const std::string_view> fields);
  // Writes each of the records, then CR LF after it.
  void WriteEachRecord(int number, std::span<const std::string_view> records);
  // Writes bytes as they are: whole records, each ended by CR LF, or the
  // start of a record that later writes end.
  void WriteText(int number, std::string_view text);
  void Close(int number);
  // Closes every open file; the outputs are replaced together, after all of
  // them have reached the disk.
  void CloseAll();
  // Closes every open file, dropping the outputs' new contents. Never throws.
  void Discard() noexcept;

  struct InputFile;
  struct OutputFile;
  struct RunFolder;

 private:
  struct Slot;
  Slot& Used(int number);
  InputFile& UsedForInput(int number);
  OutputFile& UsedForOutput(int number);
  void CommitOutputs(const std::vector<OutputFile*>& outputs);
  // The claim of this run on the output's folder, made when its first output is opened.
  RunFolder& Claimed(const std::string& output);
  void ReleaseFoldersOnceNoOutputIsOpen() noexcept;
  std::array<std::unique_ptr<Slot>, kLastNumber + 1> slots_;
  std::vector<std::unique_ptr<RunFolder>> run_folders_;
};

}  // namespace rt
