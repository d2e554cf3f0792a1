#include "support/sha256.h"

#include <openssl/evp.h>

#include <cstdio>

#include "support/temp_dir.h"

namespace kestrum::test {

std::string Sha256Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1) return "";
  std::string hex;
  char pair[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}

std::string Sha256OfFile(const std::string& path) { return Sha256Hex(ReadWholeFile(path)); }

}  // namespace kestrum::test
