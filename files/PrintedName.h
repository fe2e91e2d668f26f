#pragma once
// Names and values echoed in messages: a huge one would bury the message.

#include <cstddef>
#include <string>

// `text` as it is, or, when it has more than head + tail characters, its
// first `head` and last `tail` characters with "..." between them. UTF-8
// sequences are kept whole and counted as one character each.
inline std::string shortened(const std::string& text, std::size_t head, std::size_t tail = 0) {
  const auto starts = [&text](std::size_t i) {
    return (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
  };
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) characters += starts(i);
  if (characters <= head + tail) return text;
  std::size_t end = 0;
  for (std::size_t seen = 0; end < text.size(); ++end)
    if (starts(end) && seen++ == head) break;
  std::size_t begin = text.size();
  for (std::size_t seen = 0; seen < tail && begin > 0;) seen += starts(--begin);
  return text.substr(0, end) + "..." + text.substr(begin);
}
