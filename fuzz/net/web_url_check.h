#pragma once

#include <cstddef>
#include <cstdint>

namespace movrek::fuzz {

// Takes the bytes as a base and an href (split at the first line feed; with
// no line feed, an href parsed alone and against a base of each kind) and
// aborts the process when a property every URL must keep breaks: a parsed
// URL is ASCII, its parts lie inside its href where its offsets say, its
// href parsed again alone or against the base gives the same href, and an
// http:// href that parses alone parses to the same URL against any base.
void CheckWebUrl(const std::uint8_t* data, std::size_t size);

}  // namespace movrek::fuzz
