#pragma once
// Aircraft models are untrusted files (files/UntrustedFile.h): each is read
// for the scene only after a child has read it and checkModelGraph passed.

class SoFile;

// The side of the largest texture a model may hold (GL_MAX_TEXTURE_SIZE of
// the program's context); kSafeTextureSize until set, or when size <= 0.
void setModelTextureLimit(int size);
int modelTextureLimit();

// Sets the file node's name to `name` as given. The node reads the model
// only when it is a regular file, reads in a child and passes
// checkModelGraph; otherwise the node stays empty and one line on stderr
// says why. Each distinct file is tried and read once per process; every
// node naming it holds the same children.
void loadModelFile(SoFile* node, const char* name);
