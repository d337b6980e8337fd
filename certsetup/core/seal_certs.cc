#include "certsetup/core/seal_certs.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cctype>

#ifndef TESSAL_RESPONDER_HOST
#define TESSAL_RESPONDER_HOST "localhost"
#endif

namespace seal {

void KeyFree::operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
void CertFree::operator()(X509* cert) const { X509_free(cert); }

namespace {

constexpr char kLocalhost[] = "localhost";
constexpr char kLoopback[] = "127.0.0.1";

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
struct NameFree {
  void operator()(X509_NAME* name) const { X509_NAME_free(name); }
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::unique_ptr<X509_NAME, NameFree> MakeName(const char* common_name) {
  std::unique_ptr<X509_NAME, NameFree> name(X509_NAME_new());
  auto add = [&](const char* field, const char* value) {
    return X509_NAME_add_entry_by_txt(name.get(), field, MBSTRING_UTF8,
                                      reinterpret_cast<const unsigned char*>(value), -1, -1,
                                      0) == 1;
  };
  if (!name || !add("O", kOrganization) || !add("CN", common_name)) return nullptr;
  return name;
}

// A random positive 127-bit serial number: unique without any bookkeeping.
bool SetRandomSerial(X509* cert) {
  BIGNUM* serial = BN_new();
  bool ok = serial != nullptr && BN_rand(serial, 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ODD) == 1 &&
            BN_to_ASN1_INTEGER(serial, X509_get_serialNumber(cert)) != nullptr;
  BN_free(serial);
  return ok;
}

bool AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_nconf_nid(nullptr, &ctx, nid, value.c_str());
  bool ok = ext != nullptr && X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

// The fields both certificates share; `issuer` is null for the root itself.
CertPtr StartCertificate(const X509_NAME* subject, X509* issuer, EVP_PKEY* key, std::time_t now) {
  CertPtr cert(X509_new());
  bool ok =
      cert && X509_set_version(cert.get(), 2) == 1 && SetRandomSerial(cert.get()) &&
      X509_set_subject_name(cert.get(), subject) == 1 &&
      X509_set_issuer_name(cert.get(), issuer ? X509_get_subject_name(issuer) : subject) == 1 &&
      X509_time_adj_ex(X509_getm_notBefore(cert.get()), 0, -kBackdateSeconds, &now) != nullptr &&
      X509_time_adj_ex(X509_getm_notAfter(cert.get()), kValidDays, 0, &now) != nullptr &&
      X509_set_pubkey(cert.get(), key) == 1;
  return ok ? std::move(cert) : nullptr;
}

std::string Join(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ",") + item;
  return text;
}

// "permitted;DNS:localhost,..." for the root, "DNS:localhost,..." for the server.
std::string NameList(const HostNames& names, const std::string& prefix, const char* ip_suffix) {
  std::vector<std::string> items;
  for (const std::string& dns : names.dns) items.push_back(prefix + "DNS:" + dns);
  for (const std::string& ip : names.ipv4) items.push_back(prefix + "IP:" + ip + ip_suffix);
  return Join(items);
}

bool AllValid(const HostNames& names) {
  for (const std::string& dns : names.dns) {
    if (!IsValidDnsName(dns)) return false;
  }
  for (const std::string& ip : names.ipv4) {
    ASN1_OCTET_STRING* bytes = a2i_IPADDRESS(ip.c_str());
    bool ipv4 = bytes != nullptr && ASN1_STRING_length(bytes) == 4;
    ASN1_OCTET_STRING_free(bytes);
    if (!ipv4) return false;
  }
  return !names.dns.empty() || !names.ipv4.empty();
}

std::string StepError(const char* step) {
  std::string text = std::string(step) + " failed";
  for (unsigned long code = ERR_get_error(); code != 0; code = ERR_get_error()) {
    char reason[256];
    ERR_error_string_n(code, reason, sizeof reason);
    text += std::string(": ") + reason;
  }
  return text;
}

std::string BioText(BIO* bio) {
  char* data = nullptr;
  long size = BIO_get_mem_data(bio, &data);
  return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

bool Serialise(X509* root, X509* server, EVP_PKEY* server_key, SealFiles* files) {
  int size = i2d_X509(root, nullptr);
  if (size <= 0) return false;
  files->root_der.resize(static_cast<std::size_t>(size));
  unsigned char* out = reinterpret_cast<unsigned char*>(&files->root_der[0]);
  if (i2d_X509(root, &out) != size) return false;
  std::unique_ptr<BIO, BioFree> cert_bio(BIO_new(BIO_s_mem()));
  // BIO_s_secmem keeps the key's text out of ordinary heap memory.
  std::unique_ptr<BIO, BioFree> key_bio(BIO_new(BIO_s_secmem()));
  if (!cert_bio || !key_bio || PEM_write_bio_X509(cert_bio.get(), server) != 1 ||
      PEM_write_bio_PrivateKey_traditional(key_bio.get(), server_key, nullptr, nullptr, 0, nullptr,
                                           nullptr) != 1) {
    return false;
  }
  files->server_pem = BioText(cert_bio.get());
  files->key_pem = BioText(key_bio.get());
  return !files->server_pem.empty() && !files->key_pem.empty();
}

CertPtr PemCertificate(const std::string& pem) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  return CertPtr(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

KeyPtr PemKey(const std::string& pem) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  return KeyPtr(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

// The verifier's verdict on `server` under `root` alone, at `when`, for one name.
bool ChainsFor(X509* root, X509* server, const std::string& dns, const std::string& ip,
               std::time_t when) {
  X509_STORE* store = X509_STORE_new();
  X509_STORE_CTX* ctx = X509_STORE_CTX_new();
  bool ok = store && ctx && X509_STORE_add_cert(store, root) == 1 &&
            X509_STORE_CTX_init(ctx, store, server, nullptr) == 1;
  if (ok) {
    X509_VERIFY_PARAM* param = X509_STORE_CTX_get0_param(ctx);
    X509_VERIFY_PARAM_set_time(param, when);
    X509_VERIFY_PARAM_set_purpose(param, X509_PURPOSE_SSL_SERVER);
    ok = (dns.empty() || X509_VERIFY_PARAM_set1_host(param, dns.c_str(), 0) == 1) &&
         (ip.empty() || X509_VERIFY_PARAM_set1_ip_asc(param, ip.c_str()) == 1) &&
         X509_verify_cert(ctx) == 1;
  }
  X509_STORE_CTX_free(ctx);
  X509_STORE_free(store);
  return ok;
}

}  // namespace

bool SealFilesUsable(const std::string& root_der, const std::string& server_pem,
                     const std::string& key_pem, const HostNames& names, std::time_t now) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(root_der.data());
  CertPtr root(d2i_X509(nullptr, &p, static_cast<long>(root_der.size())));
  CertPtr server = PemCertificate(server_pem);
  KeyPtr key = PemKey(key_pem);
  bool ok = root && server && key &&
            IsSuiteRoot(reinterpret_cast<const unsigned char*>(root_der.data()), root_der.size()) &&
            X509_check_private_key(server.get(), key.get()) == 1;
  for (std::time_t when : {now, now + static_cast<std::time_t>(kRenewDays) * 24 * 3600}) {
    for (const std::string& dns : names.dns)
      ok = ok && ChainsFor(root.get(), server.get(), dns, "", when);
    for (const std::string& ip : names.ipv4)
      ok = ok && ChainsFor(root.get(), server.get(), "", ip, when);
  }
  ERR_clear_error();
  return ok;
}

bool IsValidDnsName(const std::string& name) {
  if (name.empty() || name.size() > 253) return false;
  std::size_t label = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == '.') {
      if (label == 0 || label > 63 || name[i - 1] == '-' || name[i - label] == '-') return false;
      label = 0;
    } else if (std::isalnum(static_cast<unsigned char>(name[i])) || name[i] == '-') {
      ++label;
    } else {
      return false;
    }
  }
  return true;
}

HostNames ResponderHostNames() {
  HostNames names{{kLocalhost}, {kLoopback}};
  std::string host = Lower(TESSAL_RESPONDER_HOST);
  if (!host.empty() && host != kLocalhost) names.dns.push_back(host);
  return names;
}

KeyPtr NewKey() { return KeyPtr(EVP_EC_gen("P-256")); }

CertPtr MakeRootCertificate(EVP_PKEY* root_key, const HostNames& names, std::time_t now) {
  auto subject = MakeName(kRootCommonName);
  if (!subject || !AllValid(names)) return nullptr;
  CertPtr root = StartCertificate(subject.get(), nullptr, root_key, now);
  X509* r = root.get();
  // The constraints are what make a per-PC root harmless: whoever could use it
  // could still vouch only for this PC's own loopback names. serverAuth keeps it
  // from vouching for code or mail on Windows, which applies a root's usages to
  // every certificate below it.
  bool ok = r && AddExtension(r, r, NID_basic_constraints, "critical,CA:TRUE,pathlen:0") &&
            AddExtension(r, r, NID_key_usage, "critical,keyCertSign,cRLSign") &&
            AddExtension(r, r, NID_ext_key_usage, "serverAuth") &&
            AddExtension(r, r, NID_subject_key_identifier, "hash") &&
            AddExtension(r, r, NID_name_constraints,
                         "critical," + NameList(names, "permitted;", "/255.255.255.255")) &&
            X509_sign(r, root_key, EVP_sha256()) > 0;
  return ok ? std::move(root) : nullptr;
}

CertPtr MakeServerCertificate(X509* root, EVP_PKEY* root_key, EVP_PKEY* server_key,
                              const HostNames& names, std::time_t now) {
  if (!AllValid(names)) return nullptr;
  auto subject = MakeName(names.dns.empty() ? names.ipv4[0].c_str() : names.dns[0].c_str());
  if (!subject) return nullptr;
  CertPtr server = StartCertificate(subject.get(), root, server_key, now);
  X509* s = server.get();
  // An EC key signs the handshake and never encrypts, so no keyEncipherment.
  bool ok = s && AddExtension(s, root, NID_basic_constraints, "critical,CA:FALSE") &&
            AddExtension(s, root, NID_key_usage, "critical,digitalSignature") &&
            AddExtension(s, root, NID_ext_key_usage, "serverAuth") &&
            AddExtension(s, root, NID_subject_key_identifier, "hash") &&
            AddExtension(s, root, NID_authority_key_identifier, "keyid:always") &&
            AddExtension(s, root, NID_subject_alt_name, NameList(names, "", "")) &&
            X509_sign(s, root_key, EVP_sha256()) > 0;
  return ok ? std::move(server) : nullptr;
}

SealFiles::~SealFiles() {
  if (!key_pem.empty()) OPENSSL_cleanse(&key_pem[0], key_pem.size());
}

bool MakeSealFiles(const HostNames& names, std::time_t now, SealFiles* files, std::string* error) {
  ERR_clear_error();
  KeyPtr server_key = NewKey();
  CertPtr root, server;
  {
    KeyPtr root_key = NewKey();
    if (!root_key || !server_key) {
      *error = StepError("making a key");
      return false;
    }
    root = MakeRootCertificate(root_key.get(), names, now);
    if (root)
      server = MakeServerCertificate(root.get(), root_key.get(), server_key.get(), names, now);
  }  // the root's key is gone from here on: nothing can be signed with it again
  if (!root || !server) {
    *error = StepError(root ? "making the server certificate" : "making the root certificate");
    return false;
  }
  if (!Serialise(root.get(), server.get(), server_key.get(), files)) {
    *error = StepError("writing the certificates and the key");
    return false;
  }
  return true;
}

bool IsSuiteRoot(const unsigned char* der, std::size_t size) {
  const unsigned char* p = der;
  CertPtr cert(d2i_X509(nullptr, &p, static_cast<long>(size)));
  auto expected = MakeName(kRootCommonName);
  ERR_clear_error();
  if (!cert || !expected || p != der + size) return false;
  X509* c = cert.get();
  int constraints = X509_get_ext_by_NID(c, NID_name_constraints, -1);
  bool ok = X509_NAME_cmp(X509_get_subject_name(c), expected.get()) == 0 &&
            X509_NAME_cmp(X509_get_issuer_name(c), expected.get()) == 0 && X509_check_ca(c) >= 1 &&
            constraints >= 0 && X509_EXTENSION_get_critical(X509_get_ext(c, constraints)) == 1 &&
            X509_verify(c, X509_get0_pubkey(c)) == 1;
  ERR_clear_error();
  return ok;
}

}  // namespace seal
