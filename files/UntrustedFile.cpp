#include "files/UntrustedFile.h"

#include "files/System.h"

#include <Inventor/errors/SoDebugError.h>
#include <Inventor/errors/SoReadError.h>
#include <Inventor/fields/SoSFString.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <tuple>
#include <utility>

namespace {

constexpr const char* kNoTimeLeft = "no time is left to read it";

// What is left of kReadBudgetSeconds, in microseconds.
int64_t budgetLeft = int64_t{kReadBudgetSeconds} * 1000000;

// The child's first Coin error, as one line.
std::string firstError;
bool readerChild = false;

void keepFirstError(const SoError* error, void*) {
  if (!firstError.empty()) return;
  const char* text = error->getDebugString().getString();
  const char* end = std::strchr(text, '\n');
  firstError.assign(text, end ? end - text : std::strlen(text));
}

void keepDebugError(const SoError* error, void* data) {
  // Warnings (an unknown field, say) leave the file readable.
  if (static_cast<const SoDebugError*>(error)->getSeverity() == SoDebugError::ERROR)
    keepFirstError(error, data);
}

std::map<std::string, Reader>& readers() {
  static std::map<std::string, Reader> known;
  return known;
}

}  // namespace

namespace files {

Reader findReader(const std::string& name) {
  const auto found = readers().find(name);
  return found == readers().end() ? nullptr : found->second;
}

std::string childAnswer(Reader reader, const std::string& bytes, const std::string& argument) {
  readerChild = true;
  SoReadError::setHandlerCallback(keepFirstError, nullptr);
  SoDebugError::setHandlerCallback(keepDebugError, nullptr);
  std::string answer;
  try {
    answer = reader(bytes, argument);
  } catch (...) {
    answer = "out of memory";
  }
  if (answer.empty()) answer = firstError;
  if (answer.size() > kAnswerBytes) answer.resize(kAnswerBytes);
  return answer;
}

}  // namespace files

bool registerReader(const char* name, Reader reader) {
  return readers().emplace(name, reader).second;
}

std::string readInChild(const char* name, const std::string& bytes, const std::string& argument) {
  const Reader reader = files::findReader(name);
  if (reader == nullptr) return files::kNoReader;
  const int64_t limit = std::min(int64_t{kReadSeconds} * 1000000, budgetLeft);
  if (limit <= 0) return kNoTimeLeft;
  const int64_t start = files::monotonicMicroseconds();
  std::string problem = files::runChild(name, reader, bytes, argument, limit);
  budgetLeft -= files::monotonicMicroseconds() - start;
  // Cut short by the budget, the file may well have ended given its time.
  if (problem == files::kEndless && limit < int64_t{kReadSeconds} * 1000000) problem = kNoTimeLeft;
  return problem;
}

const std::string& childFirstError() { return firstError; }

bool inReaderChild() { return readerChild; }

std::string readRegularFile(const char* path, std::string& bytes, FileId* id) {
  bytes.clear();
  files::RegularFile file;
  std::string problem = file.open(path);
  if (!problem.empty()) return problem;
  if (id != nullptr) *id = file.id();
  return file.readAll(bytes);
}

std::FILE* openRegularFile(const char* path, std::string* problem) {
  files::RegularFile file;
  std::string why = file.open(path);
  std::FILE* stream = why.empty() ? file.release(why) : nullptr;
  if (problem != nullptr) *problem = why;
  return stream;
}

std::string regularFileProblem(const char* path) {
  std::string problem;
  if (std::FILE* file = openRegularFile(path, &problem)) std::fclose(file);
  return problem;
}

bool fileExists(const char* path) {
  FileId id;
  return files::identify(path, id);
}

std::string printableName(const char* name) {
  std::string s(name);
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  // A path's start and its file name tell which file it is.
  return shortened(s, kShownNameHalf, kShownNameHalf);
}

std::string judgeFile(const char* kind, const char* leftOut, const char* path, const char* reader,
                      const std::string& argument, JudgedFile* file) {
  // One file under many spellings ("x", "./x", "d//x", links) is one file:
  // keyed by device and inode, it is read once. A name that does not lead
  // to a file at all is keyed by its spelling.
  using Key = std::tuple<std::string, uint64_t, uint64_t, std::string>;
  static std::map<Key, std::string> verdicts;
  JudgedFile local;
  JudgedFile& judged = file != nullptr ? *file : local;
  judged = JudgedFile();
  files::RegularFile regular;
  std::string problem = regular.open(path);
  if (problem.empty()) {
    judged.id = regular.id();
    judged.identified = true;
  } else {
    judged.identified = files::identify(path, judged.id);
  }
  const Key key = judged.identified ? Key(kind, judged.id.device, judged.id.inode, std::string())
                                    : Key(kind, 0, 0, std::string(path));
  auto found = verdicts.find(key);
  if (found != verdicts.end()) {
    judged.cached = true;
    return found->second;
  }
  if (problem.empty()) problem = regular.readAll(judged.bytes);
  if (problem.empty()) problem = readInChild(reader, judged.bytes, argument);
  if (!problem.empty()) {
    judged.bytes.clear();
    std::fprintf(stderr, "%s %s %s: %s\n", kind, printableName(path).c_str(), leftOut,
                 problem.c_str());
  }
  verdicts.emplace(key, problem);
  return problem;
}

void setNameUnread(SoSFString& field, const char* name) {
  const SbBool notify = field.enableNotify(FALSE);
  field.setValue(name);
  field.enableNotify(notify);
}
