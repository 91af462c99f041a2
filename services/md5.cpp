#include "md5.h"

#include <cstdio>
#include <cstring>

namespace {

inline uint32_t RotateLeft(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) { return (x & y) | (~x & z); }
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) { return (x & z) | (y & ~z); }
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) { return x ^ y ^ z; }
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) { return y ^ (x | ~z); }

// Per-step shift amounts and sine-derived constants of the four rounds.
const int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                        5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                        4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                        6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
const uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
    0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
    0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
    0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
    0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
    0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
    0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
    0xeb86d391};

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
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) {
    x[i] = static_cast<uint32_t>(block[4 * i]) | (static_cast<uint32_t>(block[4 * i + 1]) << 8) |
           (static_cast<uint32_t>(block[4 * i + 2]) << 16) |
           (static_cast<uint32_t>(block[4 * i + 3]) << 24);
  }
  uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  // One step: rotate the four words, mixing in message word x[g].
#define MD5_STEP(fn, g)                                                 \
  do {                                                                  \
    const uint32_t next = b + RotateLeft(a + fn(b, c, d) + kSine[i] + x[g], kShift[i]); \
    a = d;                                                              \
    d = c;                                                              \
    c = b;                                                              \
    b = next;                                                           \
  } while (0)
  int i = 0;
  for (; i < 16; ++i) MD5_STEP(F, i);
  for (; i < 32; ++i) MD5_STEP(G, (5 * i + 1) % 16);
  for (; i < 48; ++i) MD5_STEP(H, (3 * i + 5) % 16);
  for (; i < 64; ++i) MD5_STEP(I, (7 * i) % 16);
#undef MD5_STEP
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  SecureZero(x, sizeof x);
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
