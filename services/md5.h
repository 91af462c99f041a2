// MD5 digests (RFC 1321) of files and texts, as 32 lower-case hexadecimal
// characters: the form used to compare downloaded content and register files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// One MD5 computation. Live on the stack of a single digest call; Final wipes it.
class MD5 {
 public:
  MD5() { Init(); }
  ~MD5();
  MD5(const MD5&) = delete;
  MD5& operator=(const MD5&) = delete;

  void Init();
  // Feeds any number of bytes; partial blocks are buffered.
  void Update(const unsigned char* input, size_t length);
  // Writes the 16-byte digest and wipes the context (Init before reuse).
  void Final(unsigned char digest[16]);
  // One 64-byte block into the state.
  void Transform(const unsigned char block[64]);

  // "%02x" of each byte: 32 lower-case hexadecimal characters.
  static std::string HexDigest(const unsigned char digest[16]);

 private:
  uint32_t state_[4];
  uint32_t count_[2];  // bits hashed so far, low word first
  unsigned char buffer_[64];
};

// Hex digest of a file's bytes; "-1" when it cannot be opened for reading
// (missing, a folder, no access, locked). A read that stops early hashes what
// was read.
std::string FileMD5(const std::string& path);
// Hex digest of the text's bytes, all of them (embedded zeros included).
std::string StringMD5(const std::string& text);
