#pragma once

#include <string_view>

namespace movrek::fuzzing {

// Takes the first four bytes as the set-up (the text mode the tokenizer
// starts in and the last start tag, a small tag bound so that tags are
// dropped, a seed for the cuts) and the rest as a page; tokenizes the page
// whole and cut into pieces, and aborts the process when the tokens differ.
void CheckTokenizerPiecesOnInput(std::string_view bytes);

}  // namespace movrek::fuzzing
