#include "engine/text_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <initializer_list>

#include "engine/line_model.h"
#include "runtime/error.h"

namespace engine {

TextReader::TextReader(ByteSource source, std::size_t block_size)
    : source_(std::move(source)), block_size_(block_size), buffer_(block_size + kReadAhead) {
  while (end_ < 4 && !at_end_) ReadMore();
  const auto* bytes = reinterpret_cast<const unsigned char*>(buffer_.Data());
  auto starts_with = [&](std::initializer_list<unsigned char> mark) {
    return end_ >= mark.size() && std::equal(mark.begin(), mark.end(), bytes);
  };
  // UTF-32's marks first: the little-endian one starts as UTF-16's does.
  const char* encoding = starts_with({0xFF, 0xFE, 0, 0}) || starts_with({0, 0, 0xFE, 0xFF})
                             ? "UTF-32"
                         : starts_with({0xFF, 0xFE}) || starts_with({0xFE, 0xFF}) ? "UTF-16"
                                                                                  : nullptr;
  if (encoding) {
    throw rt::RuntimeError(rt::ErrorNumber::BadFileMode,
                           "Bad file mode: " + source_.name + " is saved as " + encoding +
                               " text, which this program cannot read. "
                               "Save it as UTF-8 and run the program again.");
  }
  if (end_ >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) begin_ = 3;
}

void TextReader::ReadMore() {
  if (at_end_) return;
  if (begin_ > 0) {
    std::memmove(buffer_.Data(), buffer_.Data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  const std::size_t capacity = buffer_.Capacity() - kReadAhead;
  if (end_ == capacity) buffer_.Reserve(buffer_.Capacity() + 1);
  const std::size_t room = buffer_.Capacity() - kReadAhead - end_;
  const std::size_t got =
      source_.read(buffer_.Data() + end_, room < block_size_ ? room : block_size_);
  if (got == 0) at_end_ = true;
  end_ += got;
  // Line ends past the text: a scan that looked beyond it would show at once.
  std::memset(buffer_.Data() + end_, '\n', kReadAhead);
}

bool TextReader::NextLine(std::string_view& line) {
  std::size_t searched = 0;  // bytes of the text in hand without a line end
  for (;;) {
    const char* text = buffer_.Data() + begin_;
    const std::size_t size = end_ - begin_;
    const std::size_t judged = JudgedBytes(text, size, at_end_);
    for (std::size_t block = searched; block < judged; block += kBlock) {
      const BlockMarks marks = MarkBlock(text, size, judged, block);
      if (marks.line_ends == 0) continue;
      const int bit = std::countr_zero(marks.line_ends);
      const std::size_t at = block + static_cast<std::size_t>(bit);
      line = std::string_view(text, at);
      begin_ += at + 1 + (marks.crlf >> bit & 1);
      return true;
    }
    if (at_end_) {
      if (size == 0) return false;
      line = std::string_view(text, size);
      begin_ = end_;
      return true;
    }
    searched = judged / kBlock * kBlock;
    ReadMore();
  }
}

}  // namespace engine
