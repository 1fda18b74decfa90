// Free functions on 8-bit strings, numbers and byte streams shared by the
// network stack. None keeps state or reports errors: every input has a
// defined result. Positions are 1-based; 0 (or -1 where stated) means
// "not found". Searches are case-sensitive.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace movrek {

// Milliseconds from a monotonic clock, cut to 32 bits: the value wraps to 0
// after 4294967295, so only differences between two readings mean anything.
std::uint32_t TickNow();

// Elapsed milliseconds from oldTick to newTick. For newTick below oldTick the
// result is the wrap-around distance when newTick < 2^31 <= oldTick, and the
// plain difference oldTick - newTick otherwise.
std::uint32_t TickSpan(std::uint32_t oldTick, std::uint32_t newTick);

// Big-endian (network order) packing, one character per byte.
std::string PackWord16(std::uint16_t value);
// Reads the bytes at the 1-based index and index + 1 as high and low byte; a
// position outside the string counts as a 0 byte.
std::uint16_t UnpackWord16(const std::string& value, std::size_t index);
std::string PackLong32(std::uint32_t value);
// The value with its four bytes reversed.
std::uint32_t SwapLong32(std::uint32_t value);

// Remove leading/trailing blanks; a blank is the character 32 only.
std::string TrimBlanksLeft(const std::string& value);
std::string TrimBlanksRight(const std::string& value);
std::string TrimBlanks(const std::string& value);

// Text before / after the first occurrence of delimiter; the whole value
// when it does not occur (an empty delimiter never occurs).
std::string TextBefore(const std::string& value, const std::string& delimiter);
std::string TextAfter(const std::string& value, const std::string& delimiter);

// Returns TextBefore(value, delimiter) and leaves TextAfter(value, delimiter)
// in value, or the empty text when the delimiter does not occur, so repeated
// calls walk a delimited list from the front.
std::string TakeFieldRaw(std::string& value, const std::string& delimiter);
// TakeFieldRaw, then both the field and the remaining value are trimmed of
// blanks.
std::string TakeField(std::string& value, const std::string& delimiter);

// Splits a URL into its parts and returns the request target ("/" + path
// part, query included). Defaults: protocol "http", port "80" ("443" for
// https, "21" for ftp, compared case-insensitively), host "localhost".
// The host part ends at the first "/", "?" or "#"; credentials end at the
// last "@" before that. Nothing is decoded, lower-cased or validated.
std::string SplitUrl(const std::string& url, std::string& protocol, std::string& user,
                     std::string& password, std::string& host, std::string& port, std::string& path,
                     std::string& parameters);
// SplitUrl without the default host: a URL that names none leaves host empty.
std::string SplitUrlAsWritten(const std::string& url, std::string& protocol, std::string& user,
                              std::string& password, std::string& host, std::string& port,
                              std::string& path, std::string& parameters);

// Decodes every "%" followed by two hexadecimal digits (RFC 3986 section
// 2.1); any other "%" stays as it is.
std::string PercentDecode(const std::string& value);

// Replaces every non-overlapping occurrence of search, scanning left to
// right; inserted text is never searched again. An empty value or search
// returns value unchanged.
std::string ReplaceAllText(const std::string& value, const std::string& search,
                           const std::string& replacement);

// 1-based position of the first CR or LF, or -1 (terminator then empty).
// terminator receives CR LF, LF CR, or the single character found.
int FindLineBreak(const std::string& value, std::string& terminator);

// The address count bytes after p.
const char* AdvancePointer(const void* p, std::size_t count);
char* AdvancePointer(void* p, std::size_t count);

// A byte stream is a std::string with a separate 0-based current position.
// Reads up to count bytes from position on and advances position past them;
// the result is shorter than count at the stream's end.
std::string ReadTextFromStream(const std::string& stream, std::size_t& position, std::size_t count);
// Writes all bytes of text at position (overwriting, and growing the stream
// where it reaches past the end) and advances position past them. A position
// beyond the end is treated as the end.
void WriteTextToStream(std::string& stream, std::size_t& position, const std::string& text);
// Writes text at the end of the stream (the stream positioned at its end).
void WriteTextToStream(std::string& stream, const std::string& text);

// Encodes value in groups of three bytes into four 6-bit indices, each
// written as table[index] (index 64 marks a missing byte); an index beyond
// the table's end writes nothing.
std::string EncodeTriplets(const std::string& value, const std::string& table);

}  // namespace movrek
