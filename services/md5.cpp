#include "md5.h"

#include <cstdio>
#include <cstring>

namespace {

inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return z ^ (x & (y ^ z)); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & z) | (y & ~z); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

void Encode(unsigned char* out, const uint32_t* in, size_t words) {
  for (size_t i = 0; i < words; ++i) {
    out[4 * i] = static_cast<unsigned char>(in[i]);
    out[4 * i + 1] = static_cast<unsigned char>(in[i] >> 8);
    out[4 * i + 2] = static_cast<unsigned char>(in[i] >> 16);
    out[4 * i + 3] = static_cast<unsigned char>(in[i] >> 24);
  }
}

void SecureZero(void* p, size_t n) {
  volatile unsigned char* v = static_cast<volatile unsigned char*>(p);
  while (n--) *v++ = 0;
}

}  // namespace

MD5::~MD5() { SecureZero(this, sizeof *this); }

void MD5::Init() {
  count_[0] = count_[1] = 0;
  state_[0] = 0x67452301;
  state_[1] = 0xefcdab89;
  state_[2] = 0x98badcfe;
  state_[3] = 0x10325476;
  std::memset(buffer_, 0, sizeof buffer_);
}

void MD5::Transform(const unsigned char block[64]) {
  uint32_t X[16];
  for (int i = 0; i < 16; ++i) {
    X[i] = static_cast<uint32_t>(block[4 * i]) | (static_cast<uint32_t>(block[4 * i + 1]) << 8) |
           (static_cast<uint32_t>(block[4 * i + 2]) << 16) |
           (static_cast<uint32_t>(block[4 * i + 3]) << 24);
  }
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  // The 64 steps of the four rounds, unrolled as in the RFC's reference code:
  // w = x + RotateLeft(w + fn(x, y, z) + message word + constant, shift).
#define MD5_STEP(fn, w, x, y, z, k, s, t) w = x + RotateLeft(w + fn(x, y, z) + X[k] + t, s)
  MD5_STEP(F, a, b, c, d, 0, 7, 0xd76aa478);
  MD5_STEP(F, d, a, b, c, 1, 12, 0xe8c7b756);
  MD5_STEP(F, c, d, a, b, 2, 17, 0x242070db);
  MD5_STEP(F, b, c, d, a, 3, 22, 0xc1bdceee);
  MD5_STEP(F, a, b, c, d, 4, 7, 0xf57c0faf);
  MD5_STEP(F, d, a, b, c, 5, 12, 0x4787c62a);
  MD5_STEP(F, c, d, a, b, 6, 17, 0xa8304613);
  MD5_STEP(F, b, c, d, a, 7, 22, 0xfd469501);
  MD5_STEP(F, a, b, c, d, 8, 7, 0x698098d8);
  MD5_STEP(F, d, a, b, c, 9, 12, 0x8b44f7af);
  MD5_STEP(F, c, d, a, b, 10, 17, 0xffff5bb1);
  MD5_STEP(F, b, c, d, a, 11, 22, 0x895cd7be);
  MD5_STEP(F, a, b, c, d, 12, 7, 0x6b901122);
  MD5_STEP(F, d, a, b, c, 13, 12, 0xfd987193);
  MD5_STEP(F, c, d, a, b, 14, 17, 0xa679438e);
  MD5_STEP(F, b, c, d, a, 15, 22, 0x49b40821);
  MD5_STEP(G, a, b, c, d, 1, 5, 0xf61e2562);
  MD5_STEP(G, d, a, b, c, 6, 9, 0xc040b340);
  MD5_STEP(G, c, d, a, b, 11, 14, 0x265e5a51);
  MD5_STEP(G, b, c, d, a, 0, 20, 0xe9b6c7aa);
  MD5_STEP(G, a, b, c, d, 5, 5, 0xd62f105d);
  MD5_STEP(G, d, a, b, c, 10, 9, 0x02441453);
  MD5_STEP(G, c, d, a, b, 15, 14, 0xd8a1e681);
  MD5_STEP(G, b, c, d, a, 4, 20, 0xe7d3fbc8);
  MD5_STEP(G, a, b, c, d, 9, 5, 0x21e1cde6);
  MD5_STEP(G, d, a, b, c, 14, 9, 0xc33707d6);
  MD5_STEP(G, c, d, a, b, 3, 14, 0xf4d50d87);
  MD5_STEP(G, b, c, d, a, 8, 20, 0x455a14ed);
  MD5_STEP(G, a, b, c, d, 13, 5, 0xa9e3e905);
  MD5_STEP(G, d, a, b, c, 2, 9, 0xfcefa3f8);
  MD5_STEP(G, c, d, a, b, 7, 14, 0x676f02d9);
  MD5_STEP(G, b, c, d, a, 12, 20, 0x8d2a4c8a);
  MD5_STEP(H, a, b, c, d, 5, 4, 0xfffa3942);
  MD5_STEP(H, d, a, b, c, 8, 11, 0x8771f681);
  MD5_STEP(H, c, d, a, b, 11, 16, 0x6d9d6122);
  MD5_STEP(H, b, c, d, a, 14, 23, 0xfde5380c);
  MD5_STEP(H, a, b, c, d, 1, 4, 0xa4beea44);
  MD5_STEP(H, d, a, b, c, 4, 11, 0x4bdecfa9);
  MD5_STEP(H, c, d, a, b, 7, 16, 0xf6bb4b60);
  MD5_STEP(H, b, c, d, a, 10, 23, 0xbebfbc70);
  MD5_STEP(H, a, b, c, d, 13, 4, 0x289b7ec6);
  MD5_STEP(H, d, a, b, c, 0, 11, 0xeaa127fa);
  MD5_STEP(H, c, d, a, b, 3, 16, 0xd4ef3085);
  MD5_STEP(H, b, c, d, a, 6, 23, 0x04881d05);
  MD5_STEP(H, a, b, c, d, 9, 4, 0xd9d4d039);
  MD5_STEP(H, d, a, b, c, 12, 11, 0xe6db99e5);
  MD5_STEP(H, c, d, a, b, 15, 16, 0x1fa27cf8);
  MD5_STEP(H, b, c, d, a, 2, 23, 0xc4ac5665);
  MD5_STEP(I, a, b, c, d, 0, 6, 0xf4292244);
  MD5_STEP(I, d, a, b, c, 7, 10, 0x432aff97);
  MD5_STEP(I, c, d, a, b, 14, 15, 0xab9423a7);
  MD5_STEP(I, b, c, d, a, 5, 21, 0xfc93a039);
  MD5_STEP(I, a, b, c, d, 12, 6, 0x655b59c3);
  MD5_STEP(I, d, a, b, c, 3, 10, 0x8f0ccc92);
  MD5_STEP(I, c, d, a, b, 10, 15, 0xffeff47d);
  MD5_STEP(I, b, c, d, a, 1, 21, 0x85845dd1);
  MD5_STEP(I, a, b, c, d, 8, 6, 0x6fa87e4f);
  MD5_STEP(I, d, a, b, c, 15, 10, 0xfe2ce6e0);
  MD5_STEP(I, c, d, a, b, 6, 15, 0xa3014314);
  MD5_STEP(I, b, c, d, a, 13, 21, 0x4e0811a1);
  MD5_STEP(I, a, b, c, d, 4, 6, 0xf7537e82);
  MD5_STEP(I, d, a, b, c, 11, 10, 0xbd3af235);
  MD5_STEP(I, c, d, a, b, 2, 15, 0x2ad7d2bb);
  MD5_STEP(I, b, c, d, a, 9, 21, 0xeb86d391);
#undef MD5_STEP
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  SecureZero(X, sizeof X);
}

void MD5::Update(const unsigned char* input, size_t length) {
  size_t index = (count_[0] >> 3) & 0x3F;
  const uint64_t bits = static_cast<uint64_t>(length) << 3;
  const uint32_t low = count_[0] + static_cast<uint32_t>(bits);
  if (low < count_[0]) ++count_[1];
  count_[0] = low;
  count_[1] += static_cast<uint32_t>(bits >> 32);

  const size_t partLen = 64 - index;
  size_t i = 0;
  if (length >= partLen) {
    std::memcpy(&buffer_[index], input, partLen);
    Transform(buffer_);
    for (i = partLen; i + 63 < length; i += 64) Transform(&input[i]);
    index = 0;
  }
  if (length > i) std::memcpy(&buffer_[index], &input[i], length - i);
}

void MD5::Final(unsigned char digest[16]) {
  static const unsigned char kPadding[64] = {0x80};
  unsigned char bits[8];
  Encode(bits, count_, 2);
  const size_t index = (count_[0] >> 3) & 0x3F;
  const size_t padLen = index < 56 ? 56 - index : 120 - index;
  Update(kPadding, padLen);
  Update(bits, 8);
  Encode(digest, state_, 4);
  SecureZero(state_, sizeof state_);
  SecureZero(count_, sizeof count_);
  SecureZero(buffer_, sizeof buffer_);
}

std::string MD5::HexDigest(const unsigned char digest[16]) {
  static const char kHex[] = "0123456789abcdef";
  std::string out(32, '0');
  for (int i = 0; i < 16; ++i) {
    out[2 * i] = kHex[digest[i] >> 4];
    out[2 * i + 1] = kHex[digest[i] & 0x0F];
  }
  return out;
}

std::string FileMD5(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return "-1";
  // The stream reads ahead in large pieces; the hash still takes 1,024 bytes
  // at a time from it.
  std::setvbuf(f, nullptr, _IOFBF, 64 * 1024);
  MD5 md5;
  unsigned char block[1024];
  size_t read;
  while ((read = std::fread(block, 1, sizeof block, f)) > 0) md5.Update(block, read);
  unsigned char digest[16];
  md5.Final(digest);
  std::fclose(f);
  return MD5::HexDigest(digest);
}

std::string StringMD5(const std::string& text) {
  MD5 md5;
  md5.Update(reinterpret_cast<const unsigned char*>(text.data()), text.size());
  unsigned char digest[16];
  md5.Final(digest);
  return MD5::HexDigest(digest);
}
