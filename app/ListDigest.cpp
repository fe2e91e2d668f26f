#include "app/ListDigest.h"

#include "files/UntrustedFile.h"
#include "record/Recording.h"

#include <cstdio>

bool readListDigest(ListDigest& digest) {
  std::FILE* file = openRegularFile("PlaneList.txt");
  if (file == nullptr) return false;
  digest = ListDigest();
  char buffer[1 << 16];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    digest.crc = rec::crc32(buffer, n, digest.crc);
    digest.size += n;
  }
  const bool ok = !std::ferror(file);
  std::fclose(file);
  return ok;
}
