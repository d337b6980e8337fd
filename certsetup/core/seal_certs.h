// The responder's certificate files, made fresh on each PC: a root of its own
// that may vouch only for the responder's names, the server certificate it
// signs and the server's key. The root's key exists only inside MakeSealFiles.
#pragma once

#include <openssl/types.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace seal {

inline constexpr char kRootFile[] = "jsxCVsc.cer";  // the root, DER
inline constexpr char kServerCertFile[] = "locrt";  // the server certificate, PEM
inline constexpr char kServerKeyFile[] = "locrk";   // its key, traditional PEM

// The names every root this program makes carries; /remove looks for them.
inline constexpr char kOrganization[] = "Corvanta";
inline constexpr char kRootCommonName[] = "Corvanta Tessal Local Root";

// Valid from a little before `now` (clocks that are set back a day or two
// keep working) for ten years: nothing renews the files.
inline constexpr long kBackdateSeconds = 2L * 24 * 3600;
inline constexpr int kValidDays = 3650;

struct KeyFree {
  void operator()(EVP_PKEY* key) const;
};
struct CertFree {
  void operator()(X509* cert) const;
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using CertPtr = std::unique_ptr<X509, CertFree>;

// The names the responder answers under: DNS names and IPv4 addresses.
struct HostNames {
  std::vector<std::string> dns;
  std::vector<std::string> ipv4;
};
// "localhost", 127.0.0.1 and the build's responder host (when it differs).
HostNames ResponderHostNames();
// Letters, digits, '-' and '.', labels of 1-63 characters, at most 253 in all.
bool IsValidDnsName(const std::string& name);

// A fresh P-256 key; nullptr when the library cannot make one.
KeyPtr NewKey();
// A self-signed root allowed to sign only server certificates for `names`.
CertPtr MakeRootCertificate(EVP_PKEY* root_key, const HostNames& names, std::time_t now);
// A server certificate for `names` with `server_key`, signed by the root.
CertPtr MakeServerCertificate(X509* root, EVP_PKEY* root_key, EVP_PKEY* server_key,
                              const HostNames& names, std::time_t now);

// The three files' bytes. The key's text is wiped when this is destroyed.
struct SealFiles {
  std::string root_der;
  std::string server_pem;
  std::string key_pem;
  SealFiles() = default;
  SealFiles(const SealFiles&) = delete;
  SealFiles& operator=(const SealFiles&) = delete;
  ~SealFiles();
};

// Makes a root and a server certificate for `names`; the root's key is freed as
// soon as it has signed and is never written anywhere. False with the step and
// the library's reason in *error.
bool MakeSealFiles(const HostNames& names, std::time_t now, SealFiles* files, std::string* error);

// Files left in place by /make stay valid at least this long; older ones are
// made again.
inline constexpr int kRenewDays = 30;

// Whether files already in place still serve: the root is one this program made
// (a set shipped by an older installation, the same on every PC, is not), the
// key is the server certificate's, and the certificate chains to the root for
// every one of `names` now and kRenewDays from now.
bool SealFilesUsable(const std::string& root_der, const std::string& server_pem,
                     const std::string& key_pem, const HostNames& names, std::time_t now);

// Whether a DER certificate is a root this program made: self-issued with the
// program's root name, a CA, and carrying critical name constraints.
bool IsSuiteRoot(const unsigned char* der, std::size_t size);

}  // namespace seal
