#include "agent/core/verdict.h"

#include <algorithm>
#include <cstdio>

#include "agent/core/host_names.h"
#include "agent/core/hosts_guard.h"
#include "agent/core/tagged_text.h"
#include "common/core/ansi_text.h"

namespace kestra {

RecordRequest ParseRecordText(std::string_view text) {
  RecordRequest r;
  std::size_t first = text.find('|');
  if (first == std::string_view::npos) return r;
  r.host = tessal::LowerAnsi(text.substr(0, first));
  std::size_t second = text.find('|', first + 1);
  if (second != std::string_view::npos)
    r.address = std::string(text.substr(first + 1, second - first - 1));
  return r;
}

std::string DomainOf(std::string_view host) {
  std::size_t dot = host.find('.');
  return dot == std::string_view::npos ? std::string() : std::string(host.substr(dot + 1));
}

std::optional<TargetMatch> FindTarget(const std::vector<ObservationTarget>& targets,
                                      std::string_view host) {
  for (std::size_t i = 0; i < targets.size(); ++i) {
    const ObservationTarget& t = targets[i];
    if (t.use_urls && !host.empty() && t.use_urls->find(host) != std::string::npos) {
      return TargetMatch{i, true};
    }
    // A target without a main host would otherwise contain-match every site.
    if (!t.main_host.empty() && host.find(t.main_host) != std::string_view::npos) {
      return TargetMatch{i, false};
    }
  }
  return std::nullopt;
}

bool IsGenuineAddress(const ObservationTarget& t, bool use_url_match, std::string_view address) {
  if (address == t.main_ip) return true;
  return use_url_match && t.use_ips && t.use_ips->find(address) != std::string::npos;
}

std::optional<std::string> ExpectedCertificateDomain(const ObservationTarget& t) {
  if (!t.certificate) return std::nullopt;
  const std::string marker = "[SUBJECT]CN=";
  std::size_t at = t.certificate->find(marker);
  if (at == std::string::npos) return std::nullopt;
  std::string cn = t.certificate->substr(at + marker.size());
  cn = cn.substr(0, cn.find(','));
  std::size_t dot = cn.find('.');
  return dot == std::string::npos ? cn : cn.substr(dot + 1);
}

AlertLines ChooseAlertLines(const std::string& host, bool certificate_failed, bool content_failed) {
  AlertLines lines;
  lines.line1 = host.empty() ? "DNS 속성비정상" : "[" + host + "]";
  if (certificate_failed) {
    lines.line2 = "요청사이트는\r\n인증서오류입니다.\r\n사용불가";
  } else if (content_failed) {
    lines.line2 = "요청사이트는\r\n내용오류입니다.\r\n사용불가";
  } else {
    lines.line2 = "요청사이트는\r\n비정상입니다.\r\n사용불가";
  }
  return lines;
}

std::string EventText(int kind, const std::string& host, const std::string& address) {
  const char* format;
  switch (kind) {
    case kKindAddress: format = "[%s]에 대한 [%s]주소 파밍시도"; break;
    case kKindDnsSettings: return "DNS 속성변경 파밍시도";
    case kKindCertificate: format = "[%s]에 대한 [%s]접속 파밍시도"; break;
    case kKindContent: format = "[%s]에 대한 [%s]내용 파밍시도"; break;
    default: format = "[%s]에 대한 [%s]기타 파밍시도"; break;
  }
  // The address is the requester's text: only a literal reaches the server's log.
  std::string logged = LoggableAddress(address);
  std::string out(host.size() + logged.size() + 64, '\0');
  int n = std::snprintf(out.data(), out.size(), format, host.c_str(), logged.c_str());
  out.resize(n > 0 ? std::min(static_cast<std::size_t>(n), out.size() - 1) : 0);
  return out;
}

const char* VerdictText(Verdict verdict) {
  switch (verdict) {
    case Verdict::kOk: return "OK";
    case Verdict::kNot: return "NOT";
    case Verdict::kUnknown: return "UNKNOWN";
    case Verdict::kNone: break;
  }
  return "";
}

namespace {

struct Run {
  std::string host, address, company_id;
  Verdict verdict = Verdict::kNone;
  int kind = kKindAddress;
  bool certificate_failed = false;
  bool content_failed = false;
};

void HandleVerdict(Run& run, int32_t number, InspectionState& inspection, PolicyState& policy,
                   InspectionHost& host) {
  bool refused = run.verdict == Verdict::kNot;
  AlertLines lines;
  if (refused) {
    lines = ChooseAlertLines(run.host, run.certificate_failed, run.content_failed);
    host.SendBrowserAlert();
    // Before the alert, whose text promises the repair.
    if (ChecksHostsAfterVerdict(run.verdict, run.kind)) host.GuardHostsFile();
  }
  if (!refused && number != 0) host.WriteRecord(number, VerdictText(run.verdict));
  if (run.verdict == Verdict::kNone || run.verdict == Verdict::kUnknown) return;

  std::string company = run.company_id;
  if (company.empty()) company = inspection.last_company_id;
  if (company.empty()) {
    company = policy.table.Read([](const TargetContents& c) {
      return c.targets.empty() ? std::string() : c.targets.front().company_id;
    });
  }
  host.CommAccess(company);
  host.CommSetCompany(company);
  if (!refused) return;

  if (host.NotifierReady()) {
    if (host.NotifierShowing()) return;  // one alert at a time; the evidence stays
    host.ShowNotice(lines.line1, lines.line2, run.host, run.kind);
    host.CommLog(company, EventText(run.kind, run.host, run.address), run.kind);
  }
  if (IsSafeHostName(run.host) && !host.DeleteEvidence(run.host, number))
    host.DeleteEvidence(run.host, number);
}

// Repeat suppression on the domain (the host after its first "."): true when the
// same domain was stored less than a minute ago. A domain that stays the same is
// inspected again from 60 s after it was first stored, and then every time.
bool IsRepeat(InspectionState& inspection, const std::string& domain, uint64_t now) {
  if (!inspection.last_domain.empty()) {
    bool same = tessal::EqualsIgnoreCase(inspection.last_domain, domain);
    if (same && now - inspection.last_domain_ms < kRepeatWindowMs) return true;
    if (!same) inspection.last_domain.clear();
  }
  if (inspection.last_domain.empty()) {
    inspection.last_domain = domain;
    inspection.last_domain_ms = now;
  }
  return false;
}

// The address check against the matched target; false when the table was rebuilt
// meanwhile and the target is gone.
bool CheckAddress(Run& run, const TargetMatch& match, PolicyState& policy) {
  return policy.table.Read([&](const TargetContents& c) {
    if (match.index >= c.targets.size()) return false;
    const ObservationTarget& t = c.targets[match.index];
    run.company_id = t.company_id;
    run.verdict =
        IsGenuineAddress(t, match.use_url_match, run.address) ? Verdict::kOk : Verdict::kNot;
    run.kind = kKindAddress;
    return true;
  });
}

// Certificate and content checks on the evidence file of a genuine address.
void CheckEvidence(Run& run, const TargetMatch& match, int32_t number, PolicyState& policy,
                   InspectionHost& host) {
  // The host name becomes part of a file name: only a plain DNS name may.
  if (!IsSafeHostName(run.host)) return;
  std::string evidence = host.ReadEvidence(run.host, number);
  if (evidence.empty()) return;
  std::string cert;
  FindTag(evidence, "CERT", &cert);
  std::optional<std::string> expected =
      policy.table.Read([&](const TargetContents& c) -> std::optional<std::string> {
        if (match.index >= c.targets.size()) return std::nullopt;
        return ExpectedCertificateDomain(c.targets[match.index]);
      });
  if (expected && !cert.empty() && cert.find(*expected) == std::string::npos) {
    run.verdict = Verdict::kNot;
    run.kind = kKindCertificate;
    run.certificate_failed = true;
    return;
  }
  host.Wait(kCheckWaitMs);
  std::string hash;
  FindTag(evidence, "HASH", &hash);
  bool differs = policy.table.Read([&](const TargetContents& c) {
    return match.index < c.targets.size() &&
           !tessal::EqualsIgnoreCase(hash, c.targets[match.index].hash_data);
  });
  if (differs) run.content_failed = true;
}

}  // namespace

std::string InspectRecord(InspectionState& inspection, PolicyState& policy, InspectionHost& host) {
  int32_t number = inspection.current_record;
  auto finish = [&](Verdict verdict) {
    inspection.current_record = 0;
    policy.inspection_running = false;
    return std::string(VerdictText(verdict));
  };
  if (policy.edition == Edition::kR) return finish(Verdict::kNone);
  if (policy.refresh_running) {
    policy.inspection_running = false;
    return "";  // the message handler tries again
  }
  policy.inspection_running = true;

  std::optional<std::string> exclusion = host.ReadExclusionFile();
  if (exclusion && !exclusion->empty()) {
    std::string mac = host.MacText();
    if (!mac.empty() && exclusion->find(mac + ";") != std::string::npos)
      return finish(Verdict::kNone);
  }

  std::optional<std::string> record = host.ReadRecord(number);
  if (!record) return finish(Verdict::kNone);
  RecordRequest request = ParseRecordText(*record);
  host.ShowTrayIconForAWhile();
  if (request.host.empty() || request.address.empty() ||
      request.host.find('.') == std::string::npos) {
    return finish(Verdict::kNone);
  }
  if (IsRepeat(inspection, DomainOf(request.host), host.NowMs())) return finish(Verdict::kNone);

  Run run;
  run.host = request.host;
  run.address = request.address;
  std::optional<TargetMatch> match = policy.table.Read(
      [&](const TargetContents& c) { return FindTarget(c.targets, request.host); });
  if (!match) {
    run.verdict = Verdict::kUnknown;
  } else {
    host.Wait(kCheckWaitMs);
    if (!CheckAddress(run, *match, policy)) return finish(Verdict::kNone);
    if (run.verdict == Verdict::kOk) CheckEvidence(run, *match, number, policy, host);
  }
  if (!run.company_id.empty()) inspection.last_company_id = run.company_id;

  HandleVerdict(run, number, inspection, policy, host);
  return finish(run.verdict);
}

void RaiseDnsAlert(InspectionState& inspection, PolicyState& policy, InspectionHost& host) {
  if (policy.edition == Edition::kR) return;
  policy.inspection_running = true;
  Run run;
  run.verdict = Verdict::kNot;
  run.kind = kKindDnsSettings;
  HandleVerdict(run, 0, inspection, policy, host);
  inspection.current_record = 0;
  policy.inspection_running = false;
}

}  // namespace kestra
