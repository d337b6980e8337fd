// The protected-browser stand-in as a requester: its command line, the texts it
// writes into the record and evidence files, and how it reads what the agent
// writes back into its record file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brelgo {

struct Request {
  std::string host;
  std::string address;
  std::optional<std::string> cert;  // --cert
  std::optional<std::string> hash;  // --hash
};

struct Options {
  std::string log;
  int record = 0;
  std::vector<Request> requests;  // in order, each after the previous verdict
  int delay_ms = 0;               // pause before each request
  int verdict_ms = 8000;          // how long a verdict is awaited
  bool release_at_exit = false;
};

// --log FILE, --record N, --inspect HOST ADDR (repeatable), --cert TEXT and
// --hash TEXT (for the --inspect before them), --delay MS, --verdict-ms MS,
// --release-at-exit. False with a message for anything else.
bool ParseOptions(const std::vector<std::string>& args, Options* out, std::string* error);

// "HOST|ADDR|"
std::string RecordText(const Request& request);
// "<CERT>..</CERT><HASH>..</HASH>" with the parts given; empty when neither is.
std::string EvidenceText(const Request& request);

// Follows the record file: reports each change of its content (or of its write
// time, so that the same broadcast twice counts twice) as log lines, and the
// verdict of the pending request, or "verdict none" when none came in time.
class RecordWatch {
 public:
  struct Step {
    std::vector<std::string> lines;  // to log, in order
    bool terminate = false;          // "<TERMINATE></TERMINATE>" arrived
    bool verdict_settled = false;    // the pending request has its verdict (or none)
  };

  // The requester has just written request_text; a verdict is awaited until
  // now_ms + wait_ms.
  void Requested(const std::string& request_text, uint64_t stamp, uint64_t now_ms, int wait_ms);
  bool awaiting() const { return awaiting_; }

  // One look at the file: its content (nullopt when it cannot be read) and write
  // stamp. An empty content is a writer caught between cut and write, not news.
  // The first look only learns what the file held before.
  Step Poll(const std::optional<std::string>& content, uint64_t stamp, uint64_t now_ms);

 private:
  std::string last_content_;
  uint64_t last_stamp_ = 0;
  bool primed_ = false;
  bool awaiting_ = false;
  uint64_t deadline_ms_ = 0;
};

// Log line for one content the agent wrote: "TERMINATE", "DNS <url> <addr>",
// "URL_CANONICAL <url>", else "verdict <text>" when a verdict is awaited and
// "record <text>" otherwise.
std::string DescribeRecord(std::string_view text, bool awaiting_verdict);

}  // namespace brelgo
