#include "tavro/remote/TavroPackSettings.h"

namespace tavro {

const std::map<std::string, std::string>& TavroPackKeys::nemtora() {
    // Public half only; the signing key is kept off the repository by the pack publisher.
    static const std::map<std::string, std::string> keys{
        {"tavro-pack-1",
         "-----BEGIN PUBLIC KEY-----\n"
         "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEhb7z5B/V6lDIl4b7VbFmGZe/J+kF\n"
         "9WRWhjfDwYLOfYwGzd/WHMkDHWt5QLMVVMPsjcmsnXOW7tpFE3tDRQl1+g==\n"
         "-----END PUBLIC KEY-----\n"},
    };
    return keys;
}

}  // namespace tavro
