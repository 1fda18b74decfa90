#pragma once

namespace movrek {

// Thrown on the worker once the job was aborted: it unwinds the URL in
// progress (its transaction and temporary files go with it) and ends the run
// without the completion. Deliberately not a std::exception, so that no
// handler for ordinary errors swallows it.
struct EJobAborted {};

}  // namespace movrek
