// The web page's program: the page starts it in a worker for each click on its
// button, and it performs that one click. It reads the inputs the page handed
// it, streams each output's bytes to the page as the run writes them, and says
// when the run has succeeded: the page alone can put outputs in place in a
// browser, and does so only then. It also words the page's texts, which the
// build writes into the page (the page must say what a browser lacks before
// any program can run in it).
#include <emscripten/emscripten.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "engine/run.h"
#include "runtime/input_file.h"
#include "runtime/ui.h"
#include "window/form1.h"

// `Module.page.post` sends a message, with the buffers to transfer, to the page.
// A full chunk goes to the page as it is, without a copy, and the next write
// starts a new one.
// The bodies are JavaScript, which clang-format would break.
// clang-format off
EM_JS(int, PageCreateOutput, (const char* name, const char* path, int chunk_size), {
  Module.pageOutputs = Module.pageOutputs || [];
  const id = Module.pageOutputs.length;
  const output = {chunk : new Uint8Array(chunk_size), used : 0};
  output.send = () => {
    const full = output.used == output.chunk.length;
    const bytes = full ? output.chunk : output.chunk.slice(0, output.used);
    if (full) output.chunk = new Uint8Array(chunk_size);
    output.used = 0;
    Module.page.post({type : "chunk", id, bytes : bytes.buffer}, [bytes.buffer]);
  };
  Module.pageOutputs.push(output);
  Module.page.post({type : "output", id, name : UTF8ToString(name), path : UTF8ToString(path)});
  return id;
});

EM_JS(void, PageWrite, (int id, const char* data, int size), {
  const output = Module.pageOutputs[id];
  for (let at = data, end = data + size; at < end;) {
    const take = Math.min(end - at, output.chunk.length - output.used);
    output.chunk.set(HEAPU8.subarray(at, at + take), output.used);
    output.used += take;
    at += take;
    if (output.used == output.chunk.length) output.send();
  }
});

EM_JS(void, PageEndOutput, (int id), {
  const output = Module.pageOutputs[id];
  if (output.used > 0) output.send();
});

// The output got nothing and is none of the run's: an earlier file of its name goes.
EM_JS(void, PageWithdrawOutput, (int id), { Module.page.post({type : "withdrawn", id}); });

EM_JS(void, PageRunSucceeded, (), { Module.page.post({type : "succeeded"}); });
// clang-format on

namespace {

// Bytes gathered before an output's chunk is posted: few messages, each
// moved to the page rather than copied.
constexpr int kChunkSize = 1 << 20;

// An output of the run, as the page receives it.
class PageOutput {
 public:
  PageOutput(std::string_view name, const std::string& path)
      : id_(PageCreateOutput(std::string(name).c_str(), path.c_str(), kChunkSize)) {}

  engine::ByteSink Sink() {
    return [id = id_](std::string_view bytes) {
      PageWrite(id, bytes.data(), static_cast<int>(bytes.size()));
    };
  }
  void End() { PageEndOutput(id_); }
  void Withdraw() { PageWithdrawOutput(id_); }

 private:
  int id_;
};

// The window's part on the page: it holds the inventory, and its one click is
// the run, on the files of `folder`. The page draws the window and shows the
// closing caption itself, in words true for the way the user gave the files.
class PageForm1 : public engine::SymbolInventory, public rt::ui::FormClient {
 public:
  explicit PageForm1(std::string folder) : folder_(std::move(folder)) {}

  void Attach(rt::ui::FormHost& host) override { Command1_ = &host; }

  void Click() override {
    auto path = [&](std::string_view name) { return folder_ + "/" + std::string(name); };
    rt::InputFile list(path(engine::kInName));
    rt::InputFile symbols(path(engine::kSymbolsName));
    PageOutput fixed(engine::kFixedName, path(engine::kFixedName));
    PageOutput bad(engine::kBadName, path(engine::kBadName));
    PageOutput report(engine::kReportName, path(engine::kReportName));
    PageOutput suggestions(engine::kSuggestionsName, path(engine::kSuggestionsName));
    // The page hands over Replacements.txt only where the user has one.
    std::optional<rt::InputFile> replacements =
        rt::InputFile::IfPresent(path(engine::kReplacementsName));
    const engine::RunOutcome outcome = engine::Run(
        {SourceOf(list), SourceOf(symbols),
         replacements ? std::optional(SourceOf(*replacements)) : std::nullopt, fixed.Sink(),
         bad.Sink(), report.Sink(), suggestions.Sink()},
        *this, [this](std::string_view caption) { Command1_->SetButtonCaption(caption); });
    fixed.End();
    bad.End();
    report.End();
    if (outcome.suggested) {
      suggestions.End();
    } else {
      suggestions.Withdraw();
    }
    PageRunSucceeded();
  }

 private:
  std::string folder_;
  rt::ui::FormHost* Command1_ = nullptr;
};

// A text for the page as a JSON string.
std::string Quoted(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

// The page's texts, as one JSON object. {name} in a text is what the page puts there.
extern "C" EMSCRIPTEN_KEEPALIVE const char* PageTexts() {
  static const std::string texts = [] {
    const std::pair<std::string_view, std::string_view> entries[] = {
        {"title", Form1::kTitle},
        {"folderInstructions",
         "The file you want to clean up should be called in.txt.  Put it in a folder with a file "
         "called Symbols.txt with all of your phonetic symbols, one per line.  A file called "
         "Replacements.txt there, if you have one, says which symbols to replace first.  Then "
         "click this button and choose that folder."},
        {"filesInstructions",
         "The file you want to clean up should be called in.txt.  You also need a file called "
         "Symbols.txt with all of your phonetic symbols, one per line.  Then click this button "
         "and choose both files at once, with Replacements.txt if you have one: it says which "
         "symbols to replace first."},
        {"folderDone",
         "Done.  Fixed file is in the folder you chose, called FixedLines.txt.  List of lines "
         "repaired is also in that folder, with the file name BadLines.txt.  Click again to "
         "start over."},
        {"filesDone",
         "Done.  Fixed file is ready below, called FixedLines.txt.  List of lines repaired is "
         "also below, with the file name BadLines.txt.  Click each to save it.  Click again to "
         "start over."},
        {"save", "Save {name}"},
        // Where a mouse can drag, below the button.
        {"dropHint", "You can also drop the folder, or the files, anywhere on this page."},
        // Above the table of removed symbols, from SymbolReport.txt.
        {"report", "Why symbols were removed, from {name}"},
        {"reportFirst", "Why symbols were removed: the {shown} most removed, from {name}"},
        // A check box in the table's Replace with column, and the button below the table.
        {"replace", "Replace {symbol} with {replacement}"},
        {"runAgain", "Run again with the checked replacements"},
        // Why the button does nothing yet, and what it will do.
        {"noneChecked", "Check a replacement in the table's Replace with column first."},
        {"folderAgain",
         "The checked replacements are added to Replacements.txt in the folder you chose, and "
         "in.txt is cleaned again."},
        {"filesAgain",
         "The checked replacements are added to a Replacements.txt that you can save below, and "
         "in.txt is cleaned again."},
        {"failed",
         "The run stopped with the error shown below.  Nothing was saved.  Click again to start "
         "over."},
        // The browser put the first output in place, then refused the second.
        {"failedAfterReplacing",
         "The run stopped with the error shown below, after {names} in the folder was replaced.  "
         "Nothing else was saved.  Click again to start over."},
        {"crashed",
         "The program stopped unexpectedly.  Nothing was saved.  Click again to start over."},
        // The program itself failed (or the browser under it), not a check on the files.
        {"crashExplained",
         "The program stopped unexpectedly: this is a fault in the program or in this browser, "
         "not in your files.  {saved}  The page is known to work in {browsers}.  If this browser "
         "is one of them, please report the details below."},
        {"nothingSaved", "Nothing was saved."},
        // What an error names when the browser would not give the page the folder.
        {"chosenFolder", "the folder you chose"},
        {"replaced", "{names} in the folder was replaced."},
        {"couldNotStart", "The program could not start."},
        {"endedWithStatus", "The program ended with status {status}."},
        {"unsupported",
         "This browser cannot run the program: it lacks {missing}.  Open this page in {browsers}."},
        // Said once to assistive technology at the start of a run, instead of every caption.
        {"running", "Cleaning in.txt."},
        {"runEnded", "The run has ended."},
    };
    std::string json = "{";
    for (const auto& [name, text] : entries)
      json += (json.size() > 1 ? ",\n" : "\n") + Quoted(name) + ": " + Quoted(text);
    return json + "\n}";
  }();
  return texts.c_str();
}

// The page draws the window from its own markup: it needs no design. Its one
// argument names the folder the files came from, for the paths the program
// reports: the chosen folder's name, or "." for files chosen one by one.
int main(int, char** argv) {
  PageForm1 form(argv[1]);
  return rt::ui::RunForm(rt::ui::FormDesign{}, form);
}
