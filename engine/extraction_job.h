// The extraction job: the worker thread that walks a private copy of the URL
// list, and the window-side commands that start it, complete it and abort it.
#pragma once

#include "engine/extraction_window.h"
#include "engine/progress_texts.h"
#include "engine/worker_thread.h"
