// The files of the web page, as the page hands them to the program's worker.
//
// The "program folder" is the folder the user chose (or "." for files chosen
// one by one). The inputs are File objects, read a slice at a time with
// FileReaderSync, never whole. The outputs are streams that live in the page:
// their bytes are posted to it in chunks as they are written, and the page
// puts them in place (closes the folder's writable streams, or offers the
// downloads) only after the whole run has ended without an error; after a
// failure it drops them, so the folder keeps its earlier outputs.
//
// `Module.page` is what the worker's script gives the program:
//   folder  the folder's name, for the paths the program builds and reports;
//   inputs  by file name: a File; its bytes in an ArrayBuffer, where the worker
//           cannot read the File itself and the page read it; or {error, reason}
//           for one the page could not get (the browser's DOMException);
//   refused {name, error, reason}: an output the page found it could not write;
//   post    sends a message, with the buffers to transfer, to the page.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "runtime/os.h"

// Each call that can fail returns -1 and leaves the reason in `Module.pageFailure`.
EM_JS(int, PageOpenInput, (const char* name, int first_slice_size, int slice_size), {
  var entry = Module.page.inputs[UTF8ToString(name)] || {error : "NotFoundError"};
  if (entry.error) {
    Module.pageFailure = {error : entry.error, reason : entry.reason || ""};
    return -1;
  }
  // Bytes the page read are all in hand, and none are read from a file.
  var inHand = entry instanceof ArrayBuffer;
  Module.pageFiles = Module.pageFiles || [null];
  Module.pageFiles.push({
    file : entry,
    at : 0,
    fileSize : inHand ? 0 : entry.size,
    chunk : new Uint8Array(inHand ? entry : 0),
    used : 0,
    sliceSize : first_slice_size,
    largestSlice : slice_size
  });
  return Module.pageFiles.length - 1;
});

EM_JS(int, PageRead, (int handle, char* buffer, int size), {
  var input = Module.pageFiles[handle];
  if (input.used == input.chunk.length && input.at < input.fileSize) {
    try {
      var slice = input.file.slice(input.at, input.at + input.sliceSize);
      input.chunk = new Uint8Array(new FileReaderSync().readAsArrayBuffer(slice));
    } catch (e) {
      Module.pageFailure = {error : e.name || "Error", reason : e.message || String(e)};
      return -1;
    }
    input.at += input.chunk.length;
    input.used = 0;
    input.sliceSize = Math.min(input.sliceSize * 2, input.largestSlice);
  }
  var got = Math.min(size, input.chunk.length - input.used);
  HEAPU8.set(input.chunk.subarray(input.used, input.used + got), buffer);
  input.used += got;
  return got;
});

EM_JS(bool, PageRefusesOutput, (const char* name), {
  var refused = Module.page.refused;
  if (!refused || refused.name != UTF8ToString(name)) return false;
  Module.pageFailure = {error : refused.error, reason : refused.reason};
  return true;
});

// A full chunk goes to the page as it is, without a copy, and the next write
// starts a new one.
EM_JS(int, PageCreateOutput, (const char* name, int chunk_size), {
  Module.pageFiles = Module.pageFiles || [null];
  var id = Module.pageFiles.length;
  var output = {chunk : new Uint8Array(chunk_size), used : 0};
  output.send = function() {
    if (output.used == 0) return;
    var full = output.used == output.chunk.length;
    var bytes = full ? output.chunk : output.chunk.slice(0, output.used);
    if (full) output.chunk = new Uint8Array(chunk_size);
    output.used = 0;
    Module.page.post({type : "chunk", id : id, bytes : bytes.buffer}, [bytes.buffer]);
  };
  Module.pageFiles.push(output);
  Module.page.post({type : "output", id : id, name : UTF8ToString(name)});
  return id;
});

EM_JS(void, PageSend, (int handle), { Module.pageFiles[handle].send(); });

EM_JS(void, PageWrite, (int handle, const char* data, int size), {
  var output = Module.pageFiles[handle];
  var at = data;
  var end = data + size;
  while (at < end) {
    var take = Math.min(end - at, output.chunk.length - output.used);
    output.chunk.set(HEAPU8.subarray(at, at + take), output.used);
    output.used += take;
    at += take;
    if (output.used == output.chunk.length) output.send();
  }
});

EM_JS(void, PageClose, (int handle), { Module.pageFiles[handle] = null; });

// Texts handed to the program are copies it frees.
EM_JS(char*, PageFolder, (), { return allocateUTF8(Module.page.folder); });

// The failure left by the last call, as the program reports it; the reason is
// the browser's own words.
EM_JS(int, PageFailureKind, (), {
  var kinds = {
    NotFoundError : 0,
    TypeMismatchError : 5,  // a folder where a file was asked for
    NotAllowedError : 2,
    SecurityError : 2,
    NoModificationAllowedError : 2,
    QuotaExceededError : 3,
    NotReadableError : 4,
  };
  var kind = kinds[Module.pageFailure.error];
  return kind == undefined ? -1 : kind;
});

EM_JS(char*, PageFailureReason, (), { return allocateUTF8(Module.pageFailure.reason); });

namespace rt::os {
namespace {

// Bytes gathered before an output's chunk is posted, and the most handed to
// the program by one read: few calls across to JavaScript, and memory outside
// the program's.
constexpr int kChunkSize = 1 << 20;
// Bytes the browser reads from an input at a time. Each FileReaderSync read
// costs a millisecond or two whatever its size, then about a millisecond a
// MiB, so the slices are large: the page holds one, outside the program's
// memory. The first is small and each next one twice as large, so that the
// first lines, and the first output for the page to write, come at once.
constexpr int kFirstInputSliceSize = 1 << 20;
constexpr int kInputSliceSize = 16 << 20;

std::string TakeText(char* text) {
  std::string taken = text ? text : "";
  std::free(text);
  return taken;
}

bool Fail(SysError& error) {
  static_assert(
      static_cast<int>(Failure::NotFound) == 0 && static_cast<int>(Failure::AccessDenied) == 2 &&
      static_cast<int>(Failure::NoSpace) == 3 && static_cast<int>(Failure::IoError) == 4 &&
      static_cast<int>(Failure::IsFolder) == 5);
  int kind = PageFailureKind();
  error.failure = kind < 0 ? Failure::Other : static_cast<Failure>(kind);
  error.reason = TakeText(PageFailureReason());
  if (error.reason.empty()) error.reason = "the browser gave no reason";
  return false;
}

std::string FileName(const std::string& path) {
  std::size_t separator = path.rfind('/');
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

// The name of the output whose temporary file is created next: the file layer
// checks an output's real name just before it creates the output's temporary
// file, and on the page that temporary file is the stream for that name.
std::string& NextOutputName() {
  static std::string name;
  return name;
}

}  // namespace

bool OpenForReading(const std::string& path, Handle& handle, SysError& error) {
  int opened = PageOpenInput(FileName(path).c_str(), kFirstInputSliceSize, kInputSliceSize);
  if (opened < 0) return Fail(error);
  handle = opened;
  return true;
}

// Whether the page may write the file shows only when it opens the stream,
// while the run goes on. When it cannot (or a later write fails), the page
// stops the run and runs the program again with that failure as the answer
// here, so that the program reports it as it reports any other.
bool CheckReplaceable(const std::string& path, SysError& error) {
  NextOutputName() = FileName(path);
  if (PageRefusesOutput(NextOutputName().c_str())) return Fail(error);
  return true;
}

bool CreateNew(const std::string&, Handle& handle, SysError&) {
  handle = PageCreateOutput(NextOutputName().c_str(), kChunkSize);
  NextOutputName().clear();
  return true;
}

bool Read(Handle handle, char* buffer, std::size_t size, std::size_t& got, SysError& error) {
  int read = PageRead(static_cast<int>(handle), buffer,
                      static_cast<int>(std::min<std::size_t>(size, kChunkSize)));
  if (read < 0) return Fail(error);
  got = static_cast<std::size_t>(read);
  return true;
}

bool Write(Handle handle, const char* data, std::size_t size, std::size_t& written, SysError&) {
  PageWrite(static_cast<int>(handle), data, static_cast<int>(size));
  written = size;
  return true;
}

bool FlushToDisk(Handle handle, SysError&) {
  PageSend(static_cast<int>(handle));
  return true;
}

bool StartWriteBack(Handle, SysError&) {
  return true;
}

bool Close(Handle handle, SysError&) {
  PageClose(static_cast<int>(handle));
  return true;
}

// The page's stream takes the output's place when it is closed, after the run.
bool ReplaceFile(const std::string&, const std::string&, SysError&) {
  return true;
}

bool MoveToFreeName(const std::string&, const std::string&, SysError&) {
  return true;
}

bool ExchangeFiles(const std::string&, const std::string&, SysError& error) {
  error.failure = Failure::Unsupported;
  error.reason = "the page cannot swap two file names";
  return false;
}

// Only cleanup after a failed run removes files, and the page drops every
// output of a failed run itself.
bool RemoveFile(const std::string&, SysError&) {
  return true;
}

bool FlushFolder(const std::string&, SysError&) {
  return true;
}

bool LinkFile(const std::string&, const std::string&, SysError& error) {
  error.failure = Failure::Unsupported;
  error.reason = "the page cannot give a file two names";
  return false;
}

// The page keeps no files of its own beside the outputs, and locks the
// folder itself: nothing to list, lock or clear.
bool ListFolder(const std::string&, std::vector<std::string>& names, SysError&) {
  names.clear();
  return true;
}

bool LockFolder(const std::string&, Handle& handle, SysError&) {
  handle = 0;
  return true;
}

bool UnlockFolder(const std::string&, Handle, SysError&) {
  return true;
}

bool ProgramFolder(std::string& folder, SysError&) {
  folder = TakeText(PageFolder());
  return true;
}

}  // namespace rt::os
