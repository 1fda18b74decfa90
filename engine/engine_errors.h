#pragma once

// The errors the engine raises and lets end a job: the list error "List index
// out of bounds (%d)" and the file error "Cannot open file "%s". %s". They are
// shared with the HTML document, which raises the same two.
#include "html/html_errors.h"

namespace movrek {

// Thrown on the worker once the job was aborted: it unwinds the URL in
// progress (its transaction and temporary files go with it) and ends the run
// without the completion. Deliberately not a std::exception, so that no
// handler for ordinary errors swallows it.
struct EJobAborted {};

}  // namespace movrek
