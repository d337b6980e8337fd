#include "common/win/platform.h"
#include <winsock2.h>
#include <wincrypt.h>

#include "tests/support/responder_probe.h"

#include <cstdio>

#include "standins/mgmt_sim/win/sim_process.h"

namespace harness {
namespace {

constexpr char kCurl[] = "Z:\\usr\\bin\\curl";

PCCERT_CONTEXT TestRoot() {
  std::string der = ReadFileText(TestCertFolder() + "\\jsxCVsc.cer");
  return CertCreateCertificateContext(X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
                                      static_cast<DWORD>(der.size()));
}

}  // namespace

// Wine's crypt32 keeps a certificate deleted from the machine's root store; its
// registry entry, named by the SHA-1 thumbprint, is where the store keeps it.
void RemoveFromRootRegistry(PCCERT_CONTEXT root) {
  BYTE hash[20];
  DWORD size = sizeof hash;
  if (!CertGetCertificateContextProperty(root, CERT_HASH_PROP_ID, hash, &size)) return;
  std::string key = "Software\\Microsoft\\SystemCertificates\\ROOT\\Certificates\\";
  for (DWORD i = 0; i < size; ++i) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", hash[i]);
    key += hex;
  }
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
}

int TestRootCopies(bool remove) {
  PCCERT_CONTEXT root = TestRoot();
  if (root != nullptr && remove) RemoveFromRootRegistry(root);
  HCERTSTORE store =
      CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0,
                    CERT_SYSTEM_STORE_LOCAL_MACHINE | CERT_STORE_READONLY_FLAG, L"ROOT");
  int copies = 0;
  PCCERT_CONTEXT found = nullptr;
  while (root && store && copies < 16 &&
         (found = CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                             CERT_FIND_EXISTING, root, found)) != nullptr) {
    ++copies;
  }
  if (found != nullptr) CertFreeCertificateContext(found);
  if (store) CertCloseStore(store, 0);
  if (root) CertFreeCertificateContext(root);
  return copies;
}

bool CopyResponderFiles(const std::string& folder) {
  for (const char* name : {"jsxCVsc.cer", "locrt", "locrk"}) {
    if (!CopyFileA((TestCertFolder() + "\\" + name).c_str(), (folder + "\\" + name).c_str(), FALSE))
      return false;
  }
  return true;
}

std::string AskPresenceResponder(const TempFolder& scratch, DWORD timeout_ms) {
  std::string unix_folder = mgmt_sim::UnixPathOf(scratch.path());
  std::string reply;
  // Wine cannot wait for a Linux program, so curl bounds itself and each try
  // writes a file of its own.
  for (unsigned attempt = 0; reply.empty() && attempt * 1000u < timeout_ms; ++attempt) {
    std::string out = "reply" + std::to_string(attempt);
    std::string command =
        std::string("\"") + kCurl + "\" -s --max-time 5 --resolve localhost:12500:127.0.0.1" +
        " --cacert \"" + TestCertUnixFolder() + "/root.pem\" -o \"" + unix_folder + "/" + out +
        "\" \"https://localhost:12500/x.js?callback=jQuery123&_=1\"";
    std::string error;
    if (!mgmt_sim::StartLinuxProgram(kCurl, command, &error)) return error;
    WaitUntil([&] { return !ReadFileText(scratch / out).empty(); }, 1000);
    reply = ReadFileText(scratch / out);
  }
  return reply;
}

bool PresencePortAnswers() {
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(12500);
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool connected = connect(s, reinterpret_cast<sockaddr*>(&to), sizeof(to)) == 0;
  closesocket(s);
  WSACleanup();
  return connected;
}

}  // namespace harness
