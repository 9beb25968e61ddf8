// Text encodings at the edges of the core.
//
// Core strings (std::string) hold Windows-1251 bytes, so "the first 25 characters" of a
// name is its first 25 bytes.  Conversions happen only where text enters or leaves:
//   - tables in code page 866 <-> 1251 (data/),
//   - 1251 <-> UTF-8 for file-system paths, terminals and UTF-8 text files,
//   - 1251 <-> UTF-16 at the window boundary.
// A character that the target code page lacks never becomes another letter: the strict
// conversions report the position of the first such character and convert nothing.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace strnum {

enum class CodePage { Cp866, Cp1251 };

// Strict conversions: on success return the converted text; when a character has no
// place in the target (or the UTF-8 input is malformed) return nullopt and, if given,
// store the byte offset of the offending input in *badOffset.
std::optional<std::string> cp866To1251(std::string_view in, std::size_t* badOffset = nullptr);
std::optional<std::string> cp1251To866(std::string_view in, std::size_t* badOffset = nullptr);
std::optional<std::string> utf8To1251(std::string_view in, std::size_t* badOffset = nullptr);
std::optional<std::string> utf16To1251(std::u16string_view in, std::size_t* badOffset = nullptr);
// For showing text that came from elsewhere (SQLite's results): a character 1251 lacks,
// or a malformed byte, becomes '?'.
std::string utf8To1251Lossy(std::string_view in);

// For reading stored text that must never stop a walk: a character 1251 lacks (box
// drawing of code page 866) becomes '?'.  Used only for display and comparison; the
// stored bytes themselves are never rewritten from such a text.
std::string cp866To1251Lossy(std::string_view in);
// The same into a buffer that is kept between calls (no allocation once it is large enough).
void cp866To1251LossyInto(std::string_view in, std::string& out);
// True when the lossy reading gives this byte a character no other byte gets: false for the
// bytes 1251 lacks (they all read as '?') and for '?' itself.
bool cp866ReadsDistinctly(unsigned char b);
// 1251 -> 866 into out (in.size() bytes); false when a character has no byte in 866
// (out then holds nothing of use).
bool cp1251To866Into(std::string_view in, char* out);

// Table text in the given code page -> 1251, and back (strict, as above).
std::optional<std::string> toCp1251(CodePage from, std::string_view in, std::size_t* badOffset = nullptr);
std::optional<std::string> fromCp1251(CodePage to, std::string_view in, std::size_t* badOffset = nullptr);

// 1251 always has a Unicode form.
std::string cp1251ToUtf8(std::string_view in);
// The same, appended to out.
void appendCp1251AsUtf8(std::string_view in, std::string& out);
std::u16string cp1251ToUtf16(std::string_view in);

// File-system paths are UTF-8 (Windows: UTF-16) on the machine and 1251 in the core.
// A path with a character 1251 lacks shows '?' for it: such a path only ever appears in
// messages, never reopened from its 1251 form.
std::string pathTo1251(const std::filesystem::path& path);
std::filesystem::path pathFrom1251(std::string_view cp1251);
// Paths as UTF-8 (command lines, terminals, JSON).  Always through these: on Windows a
// path made from a plain std::string takes its bytes as single characters, not as UTF-8.
std::string pathToUtf8(const std::filesystem::path& path);
std::filesystem::path pathFromUtf8(std::string_view utf8);

// Code point of a 1251 byte.
char16_t cp1251CodePoint(unsigned char b);

}  // namespace strnum
