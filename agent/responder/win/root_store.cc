#include "agent/responder/win/root_store.h"

#include "common/win/platform.h"
#include <wincrypt.h>

#include "common/win/scoped_handle.h"

namespace responder {
namespace {

constexpr DWORD kEncodings = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// The certificate of a queried file: the object itself, or the first one of a
// container.
tessal::ScopedCertContext QueryCertificate(const std::wstring& file) {
  DWORD encoding = 0, content = 0, format = 0;
  tessal::ScopedCertStore store;
  tessal::ScopedCryptMsg message;
  const void* object = nullptr;
  if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, file.c_str(), CERT_QUERY_CONTENT_FLAG_ALL,
                        CERT_QUERY_FORMAT_FLAG_ALL, 0, &encoding, &content, &format,
                        store.receive(), message.receive(), &object)) {
    return {};
  }
  // Only a single certificate comes back as a context of its own.
  bool single = content == CERT_QUERY_CONTENT_CERT || content == CERT_QUERY_CONTENT_SERIALIZED_CERT;
  tessal::ScopedCertContext queried(single ? static_cast<PCCERT_CONTEXT>(object) : nullptr);
  if (single) return tessal::ScopedCertContext(CertDuplicateCertificateContext(queried.get()));
  if (store.valid())
    return tessal::ScopedCertContext(CertEnumCertificatesInStore(store.get(), nullptr));
  return {};
}

}  // namespace

RootImport ImportRootCertificate(const std::wstring& file) {
  tessal::ScopedCertContext certificate = QueryCertificate(file);
  if (!certificate.valid()) return RootImport::kUnreadable;
  tessal::ScopedCertStore root(
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                    CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, L"ROOT"));
  if (!root.valid()) return RootImport::kStoreUnavailable;
  tessal::ScopedCertContext found(CertFindCertificateInStore(
      root.get(), kEncodings, 0, CERT_FIND_EXISTING, certificate.get(), nullptr));
  if (found.valid()) return RootImport::kAlreadyTrusted;
  // "Add new": the agent and the service may import at the same moment;
  // the second one must not add a copy.
  BOOL added =
      CertAddCertificateContextToStore(root.get(), certificate.get(), CERT_STORE_ADD_NEW, nullptr);
  return added                                                  ? RootImport::kAdded
         : GetLastError() == static_cast<DWORD>(CRYPT_E_EXISTS) ? RootImport::kAlreadyTrusted
                                                                : RootImport::kAddFailed;
}

}  // namespace responder
