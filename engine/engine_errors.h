#pragma once

// The errors the engine raises and lets end a job: the list error "List index
// out of bounds (%d)" and the file error "Cannot open file "%s". %s". They are
// shared with the HTML document, which raises the same two.
#include "html/html_errors.h"
