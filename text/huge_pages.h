// Memory advice for the buffers that grow to hundreds of megabytes: the
// element list of a page and the HTTP body.
#pragma once

#include <cstddef>

namespace movrek {

// Asks the kernel to back [data, data + size) with huge pages where whole
// ones fit: a scan that touches a hundred megabytes once spends more time in
// page faults than in scanning otherwise.
void AdviseHugePages(void* data, std::size_t size);

}  // namespace movrek
