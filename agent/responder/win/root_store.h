// The suite's root certificate made trusted by the machine, so that browsers
// accept the responder's server certificate.
#pragma once

#include <string>

namespace responder {

enum class RootImport { kAdded, kAlreadyTrusted, kUnreadable, kStoreUnavailable, kAddFailed };

// Adds the certificate in `file` (DER or Base64, alone or the first of a
// container) to the local machine's "ROOT" store unless it is there already.
RootImport ImportRootCertificate(const std::wstring& file);

}  // namespace responder
