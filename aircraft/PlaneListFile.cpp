#include "aircraft/PlaneListFile.h"

#include "aircraft/Plane.h"
#include "aircraft/PlaneList.h"
#include "files/UntrustedFile.h"

#include <Inventor/nodes/SoGroup.h>
#include <Inventor/nodes/SoSeparator.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <istream>
#include <streambuf>

namespace {

class BufferSource : public ByteSource {
 public:
  BufferSource(const char* data, std::size_t size) : data_(data), size_(size) {}
  int peek() override { return pos_ < size_ ? static_cast<unsigned char>(data_[pos_]) : EOF; }
  void bump() override {
    if (pos_ < size_) ++pos_;
  }

 private:
  const char* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

class StreamSource : public ByteSource {
 public:
  explicit StreamSource(std::istream& in) : buf_(in.rdbuf()) {}
  int peek() override {
    if (buf_ == nullptr) return EOF;
    auto c = buf_->sgetc();
    return std::char_traits<char>::eq_int_type(c, std::char_traits<char>::eof())
               ? EOF
               : static_cast<unsigned char>(std::char_traits<char>::to_char_type(c));
  }
  void bump() override {
    if (buf_ != nullptr) buf_->sbumpc();
  }

 private:
  std::streambuf* buf_;
};

class FileSource : public ByteSource {
 public:
  explicit FileSource(std::FILE* file) : file_(file) {}
  int peek() override {
    if (!hasPeek_) {
      peeked_ = std::getc(file_);
      hasPeek_ = true;
    }
    return peeked_;
  }
  void bump() override {
    if (!hasPeek_) peek();
    hasPeek_ = false;
  }

 private:
  std::FILE* file_;
  int peeked_ = EOF;
  bool hasPeek_ = false;
};

// White space as the C locale's isspace sees it.
bool isSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isDigit(int c) { return c >= '0' && c <= '9'; }
bool isHexDigit(int c) { return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
int lower(int c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

}  // namespace

const char* planeListMessage(PlaneListStatus status) {
  switch (status) {
    case PlaneListStatus::CannotOpen:
      // Spelled as the program has always printed it, which scripts may match.
      return "Cann't open PlaneList file! Exiting...";
    case PlaneListStatus::Empty:
      return "PlaneList file empty! Exiting...";
    case PlaneListStatus::BadFormat:
      return "PlaneList file not in right format! Exiting...";
    case PlaneListStatus::Ok:
      break;
  }
  return "";
}

bool isFlyable(float size, float scale) {
  return std::fabs(size) < 0x1p31f && std::fabs(scale) < 0x1p42f;
}

void PlaneListScanner::skipSpace() {
  while (isSpace(in_.peek())) in_.bump();
}

PlaneListScanner::Result PlaneListScanner::scanName(std::string& name) {
  name.clear();
  skipSpace();
  if (in_.peek() == EOF) return Result::End;
  for (int c = in_.peek(); c != EOF && !isSpace(c); c = in_.peek()) {
    // The old fixed buffer held 1019 characters; refuse rather than overflow.
    if (name.size() == kMaxNameLength) return Result::Bad;
    name.push_back(static_cast<char>(c));
    in_.bump();
  }
  skipSpace();
  return Result::Ok;
}

// Consumes the characters that "%f" would consume (sign, digits, one
// point, exponent; "0x" switches to hexadecimal digits and a 'p' exponent)
// and converts the longest valid prefix. Infinity and NaN spellings are
// refused outright: such a value is no usable size or scale.
//
// A token may be any length, so it is not kept whole: only what decides
// the value is. That is the first digits from the first non-zero one (a
// float's rounding boundaries have far fewer significant digits than
// kKeptDigits), a 1 standing in for any non-zero digit dropped after them,
// the position of the point as a count, and the exponent, saturated where
// any value is infinite or zero anyway.
PlaneListScanner::Result PlaneListScanner::scanFloat(float& value) {
  constexpr std::size_t kKeptDigits = 800;
  constexpr int64_t kCountLimit = int64_t{1} << 40;
  constexpr int64_t kExponentLimit = 99999;

  skipSpace();
  int c = in_.peek();
  if (c == EOF) return Result::End;
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    in_.bump();
    c = in_.peek();
  }
  if (lower(c) == 'i' || lower(c) == 'n') return Result::Bad;

  bool hex = false, gotDigit = false, gotExp = false, gotDot = false, afterExpChar = false;
  if (c == '0') {
    in_.bump();
    c = in_.peek();
    if (lower(c) == 'x') {
      in_.bump();
      c = in_.peek();
      hex = true;
    } else {
      gotDigit = true;
    }
  }
  std::string digits;    // significant digits, at most kKeptDigits
  bool dropped = false;  // a non-zero digit beyond them
  int64_t point = 0;     // value = 0.digits * base^point * 2-or-10^exponent
  int64_t exponent = 0;
  bool exponentNegative = false;
  const int expChar = hex ? 'p' : 'e';
  for (;; c = in_.peek()) {
    const bool wasAfterExpChar = afterExpChar;
    afterExpChar = false;
    if (gotExp && isDigit(c)) {
      exponent = std::min<int64_t>(kCountLimit, exponent * 10 + (c - '0'));
    } else if (isDigit(c) || (hex && !gotExp && isHexDigit(c))) {
      gotDigit = true;
      if (digits.empty() && c == '0') {
        if (gotDot) point = std::max(-kCountLimit, point - 1);
      } else {
        if (digits.size() < kKeptDigits)
          digits.push_back(static_cast<char>(c));
        else if (c != '0')
          dropped = true;
        if (!gotDot) point = std::min(kCountLimit, point + 1);
      }
    } else if (wasAfterExpChar && (c == '+' || c == '-')) {
      exponentNegative = c == '-';
    } else if (gotDigit && !gotExp && lower(c) == expChar) {
      gotExp = gotDot = afterExpChar = true;
    } else if (!gotDot && c == '.') {
      gotDot = true;
    } else {
      break;
    }
    in_.bump();
  }
  // Nothing that converts: no digit at all, or a bare "0x" (after any
  // sign). "0x." still reads as the 0 before the x. A dangling exponent
  // ("1e", "1e+") is consumed and ignored, as the C library does.
  if (!gotDigit && !(hex && gotDot)) return Result::Bad;
  if (digits.empty()) {
    value = negative ? -0.0f : 0.0f;
    skipSpace();
    return Result::Ok;
  }
  if (dropped) digits.push_back('1');
  const int64_t scaled = (exponentNegative ? -exponent : exponent) + (hex ? 4 * point : point);
  const int64_t e = std::max(-kExponentLimit, std::min(kExponentLimit, scaled));
  const std::string text = std::string(negative ? "-" : "") + (hex ? "0x0." : "0.") + digits +
                           (hex ? "p" : "e") + std::to_string(e);
  char* end = nullptr;
  const float v = std::strtof(text.c_str(), &end);
  if (end != text.c_str() + text.size() || !std::isfinite(v)) return Result::Bad;
  value = v;
  skipSpace();
  return Result::Ok;
}

PlaneListScanner::Result PlaneListScanner::scanInt(int32_t& value) {
  skipSpace();
  int c = in_.peek();
  if (c == EOF) return Result::End;
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    in_.bump();
    c = in_.peek();
  }
  if (!isDigit(c)) return Result::Bad;
  // Accumulate toward the sign's limit and saturate: any length is
  // accepted, none overflows.
  int64_t magnitude = 0;
  const int64_t limit = negative ? -int64_t{INT32_MIN} : INT32_MAX;
  for (; isDigit(c); c = in_.peek()) {
    if (magnitude < limit) magnitude = std::min(limit, magnitude * 10 + (c - '0'));
    in_.bump();
  }
  value = static_cast<int32_t>(negative ? -magnitude : magnitude);
  skipSpace();
  return Result::Ok;
}

PlaneListReader::PlaneListReader(std::unique_ptr<ByteSource> source)
    : source_(std::move(source)), scanner_(*source_) {}

PlaneListReader::Step PlaneListReader::next(PlaneListEntry& entry) {
  using R = PlaneListScanner::Result;
  const R name = scanner_.scanName(entry.name);
  const bool first = !started_;
  started_ = true;
  if (name == R::End) return first ? Step::Empty : Step::End;
  if (name == R::Bad) return Step::BadFormat;
  if (scanner_.scanFloat(entry.size) != R::Ok || scanner_.scanFloat(entry.scale) != R::Ok ||
      scanner_.scanInt(entry.number) != R::Ok || !isFlyable(entry.size, entry.scale))
    return Step::BadFormat;
  return Step::Entry;
}

std::unique_ptr<ByteSource> makeByteSource(const char* data, std::size_t size) {
  return std::make_unique<BufferSource>(data, size);
}
std::unique_ptr<ByteSource> makeByteSource(std::istream& in) {
  return std::make_unique<StreamSource>(in);
}
std::unique_ptr<ByteSource> makeByteSource(std::FILE* file) {
  return std::make_unique<FileSource>(file);
}

namespace {

// Hands each entry to onEntry as soon as it is read, so a caller can act on
// it before a later error is found; returns how the list ended.
template <class OnEntry>
PlaneListStatus readEntries(std::unique_ptr<ByteSource> source, OnEntry onEntry) {
  PlaneListReader reader(std::move(source));
  PlaneListEntry entry;
  for (;;) {
    switch (reader.next(entry)) {
      case PlaneListReader::Step::Entry:
        onEntry(entry);
        continue;
      case PlaneListReader::Step::End:
        return PlaneListStatus::Ok;
      case PlaneListReader::Step::Empty:
        return PlaneListStatus::Empty;
      case PlaneListReader::Step::BadFormat:
        return PlaneListStatus::BadFormat;
    }
  }
}

PlaneListParse readAll(std::unique_ptr<ByteSource> source) {
  PlaneListParse result;
  result.status = readEntries(
      std::move(source), [&](const PlaneListEntry& entry) { result.entries.push_back(entry); });
  return result;
}

[[noreturn]] void fail(PlaneListStatus status) {
  std::fputs(planeListMessage(status), stdout);
  std::fflush(stdout);
  std::exit(1);
}

}  // namespace

PlaneListParse parsePlaneList(const char* data, std::size_t size) {
  return readAll(makeByteSource(data, size));
}

PlaneListParse parsePlaneList(std::istream& in) { return readAll(makeByteSource(in)); }

PlaneListParse parsePlaneListFile(const char* path) {
  std::FILE* file = openRegularFile(path);
  if (file == nullptr) {
    PlaneListParse result;
    result.status = PlaneListStatus::CannotOpen;
    return result;
  }
  PlaneListParse result = readAll(makeByteSource(file));
  std::fclose(file);
  return result;
}

void requirePlaneListFile() {
  std::FILE* file = openRegularFile("PlaneList.txt");
  if (file == nullptr) fail(PlaneListStatus::CannotOpen);
  std::fclose(file);
}

void loadPlaneList(SoGroup* root) {
  // Only a regular file is a list: a FIFO or a directory named so is one
  // that cannot be opened.
  std::FILE* file = openRegularFile("PlaneList.txt");
  if (file == nullptr) fail(PlaneListStatus::CannotOpen);
  // fleet.append walks to the tail for every aircraft, which makes a long
  // list quadratic. The loader keeps the tail and links after it itself:
  // the same list and selection as appending each, in constant time.
  PlaneListNode* tail = fleet.head;
  while (tail != nullptr && tail->next != nullptr) tail = tail->next;
  // Each addChild would notify the root's auditors; they hear of the whole
  // fleet once, when loading ends.
  const SbBool notify = root->enableNotify(FALSE);
  // Each aircraft joins the scene before the next entry is read, so a later
  // format error leaves the earlier ones in place.
  const PlaneListStatus status =
      readEntries(makeByteSource(file), [&](const PlaneListEntry& entry) {
        Plane* plane = new Plane;
        root->addChild(plane->build(entry.size, entry.scale, entry.name.c_str()));
        if (tail == nullptr) {
          fleet.append(plane);
          tail = fleet.head;
        } else {
          tail->next = new PlaneListNode;
          tail = tail->next;
          tail->plane = plane;
        }
      });
  root->enableNotify(notify);
  if (notify) root->touch();
  if (status != PlaneListStatus::Ok) fail(status);
  std::fclose(file);
}
