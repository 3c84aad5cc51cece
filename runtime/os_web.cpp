// The files of the web page, as far as a browser has them: the inputs the page
// hands the program's worker. The outputs are not files to the program
// (window/main_web.cpp streams them to the page), so nothing else of os.h is
// here.
//
// `Module.page.inputs` is what the worker's script gives the program, by file
// name: a File; its bytes in an ArrayBuffer, where the worker cannot read the
// File itself and the page read it; or {error, reason} for one the page could
// not get (the browser's DOMException).
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <string_view>

#include "runtime/error.h"
#include "runtime/os.h"
#include "runtime/paths.h"
#include "runtime/syscall.h"

// Each call that can fail returns -1 and leaves the DOMException's name and
// message in `Module.pageFailure`.
EM_JS(int, PageOpenInput, (const char* name, int first_slice_size, int slice_size), {
  const entry = Module.page.inputs[UTF8ToString(name)] || {error : "NotFoundError", reason : ""};
  if (entry.error) {
    Module.pageFailure = entry;
    return -1;
  }
  // Bytes the page read are all in hand, and none are read from a file.
  const inHand = entry instanceof ArrayBuffer;
  Module.pageInputs = Module.pageInputs || [null];
  Module.pageInputs.push({
    file : entry,
    at : 0,
    fileSize : inHand ? 0 : entry.size,
    chunk : new Uint8Array(inHand ? entry : 0),
    used : 0,
    sliceSize : first_slice_size,
    largestSlice : slice_size
  });
  return Module.pageInputs.length - 1;
});

EM_JS(int, PageRead, (int handle, char* buffer, int size), {
  const input = Module.pageInputs[handle];
  if (input.used == input.chunk.length && input.at < input.fileSize) {
    try {
      const slice = input.file.slice(input.at, input.at + input.sliceSize);
      input.chunk = new Uint8Array(new FileReaderSync().readAsArrayBuffer(slice));
    } catch (e) {
      Module.pageFailure = {error : e.name || "Error", reason : e.message || String(e)};
      return -1;
    }
    input.at += input.chunk.length;
    input.used = 0;
    input.sliceSize = Math.min(input.sliceSize * 2, input.largestSlice);
  }
  const got = Math.min(size, input.chunk.length - input.used);
  HEAPU8.set(input.chunk.subarray(input.used, input.used + got), buffer);
  input.used += got;
  return got;
});

EM_JS(void, PageCloseInput, (int handle), { Module.pageInputs[handle] = null; });

// Texts handed to the program are copies it frees.
EM_JS(char*, PageFailureName, (), { return allocateUTF8(Module.pageFailure.error); });
EM_JS(char*, PageFailureReason, (), { return allocateUTF8(Module.pageFailure.reason); });

namespace rt::os {
namespace {

// The most handed to the program by one read: few calls across to JavaScript.
constexpr int kLargestRead = 1 << 20;
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

// A browser says why a file call failed by the name of a DOMException.
Failure FailureNamed(std::string_view name) {
  if (name == "NotFoundError") return Failure::NotFound;
  if (name == "NotAllowedError" || name == "SecurityError" || name == "NoModificationAllowedError")
    return Failure::AccessDenied;
  if (name == "QuotaExceededError") return Failure::NoSpace;
  if (name == "NotReadableError") return Failure::IoError;
  if (name == "TypeMismatchError") return Failure::IsFolder;  // a folder where a file was asked for
  return Failure::Other;
}

SysError BrowserFailure(std::string_view name, std::string reason) {
  if (reason.empty()) reason = "the browser gave no reason";
  return {FailureNamed(name), std::move(reason)};
}

bool Fail(SysError& error) {
  error = BrowserFailure(TakeText(PageFailureName()), TakeText(PageFailureReason()));
  return false;
}

}  // namespace

// The page hands over its inputs by name: the folder in `path` is for the
// messages that name it.
bool OpenForReading(const std::string& path, Handle& handle, SysError& error) {
  int opened = PageOpenInput(FileNameOf(path).c_str(), kFirstInputSliceSize, kInputSliceSize);
  if (opened < 0) return Fail(error);
  handle = opened;
  return true;
}

// What the browser hands the page is a file, whatever the user picked.
bool CheckNotSpecial(const std::string&, SysError&) {
  return true;
}

bool Read(Handle handle, char* buffer, std::size_t size, std::size_t& got, SysError& error) {
  int read = PageRead(static_cast<int>(handle), buffer,
                      static_cast<int>(std::min<std::size_t>(size, kLargestRead)));
  if (read < 0) return Fail(error);
  got = static_cast<std::size_t>(read);
  return true;
}

bool Close(Handle handle, SysError&) {
  PageCloseInput(static_cast<int>(handle));
  return true;
}

}  // namespace rt::os

// The run-time error's message for the browser's failure `name` (a
// DOMException's) on the file `path`, in the same words as a failure the
// program meets itself: the page asks for it when the browser refuses to save
// an output. The text stays valid until the next call.
extern "C" EMSCRIPTEN_KEEPALIVE const char* PageFileFailureMessage(const char* path,
                                                                   const char* name,
                                                                   const char* reason) {
  static std::string message;
  try {
    rt::sys::Raise(rt::os::BrowserFailure(name, reason), path);
  } catch (const rt::RuntimeError& error) {
    message = error.Message();
  }
  return message.c_str();
}
