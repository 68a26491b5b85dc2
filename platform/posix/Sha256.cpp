// SHA-256 from OpenSSL's libcrypto, which every Linux system carries.
#include "platform/Platform.h"

#include <openssl/evp.h>

namespace addoscope::platform {

bool Sha256(const void* data, size_t size, TSha256Digest& digest)
{
    unsigned int length = 0;
    return EVP_Digest(data, size, digest.data(), &length, EVP_sha256(), nullptr) == 1 &&
           length == digest.size();
}

} // namespace addoscope::platform
