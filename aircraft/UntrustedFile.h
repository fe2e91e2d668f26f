#pragma once
// Model and image files are untrusted: a file that is no regular file can
// block its reader on open (a FIFO) or feed it forever (a device); a crafted
// one can make Coin's reader recurse without end, loop, or allocate without
// bound. So each file is first tried in a child process under limits on
// time, memory and stack; only what the child read cleanly is read for the
// scene. A file left out is reported in one line on stderr.

#include <functional>
#include <string>

class SoFile;
class SoSFString;

// Empty when path names a regular file that can be opened for reading;
// otherwise why not. Never blocks.
std::string regularFileProblem(const char* path);

// Runs read in a forked child that touches nothing but what read does and
// ends with _exit. Empty when read returned empty; otherwise its answer, or
// what became of the child (killed after kReadSeconds, out of memory,
// crashed). Coin's error messages in the child are kept from stderr; the
// first one is the answer when read had nothing to say.
constexpr unsigned kReadSeconds = 20;
std::string readInChild(const std::function<std::string()>& read);

// Why the file at `path` cannot be used, or empty: it must be a regular file
// that `read` accepts in a child (readInChild). Each path is judged once per
// `kind` of reader; the first judgement that fails prints
// "KIND PATH LEFTOUT: why" on stderr, so every bad file is reported once.
std::string judgeFile(const char* kind, const char* leftOut, const char* path,
                      const std::function<std::string()>& read);

// Sets a file-name field without letting its node read the file: the name
// stays as spelled, the file is left out.
void setNameUnread(SoSFString& field, const char* name);

// The side of the largest texture a model may hold (GL_MAX_TEXTURE_SIZE of
// the program's context); kSafeTextureSize until set, or when size <= 0.
void setModelTextureLimit(int size);
int modelTextureLimit();

// Sets the file node's name to `name` as given. The node reads the model
// only when it is a regular file, reads in a child and passes
// checkModelGraph; otherwise the node stays empty and one line on stderr
// says why. Each distinct name is tried once per process.
void loadModelFile(SoFile* node, const char* name);

// A name as it may be printed on one line: control bytes become '?'.
std::string printableName(const char* name);
