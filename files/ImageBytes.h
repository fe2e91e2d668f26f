#pragma once
// Images decoded from bytes already read and judged (files/UntrustedFile.h),
// never from a path that may since lead elsewhere.

#include <string>

class SbImage;

// Decodes bytes with Coin's image reader into image; false when they are no
// image it reads. `name` gives the file-name extension that some formats
// (Targa) are told by.
bool decodeImage(const std::string& bytes, const char* name, SbImage& image);

// The private folder (mode 0700, in TMPDIR or /tmp) where an image is
// decoded, made before a reader child starts so that it decodes there too.
// A child killed while decoding leaves its copy: the folder is removed with
// what it holds once the child has ended, and after each decode here.
void prepareImageScratch();
void clearImageScratch();

// Empty when image has pixels and no side past limit; otherwise why not.
std::string imageProblem(const SbImage& image, int limit);

// Reads the image file at path once, has a reader child decode and check
// those bytes (decodeImage, imageProblem) unless this is one already, and
// decodes the same bytes into image. Empty, or why not.
std::string readImageFile(const char* path, int limit, SbImage& image);
