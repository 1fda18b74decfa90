// The response body as its head frames it (the framing in framed_body.cpp):
// stretches received in place, and how the document grows for them.
#include <algorithm>
#include <cstdint>
#include <new>

#include "net/base/winsock_errors.h"
#include "net/http/http_limits.h"
#include "net/http/http_transaction.h"
#include "text/huge_pages.h"

namespace movrek {

namespace {

// Room for `capacity` bytes of body.
void ReserveBody(std::string& document, size_t capacity) {
  document.reserve(capacity);
  if (document.capacity() < kHugePageBodyFromBytes) {
    return;
  }
  AdviseHugePages(document.data(), document.capacity());
}

// Makes room for the next `part` bytes of a counted stretch (a counted body)
// of which `remaining` bytes are still to come and `arrived` bytes are here.
// The room grows geometrically with what really arrives, so an announced
// length alone commits nothing. Once enough of a long stretch has arrived
// (or doubling would already cover half of it) the room for all of it is
// taken at once, so a large body is copied only while it is small and the
// peak stays near the body's own size.
void GrowForCounted(std::string& document, size_t part, size_t remaining, size_t arrived) {
  const size_t needed = document.size() + part;
  if (document.capacity() >= needed) {
    return;
  }
  const size_t full = document.size() + remaining;
  size_t grown = std::max(needed, 2 * document.capacity());
  if (grown < full && (grown >= full / 2 || arrived >= kCountedTrustAfterBytes)) {
    grown = full;
  }
  ReserveBody(document, grown);
}

// Makes room for `part` more bytes of a body whose whole size nobody
// announced (until close, chunked).
void GrowForUnknown(std::string& document, size_t part) {
  const size_t needed = document.size() + part;
  if (document.capacity() >= needed) {
    return;
  }
  const size_t doubled = std::max(needed, 2 * document.capacity());
  if (doubled <= kMaxBodyDoublingBytes) {
    ReserveBody(document, doubled);
    return;
  }
  try {
    ReserveBody(document, kMaxBodyBytes);
  } catch (const std::bad_alloc&) {
    // No address space to spare (strict overcommit): grow in smaller steps.
    ReserveBody(document, needed + needed / 4);
  }
}

}  // namespace

bool THttpTransaction::ReadBody(const std::string& method, int64_t size) {
  // RFC 9110 sections 9.3.2, 15.3.5 and 15.4.5: no body after these.
  const bool noBody = method == "HEAD" || ResultCode == 204 || ResultCode == 304;
  ContentLength = BodyFraming == THttpBodyFraming::Counted ? size : -1;
  sink_stopped_ = false;
  if (BodySink != nullptr) {
    return StreamBody(noBody, size);
  }
  if (noBody) {
    return true;
  }
  // A length no 32-bit count can hold is a body this client cannot take;
  // reading part of it and calling that the page would lie.
  if (BodyFraming == THttpBodyFraming::Counted && size >= kBeyond32Bits) {
    Fail(WSAEMSGSIZE);
    return false;
  }
  return ReadFramed(size);
}

bool THttpTransaction::ReadUntilClose() {
  for (;;) {
    std::string chunk = Sock->ReceiveChunk(Timeout);
    if (!(BodySink != nullptr ? PassBody(chunk) : AppendBody(chunk))) {
      return false;
    }
    if (sink_stopped_) {
      return true;
    }
    if (Sock->LastErrorCode != 0) {
      break;
    }
  }
  // The server's close is the end of such a body (RFC 9112 section 6.3).
  if (Sock->LastErrorCode == WSAECONNRESET) {
    Sock->ClearError();
    return true;
  }
  return false;
}

bool THttpTransaction::AppendBody(std::string_view bytes) {
  if (bytes.size() > kMaxBodyBytes - std::min(Document.size(), kMaxBodyBytes)) {
    return FailBodyTooLarge();
  }
  GrowForUnknown(Document, bytes.size());
  Document += bytes;
  return true;
}

bool THttpTransaction::FailBodyTooLarge() {
  Sock->LastErrorCode = WSAENOBUFS;
  Sock->LastErrorText = TBlockSocket::GetErrorDesc(WSAENOBUFS);
  return false;
}

bool THttpTransaction::ReadCounted(int32_t size, bool wholeBody) {
  if (size < 1) {
    return true;
  }
  if (static_cast<size_t>(size) > kMaxBodyBytes - std::min(Document.size(), kMaxBodyBytes)) {
    return FailBodyTooLarge();
  }
  const int64_t block = std::max<int32_t>(Sock->SendMaxChunk, 1);
  const int64_t segment = block * kCountedSegmentBlocks;
  int64_t remaining = size;
  // Whole blocks per segment keep the blocks the same as one reception of
  // the whole size.
  while (remaining > 0) {
    const int64_t part = std::min(remaining, segment);
    if (wholeBody) {
      GrowForCounted(Document, static_cast<size_t>(part), static_cast<size_t>(remaining),
                     static_cast<size_t>(size - remaining));
    } else {
      GrowForUnknown(Document, static_cast<size_t>(part));
    }
    Sock->ReceiveIntoStream(Document, Timeout, part);
    if (Sock->LastErrorCode != 0) {
      return false;
    }
    remaining -= part;
  }
  return true;
}

}  // namespace movrek
