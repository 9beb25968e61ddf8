// The upper-case DOS table: Windows-1251 bytes to code page 866 with every Cyrillic
// letter in capitals.  Paged report text and exchange batches are written through it.
//
//   1251 byte      866 byte
//   128..143   ->  192..207
//   144..159   ->  208..223
//   160..175   ->  176..191   (Ё 168 -> 184: not a letter to the table)
//   176..191   ->  240..255   (ё 184 -> 248, № 185 -> 249)
//   192..223   ->  128..159   (А..Я)
//   224..255   ->  128..159   (а..я to the same capitals)
// Bytes 0..127 are kept.
#pragma once

#include <string>
#include <string_view>

namespace strnum {

unsigned char toUpperDos(unsigned char b);
std::string toUpperDos(std::string_view cp1251);

}  // namespace strnum
