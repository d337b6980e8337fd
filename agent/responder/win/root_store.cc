#include "win/root_store.h"

#include <windows.h>
#include <wincrypt.h>

namespace responder {
namespace {

constexpr DWORD kEncodings = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

// The certificate of a queried file: the object itself, or the first one of a
// container. The caller frees it.
PCCERT_CONTEXT QueryCertificate(const std::wstring& file) {
  DWORD encoding = 0, content = 0, format = 0;
  HCERTSTORE store = nullptr;
  HCRYPTMSG message = nullptr;
  const void* object = nullptr;
  if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, file.c_str(), CERT_QUERY_CONTENT_FLAG_ALL, CERT_QUERY_FORMAT_FLAG_ALL,
                        0, &encoding, &content, &format, &store, &message, &object)) {
    return nullptr;
  }
  PCCERT_CONTEXT certificate = nullptr;
  if (content == CERT_QUERY_CONTENT_CERT || content == CERT_QUERY_CONTENT_SERIALIZED_CERT) {
    certificate = CertDuplicateCertificateContext(static_cast<PCCERT_CONTEXT>(object));
  } else if (store != nullptr) {
    certificate = CertEnumCertificatesInStore(store, nullptr);
  }
  if (content == CERT_QUERY_CONTENT_CERT || content == CERT_QUERY_CONTENT_SERIALIZED_CERT) {
    CertFreeCertificateContext(static_cast<PCCERT_CONTEXT>(object));
  }
  if (message != nullptr) CryptMsgClose(message);
  if (store != nullptr) CertCloseStore(store, 0);
  return certificate;
}

}  // namespace

RootImport ImportRootCertificate(const std::wstring& file) {
  PCCERT_CONTEXT certificate = QueryCertificate(file);
  if (certificate == nullptr) return RootImport::kUnreadable;
  HCERTSTORE root = CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                                  CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_OPEN_EXISTING_FLAG, L"ROOT");
  RootImport result = RootImport::kStoreUnavailable;
  if (root != nullptr) {
    PCCERT_CONTEXT found = CertFindCertificateInStore(root, kEncodings, 0, CERT_FIND_EXISTING, certificate, nullptr);
    if (found != nullptr) {
      CertFreeCertificateContext(found);
      result = RootImport::kAlreadyTrusted;
    } else {
      // "Add new": the agent and the service may import at the same moment;
      // the second one must not add a copy.
      BOOL added = CertAddCertificateContextToStore(root, certificate, CERT_STORE_ADD_NEW, nullptr);
      result = added                                 ? RootImport::kAdded
               : GetLastError() == static_cast<DWORD>(CRYPT_E_EXISTS) ? RootImport::kAlreadyTrusted
                                                      : RootImport::kAddFailed;
    }
    CertCloseStore(root, 0);
  }
  CertFreeCertificateContext(certificate);
  return result;
}

}  // namespace responder
