#pragma once
// The aircraft list file, PlaneList.txt: entries of four white-space
// separated tokens, "name size scale integer". Tokens split exactly as the
// C library's "%s", "%f" and "%d" input conversions split them, but the
// reader is our own and bounded: a name longer than kMaxNameLength, a
// number that reads as infinite or NaN, a size or scale too large to fly
// (see isFlyable), and any byte junk give a format error instead of
// overflowing or crashing.

#include <cstdint>
#include <cstdio>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

class SoGroup;

constexpr std::size_t kMaxNameLength = 1019;

struct PlaneListEntry {
  std::string name;  // may hold NUL bytes; the model node sees it up to the first
  float size = 0;
  float scale = 0;
  int32_t number = 0;  // read and validated only; saturated when out of range
};

// Whether the flight update can carry an aircraft of this size and scale in
// single precision. The up axis is the cross product of two axes of length
// 2 * size, and taking its length squares that again: 16 * size^4 must stay
// finite, so |size| < 2^31. The orientation rows are scale times unit axes,
// and inverting them takes their determinant, scale^3: |scale| < 2^42.
bool isFlyable(float size, float scale);

enum class PlaneListStatus { Ok, CannotOpen, Empty, BadFormat };

// The console message for a failed load (no line break).
const char* planeListMessage(PlaneListStatus status);

// A byte stream with one byte of look-ahead, like a FILE* with ungetc.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual int peek() = 0;   // next byte (0..255) or EOF, not consumed
  virtual void bump() = 0;  // consumes the peeked byte
};

// The three conversions, one token each. Each skips leading and trailing
// white space as "%s ", "%f ", "%d " do.
class PlaneListScanner {
 public:
  enum class Result { Ok, End, Bad };
  explicit PlaneListScanner(ByteSource& source) : in_(source) {}
  // End: nothing but white space was left. Bad: longer than kMaxNameLength.
  Result scanName(std::string& name);
  // Bad: the token does not form a finite number of its kind; End: no token.
  Result scanFloat(float& value);
  Result scanInt(int32_t& value);

 private:
  void skipSpace();
  ByteSource& in_;
};

// Reads entries one at a time, so a caller can act on each before the
// next is read (and before a later error is found).
class PlaneListReader {
 public:
  enum class Step { Entry, End, Empty, BadFormat };
  explicit PlaneListReader(std::unique_ptr<ByteSource> source);
  Step next(PlaneListEntry& entry);

 private:
  std::unique_ptr<ByteSource> source_;
  PlaneListScanner scanner_;
  bool started_ = false;
};

std::unique_ptr<ByteSource> makeByteSource(const char* data, std::size_t size);
std::unique_ptr<ByteSource> makeByteSource(std::istream& in);
std::unique_ptr<ByteSource> makeByteSource(std::FILE* file);

struct PlaneListParse {
  std::vector<PlaneListEntry> entries;  // every entry before the first error
  PlaneListStatus status = PlaneListStatus::Ok;
};

PlaneListParse parsePlaneList(const char* data, std::size_t size);
PlaneListParse parsePlaneList(std::istream& in);
// Opens and reads a file; CannotOpen when it cannot be opened or is not a
// regular file (a directory, a FIFO, a device).
PlaneListParse parsePlaneListFile(const char* path);

// Prints the message and calls exit(1) when PlaneList.txt cannot be
// opened, so a start-up without a list says so before judging other files.
void requirePlaneListFile();

// Reads PlaneList.txt from the working directory; for each entry builds a
// Plane, adds its subgraph to `root` and appends it to the fleet. On any
// failure prints the message to stdout and calls exit(1).
void loadPlaneList(SoGroup* root);
