#include "tests/helpers/coded_bodies.h"

#include <brotli/encode.h>
#include <zlib.h>
#include <zstd.h>

#include <stdexcept>
#include <vector>

namespace movrek::test {
namespace {

std::string Deflate(const std::string& body, int windowBits) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2 failed");
  }
  std::string out(deflateBound(&stream, body.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
  stream.avail_in = static_cast<uInt>(body.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) {
    throw std::runtime_error("deflate did not finish");
  }
  return out;
}

}  // namespace

std::string EncodeBody(const std::string& coding, const std::string& body) {
  if (coding == "gzip") {
    return Deflate(body, 16 + MAX_WBITS);
  }
  if (coding == "deflate") {
    return Deflate(body, MAX_WBITS);
  }
  if (coding == "raw-deflate") {
    return Deflate(body, -MAX_WBITS);
  }
  if (coding == "br") {
    size_t size = BrotliEncoderMaxCompressedSize(body.size());
    std::string out(size, '\0');
    BrotliEncoderCompress(BROTLI_DEFAULT_QUALITY, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_TEXT,
                          body.size(), reinterpret_cast<const uint8_t*>(body.data()), &size,
                          reinterpret_cast<uint8_t*>(out.data()));
    out.resize(size);
    return out;
  }
  if (coding == "zstd") {
    std::string out(ZSTD_compressBound(body.size()), '\0');
    out.resize(ZSTD_compress(out.data(), out.size(), body.data(), body.size(), 3));
    return out;
  }
  return body;
}

std::string GzipBomb(int copies) {
  const std::string member = Deflate(std::string(std::size_t{64} << 20, '\0'), 16 + MAX_WBITS);
  std::string bomb;
  for (int i = 0; i < copies; ++i) {
    bomb += member;
  }
  return bomb;
}

}  // namespace movrek::test
