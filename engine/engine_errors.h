#pragma once

// The errors the engine raises and lets end a job: the list error "List index
// out of bounds (%d)" and the file error "Cannot open file "%s". %s". They are
// shared with the HTML document, which raises the same two.
#include <stdexcept>
#include <string>

#include "html/html_errors.h"

namespace movrek {

// A list that could not be saved: "Cannot save file "%s": %s failed. %s",
// with the file name, the step that failed and the system's reason.
class EFileSaveError : public std::runtime_error {
 public:
  EFileSaveError(const std::string& file_name, const std::string& step, const std::string& reason)
      : std::runtime_error("Cannot save file \"" + file_name + "\": " + step + " failed. " +
                           reason) {}
};

// Thrown on the worker once the job was aborted: it unwinds the URL in
// progress (its transaction and temporary files go with it) and ends the run
// without the completion. Deliberately not a std::exception, so that no
// handler for ordinary errors swallows it.
struct EJobAborted {};

}  // namespace movrek
