#include "standins/browser/core/requester.h"

#include <cerrno>
#include <cstdlib>

namespace brelgo {

namespace {

bool ParseInt(const std::string& text, int min, int max, int* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < min || v > max) return false;
  *out = static_cast<int>(v);
  return true;
}

// Content of the first <name>..</name>, or nullopt.
std::optional<std::string> Tag(std::string_view text, std::string_view name) {
  std::string open = "<" + std::string(name) + ">";
  std::string close = "</" + std::string(name) + ">";
  std::size_t a = text.find(open);
  if (a == std::string_view::npos) return std::nullopt;
  std::size_t b = text.find(close, a + open.size());
  if (b == std::string_view::npos) return std::nullopt;
  return std::string(text.substr(a + open.size(), b - a - open.size()));
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, Options* out, std::string* error) {
  Options o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& opt = args[i];
    static const char* const kKnown[] = {"--log",  "--record", "--inspect",    "--cert",
                                         "--hash", "--delay",  "--verdict-ms", "--release-at-exit"};
    bool known = false;
    for (const char* k : kKnown) known = known || opt == k;
    if (!known) {
      *error = "unknown option " + opt;
      return false;
    }
    std::size_t need = opt == "--inspect" ? 2 : opt == "--release-at-exit" ? 0 : 1;
    if (args.size() - 1 - i < need) {
      *error = "missing value for " + opt;
      return false;
    }
    if (opt == "--log") {
      o.log = args[++i];
    } else if (opt == "--record") {
      if (!ParseInt(args[++i], 1, 0x7FFFFFFF, &o.record)) {
        *error = "bad record number " + args[i];
        return false;
      }
    } else if (opt == "--inspect") {
      o.requests.push_back({args[i + 1], args[i + 2], std::nullopt, std::nullopt});
      i += 2;
    } else if (opt == "--cert" || opt == "--hash") {
      if (o.requests.empty()) {
        *error = opt + " before any --inspect";
        return false;
      }
      (opt == "--cert" ? o.requests.back().cert : o.requests.back().hash) = args[++i];
    } else if (opt == "--delay") {
      if (!ParseInt(args[++i], 0, 600000, &o.delay_ms)) {
        *error = "bad --delay " + args[i];
        return false;
      }
    } else if (opt == "--verdict-ms") {
      if (!ParseInt(args[++i], 0, 600000, &o.verdict_ms)) {
        *error = "bad --verdict-ms " + args[i];
        return false;
      }
    } else {
      o.release_at_exit = true;
    }
  }
  if (!o.requests.empty() && o.record == 0) {
    *error = "--inspect needs --record";
    return false;
  }
  *out = std::move(o);
  return true;
}

std::string RecordText(const Request& r) { return r.host + "|" + r.address + "|"; }

std::string EvidenceText(const Request& r) {
  std::string text;
  if (r.cert) text += "<CERT>" + *r.cert + "</CERT>";
  if (r.hash) text += "<HASH>" + *r.hash + "</HASH>";
  return text;
}

std::string DescribeRecord(std::string_view text, bool awaiting_verdict) {
  if (text.find("<TERMINATE></TERMINATE>") != std::string_view::npos) return "TERMINATE";
  std::optional<std::string> dns = Tag(text, "DNS");
  if (dns) return "DNS " + *dns + " " + Tag(text, "ADR").value_or("");
  std::optional<std::string> url = Tag(text, "URL_CANONICAL");
  if (url) return "URL_CANONICAL " + *url;
  return (awaiting_verdict ? "verdict " : "record ") + std::string(text);
}

void RecordWatch::Requested(const std::string& request_text, uint64_t stamp, uint64_t now_ms,
                            int wait_ms) {
  last_content_ = request_text;
  last_stamp_ = stamp;
  primed_ = true;
  awaiting_ = true;
  deadline_ms_ = now_ms + static_cast<uint64_t>(wait_ms < 0 ? 0 : wait_ms);
}

RecordWatch::Step RecordWatch::Poll(const std::optional<std::string>& content, uint64_t stamp,
                                    uint64_t now_ms) {
  Step step;
  if (!primed_) {
    // Whatever the file held before this requester took part is old news.
    primed_ = true;
    if (content) last_content_ = *content;
    last_stamp_ = stamp;
    return step;
  }
  if (content && !content->empty() && (*content != last_content_ || stamp != last_stamp_)) {
    last_content_ = *content;
    last_stamp_ = stamp;
    std::string line = DescribeRecord(*content, awaiting_);
    bool broadcast =
        line == "TERMINATE" || line.rfind("DNS ", 0) == 0 || line.rfind("URL_CANONICAL ", 0) == 0;
    step.lines.push_back(line);
    if (line == "TERMINATE") step.terminate = true;
    if (awaiting_ && !broadcast) {
      awaiting_ = false;
      step.verdict_settled = true;
    }
  }
  if (awaiting_ && now_ms >= deadline_ms_) {
    awaiting_ = false;
    step.verdict_settled = true;
    step.lines.push_back("verdict none");
  }
  return step;
}

}  // namespace brelgo
