// The pharming toast and its alert box driven for real on this thread: a watcher
// thread plays the user, finding the alert box by its window and clicking it.
// The alert delay and the terminate loop's pause are shortened, every wait bounded.
#include "agent/win/notify.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "agent/core/record_files.h"
#include "agent/core/toast_state.h"
#include "agent/win/agent_state.h"
#include "agent/win/notify_resource.h"
#include "tests/support/win_harness.h"

namespace kestra {
namespace {

constexpr UINT kShortDelayMs = 60;
constexpr DWORD kBound = 10000;  // every wait for the dialogs

const wchar_t kTextA0[] =
    L"(A0) DNS 파싱 해킹이 의심됩니다.\r\n"
    L"확실하지 않을 경우 거래를 중단하시는게 안전합니다.\r\n"
    L"모든 브라우저를 지금 종료하시겠습니까?";
const wchar_t kTextE1[] =
    L"(E1) 파밍시도가 의심됩니다.\r\n"
    L"확실하지 않을 경우 거래를 중단하시는게 안전합니다.\r\n"
    L"모든 브라우저를 지금 종료하시겠습니까?\r\n"
    L"윈도우 호스트파일은 자동 수정 및 백업됩니다(hosts_backup)";

using harness::PumpUntil;

// A fixed wait, for what must not happen meanwhile.
void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

// A callback of the system's calling convention (a lambda is not one on x86).
BOOL CALLBACK NoteChildToPaint(HWND child, LPARAM pending) {
  if (!GetUpdateRect(child, nullptr, FALSE)) return TRUE;
  *reinterpret_cast<bool*>(pending) = true;
  return FALSE;
}

// Neither the window nor any of its children is still to be painted.
bool NothingToPaint(HWND w) {
  if (GetUpdateRect(w, nullptr, FALSE)) return false;
  bool pending = false;
  EnumChildWindows(w, NoteChildToPaint, reinterpret_cast<LPARAM>(&pending));
  return !pending;
}

// From another thread: the window's own thread has painted it all (the round trip
// lets a paint that has begun finish).
bool WaitPainted(HWND w) {
  DWORD_PTR ignored;
  return harness::WaitUntil([w] { return NothingToPaint(w); }, kBound, 5) &&
         SendMessageTimeoutW(w, WM_NULL, 0, 0, SMTO_NORMAL, kBound, &ignored) != 0;
}

// The thread is in the system's loop that drags one of its windows.
bool InMoveLoop(DWORD thread) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  return GetGUIThreadInfo(thread, &info) && (info.flags & GUI_INMOVESIZE) != 0;
}

std::wstring ControlText(HWND dialog, int id) {
  wchar_t text[2048] = L"";
  GetWindowTextW(GetDlgItem(dialog, id), text, 2048);
  return text;
}

// The alert box: a dialog owned by the toast, with the message control 1008.
struct AlertSearch {
  HWND toast;
  HWND found;
};

BOOL CALLBACK IsAlertBox(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<AlertSearch*>(lp);
  char cls[16] = "";
  GetClassNameA(w, cls, sizeof(cls));
  if (std::strcmp(cls, "#32770") == 0 && GetWindow(w, GW_OWNER) == s->toast &&
      GetDlgItem(w, IDC_ALERT_TEXT) != nullptr && IsWindowVisible(w)) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

HWND FindAlertBox(DWORD ui_thread, HWND toast) {
  AlertSearch search{toast, nullptr};
  EnumThreadWindows(ui_thread, &IsAlertBox, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Plays the user: every alert box that shows is recorded, then handed to the action.
class AlertWatcher {
 public:
  struct Seen {
    std::wstring text;
    RECT rect{};
    LONG_PTR ex_style = 0;
  };

  AlertWatcher(HWND toast, std::function<void(HWND)> action)
      : ui_thread_(GetCurrentThreadId()), toast_(toast), action_(std::move(action)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~AlertWatcher() {
    stop_ = true;
    thread_.join();
  }
  int count() const { return count_; }
  Seen last() {
    std::lock_guard<std::mutex> lock(mutex_);
    return last_;
  }

 private:
  void Run() {
    HWND current = nullptr;
    while (!stop_) {
      HWND box = FindAlertBox(ui_thread_, toast_);
      if (box != nullptr && box != current) {
        current = box;
        Seen seen;
        seen.text = ControlText(box, IDC_ALERT_TEXT);
        GetWindowRect(box, &seen.rect);
        seen.ex_style = GetWindowLongPtrW(box, GWL_EXSTYLE);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          last_ = seen;
        }
        ++count_;
        if (action_) action_(box);
      } else if (box == nullptr) {
        current = nullptr;
      }
      Sleep(5);
    }
  }

  DWORD ui_thread_;
  HWND toast_;
  std::function<void(HWND)> action_;
  std::atomic<bool> stop_{false};
  std::atomic<int> count_{0};
  std::mutex mutex_;
  Seen last_;
  std::thread thread_;
};

void Click(HWND dialog, int id) { PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }
void AnswerYes(HWND box) { Click(box, IDOK); }
void AnswerNo(HWND box) { Click(box, IDCANCEL); }

std::string ReadAll(const std::string& path) {
  std::string out;
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "<missing>";
  char buf[512];
  DWORD n = 0;
  while (ReadFile(f, buf, sizeof(buf), &n, nullptr) && n > 0) out.append(buf, n);
  CloseHandle(f);
  return out;
}

void WriteAll(const std::string& path, const std::string& text) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE) << path;
  DWORD n = 0;
  WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
  CloseHandle(f);
}

// Another process that holds a record file open the way a requester does while it
// writes, until it is told to let go.
class FileHolder {
 public:
  explicit FileHolder(const std::string& path) {
    static int serial = 0;
    std::string base = "kestra_notify_test_" + std::to_string(GetCurrentProcessId()) + "_" +
                       std::to_string(++serial);
    held_ = CreateEventA(nullptr, TRUE, FALSE, (base + "_held").c_str());
    release_ = CreateEventA(nullptr, TRUE, FALSE, (base + "_release").c_str());
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof(self));
    std::string cmd = "\"" + std::string(self) + "\" --hold-file \"" + path + "\" " + base;
    STARTUPINFOA si{};
    si.cb = sizeof(si);
    started_ = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &si, &pi_);
  }
  ~FileHolder() {
    Release();
    if (started_) {
      WaitForSingleObject(pi_.hProcess, kBound);
      CloseHandle(pi_.hProcess);
      CloseHandle(pi_.hThread);
    }
    CloseHandle(held_);
    CloseHandle(release_);
  }
  bool WaitHeld() { return started_ && WaitForSingleObject(held_, kBound) == WAIT_OBJECT_0; }
  // Lets go of the file and waits until the holder has ended.
  bool Release() {
    SetEvent(release_);
    return started_ && WaitForSingleObject(pi_.hProcess, kBound) == WAIT_OBJECT_0;
  }

 private:
  HANDLE held_, release_;
  PROCESS_INFORMATION pi_{};
  bool started_ = false;
};

int HoldFileMain(const char* path, const std::string& base) {
  HANDLE held = OpenEventA(EVENT_MODIFY_STATE, FALSE, (base + "_held").c_str());
  HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, (base + "_release").c_str());
  if (held == nullptr || release == nullptr) return 2;
  HANDLE f = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 3;
  SetEvent(held);
  WaitForSingleObject(release, 30000);
  CloseHandle(f);
  return 0;
}

class NotifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmp[MAX_PATH];
    GetTempPathA(sizeof(tmp), tmp);
    static int serial = 0;
    work_ = std::string(tmp) + "kestra_notify_" + std::to_string(GetCurrentProcessId()) + "_" +
            std::to_string(++serial);
    ASSERT_TRUE(CreateDirectoryA(work_.c_str(), nullptr));
    Agent().work_folder = work_;
    Agent().work = tessal::SafeFolder::Hold(work_);
    ASSERT_TRUE(Agent().work.valid());
    ASSERT_TRUE(toast_.Create(nullptr));
    toast_.SetTimingForTest(kShortDelayMs, [this] { ++pauses_; });
  }
  void TearDown() override {
    for (int32_t n : registered_) Agent().records.Release(n);
    for (const std::string& f : files_) DeleteFileA(f.c_str());
    Agent().work = tessal::SafeFolder();
    RemoveDirectoryA(work_.c_str());
  }

  // Registers a requester and gives its record file a content.
  std::string Requester(int32_t number, const std::string& content) {
    Agent().records.Register(number);
    registered_.push_back(number);
    std::string path = RecordFileName(work_, number);
    files_.push_back(path);
    WriteAll(path, content);
    return path;
  }

  void Refuse(int kind, const char* host = "www.bank.example") {
    std::string line1 = std::string("[") + host + "]";
    toast_.ShowNotice(0, line1.c_str(), "요청사이트는\r\n비정상입니다.\r\n사용불가", host, kind);
  }

  bool WaitAnswered() {
    return PumpUntil([this] { return !toast_.showing(); }, kBound);
  }

  CNotify toast_;
  std::string work_;
  std::vector<int32_t> registered_;
  std::vector<std::string> files_;
  int pauses_ = 0;
};

TEST_F(NotifyTest, ToastSlidesInAtTheCornerWithTheRefusal) {
  Refuse(0);
  HWND w = toast_.hwnd();
  EXPECT_TRUE(IsWindowVisible(w));
  EXPECT_TRUE(toast_.showing());
  EXPECT_EQ(toast_.mode(), kModeRefusal);
  EXPECT_STREQ(toast_.host(), "www.bank.example");
  EXPECT_NE(GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_NE(GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, 0);
  // No taskbar here: the bottom-right corner.
  RECT r;
  GetWindowRect(w, &r);
  EXPECT_EQ(r.right, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(r.bottom, GetSystemMetrics(SM_CYSCREEN));
  EXPECT_EQ(ControlText(w, IDC_NOTIFY_LINE1), L"[www.bank.example]");
  EXPECT_EQ(ControlText(w, IDC_NOTIFY_LINE2), L"요청사이트는\r\n비정상입니다.\r\n사용불가");
  EXPECT_EQ(ControlText(w, IDCANCEL), L"확인");
  EXPECT_EQ(ControlText(w, IDOK), L"연결하기");
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(w, IDOK)));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(w, IDC_NOTIFY_REFUSAL_ICON)));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(w, IDC_NOTIFY_NORMAL_ICON)));

  AlertWatcher user(w, AnswerNo);
  ASSERT_TRUE(WaitAnswered()) << "the alert box never came or was never answered";
}

TEST_F(NotifyTest, AlertTextFollowsTheVerdictKind) {
  AlertWatcher user(toast_.hwnd(), AnswerNo);
  Refuse(1);
  ASSERT_TRUE(WaitAnswered());
  ASSERT_EQ(user.count(), 1);
  EXPECT_EQ(user.last().text, kTextA0);

  Refuse(7);
  ASSERT_TRUE(WaitAnswered());
  ASSERT_EQ(user.count(), 2);
  EXPECT_EQ(user.last().text, kTextE1);

  for (int kind : {0, 2, 3}) {
    Refuse(kind);
    ASSERT_TRUE(WaitAnswered());
    std::wstring text = user.last().text;
    wchar_t code[] = L"(A?) ";
    code[2] = static_cast<wchar_t>(L'0' + (kind == 0 ? 1 : kind));
    EXPECT_EQ(text.substr(0, 5), code) << kind;
    EXPECT_NE(text.find(L"(hosts_backup)"), std::wstring::npos) << kind;
  }
  EXPECT_EQ(user.count(), 5);
}

TEST_F(NotifyTest, AlertBoxIsCentredAndTopmost) {
  AlertWatcher user(toast_.hwnd(), AnswerNo);
  Refuse(0);
  ASSERT_TRUE(WaitAnswered());
  ASSERT_EQ(user.count(), 1);
  AlertWatcher::Seen seen = user.last();
  int w = seen.rect.right - seen.rect.left, h = seen.rect.bottom - seen.rect.top;
  EXPECT_EQ(seen.rect.left, GetSystemMetrics(SM_CXSCREEN) / 2 - w / 2);
  EXPECT_EQ(seen.rect.top, GetSystemMetrics(SM_CYSCREEN) / 2 - h / 2);
  EXPECT_NE(seen.ex_style & WS_EX_TOPMOST, 0);
}

struct ControlSpec {
  int id;
  int x, y, w, h;  // dialog units; pictures take their bitmap's size
  bool picture;
};

// Each control's place against the layout the template is built from
// (notify_resource.h), in this dialog's units.
void ExpectLayout(HWND dialog, const std::vector<ControlSpec>& specs) {
  for (const ControlSpec& c : specs) {
    SCOPED_TRACE(c.id);
    HWND control = GetDlgItem(dialog, c.id);
    ASSERT_NE(control, nullptr);
    // Places and sizes are converted on their own, as the dialog manager does.
    RECT units{c.x, c.y, c.w, c.h};
    MapDialogRect(dialog, &units);
    RECT want{units.left, units.top, units.left + units.right, units.top + units.bottom};
    RECT got;
    GetWindowRect(control, &got);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&got), 2);
    EXPECT_EQ(got.left, want.left);
    EXPECT_EQ(got.top, want.top);
    if (!c.picture) {
      EXPECT_EQ(got.right, want.right);
      EXPECT_EQ(got.bottom, want.bottom);
    }
  }
}

LOGFONTW FontOf(HWND dialog) {
  LOGFONTW lf{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), sizeof(lf), &lf);
  return lf;
}

// The font a dialog template asks for, read from this program's resources (Wine
// creates dialog fonts with the default character set whatever the template says).
struct TemplateFont {
  int points = 0;
  int charset = -1;
  std::wstring face;
};

TemplateFont FontOfTemplate(int id) {
  TemplateFont font;
  HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
  if (res == nullptr) return font;
  const auto* p = static_cast<const WORD*>(LockResource(LoadResource(nullptr, res)));
  if (p == nullptr || p[0] != 1 || p[1] != 0xFFFF) return font;  // DLGTEMPLATEEX only
  p += 2 + 2 + 2 + 2 + 1 + 4;  // version, signature, help id, ex style, style, items, x y cx cy
  for (int field = 0; field < 3; ++field) {  // menu, class, title
    if (*p == 0xFFFF) {
      p += 2;
    } else {
      while (*p != 0) ++p;
      ++p;
    }
  }
  font.points = p[0];
  font.charset = HIBYTE(p[2]);
  font.face = reinterpret_cast<const wchar_t*>(p + 3);
  return font;
}

LONG_PTR StyleOf(HWND w) { return GetWindowLongPtrW(w, GWL_STYLE); }
LONG_PTR ExStyleOf(HWND w) { return GetWindowLongPtrW(w, GWL_EXSTYLE); }

TEST_F(NotifyTest, ToastTemplate) {
  HWND w = toast_.hwnd();
  EXPECT_FALSE(IsWindowVisible(w));  // created hidden
  EXPECT_EQ(StyleOf(w) & (WS_POPUP | WS_BORDER | WS_SYSMENU | WS_CAPTION),
            static_cast<LONG_PTR>(WS_POPUP | WS_BORDER | WS_SYSMENU));
  EXPECT_NE(ExStyleOf(w) & WS_EX_TOOLWINDOW, 0);
  RECT size{0, 0, NOTIFY_SIZE}, client;
  MapDialogRect(w, &size);
  GetClientRect(w, &client);
  EXPECT_EQ(client.right, size.right);
  EXPECT_EQ(client.bottom, size.bottom);
  EXPECT_STREQ(FontOf(w).lfFaceName, L"굴림");
  TemplateFont font = FontOfTemplate(IDD_NOTIFY);
  EXPECT_EQ(font.points, 8);
  EXPECT_EQ(font.charset, HANGUL_CHARSET);
  EXPECT_EQ(font.face, L"굴림");

  ExpectLayout(w, {{IDCANCEL, NOTIFY_OK_RECT, false},
                   {IDOK, NOTIFY_CONNECT_RECT, false},
                   {IDC_NOTIFY_BANNER, NOTIFY_BANNER_RECT, true},
                   {IDC_NOTIFY_LINE1, NOTIFY_LINE1_RECT, false},
                   {IDC_NOTIFY_NORMAL_ICON, NOTIFY_ICON_RECT, true},
                   {IDC_NOTIFY_REFUSAL_ICON, NOTIFY_ICON_RECT, true},
                   {IDC_NOTIFY_LINE2, NOTIFY_LINE2_RECT, false}});
  HWND ok = GetDlgItem(w, IDCANCEL), connect = GetDlgItem(w, IDOK);
  EXPECT_EQ(StyleOf(ok) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_NE(StyleOf(ok) & BS_FLAT, 0);
  EXPECT_EQ(StyleOf(connect) & BS_TYPEMASK, BS_PUSHBUTTON);
  EXPECT_NE(StyleOf(connect) & BS_FLAT, 0);
  EXPECT_FALSE(IsWindowEnabled(connect));
  EXPECT_NE(ExStyleOf(GetDlgItem(w, IDC_NOTIFY_BANNER)) & WS_EX_TRANSPARENT, 0);
  EXPECT_NE(ExStyleOf(GetDlgItem(w, IDC_NOTIFY_LINE1)) & WS_EX_TRANSPARENT, 0);
  // The pictures at their own pixel sizes.
  auto pixels = [&](int id) {
    RECT r;
    GetClientRect(GetDlgItem(w, id), &r);
    return std::make_pair(r.right, r.bottom);
  };
  EXPECT_EQ(pixels(IDC_NOTIFY_BANNER), std::make_pair(145L, 33L));
  EXPECT_EQ(pixels(IDC_NOTIFY_REFUSAL_ICON), std::make_pair(30L, 30L));
  EXPECT_EQ(pixels(IDC_NOTIFY_NORMAL_ICON), std::make_pair(30L, 30L));
}

TEST_F(NotifyTest, AlertBoxTemplate) {
  std::atomic<bool> checked{false};
  AlertWatcher user(toast_.hwnd(), [&](HWND box) {
    EXPECT_EQ(StyleOf(box) & (WS_POPUP | WS_BORDER | WS_SYSMENU | WS_CAPTION),
              static_cast<LONG_PTR>(WS_POPUP | WS_BORDER | WS_SYSMENU));
    EXPECT_NE(ExStyleOf(box) & WS_EX_TOOLWINDOW, 0);
    EXPECT_NE(ExStyleOf(box) & WS_EX_TOPMOST, 0);
    RECT size{0, 0, ALERT_SIZE}, client;
    MapDialogRect(box, &size);
    GetClientRect(box, &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);
    EXPECT_STREQ(FontOf(box).lfFaceName, L"MS Shell Dlg");
    TemplateFont font = FontOfTemplate(IDD_SECURE_ALERT);
    EXPECT_EQ(font.points, 8);
    EXPECT_EQ(font.face, L"MS Shell Dlg");
    ExpectLayout(box, {{IDOK, ALERT_YES_RECT, false},
                       {IDCANCEL, ALERT_NO_RECT, false},
                       {IDC_ALERT_PICTURE, ALERT_PICTURE_RECT, true},
                       {IDC_ALERT_TEXT, ALERT_TEXT_RECT, false}});
    EXPECT_EQ(ControlText(box, IDOK), L"예");
    EXPECT_EQ(ControlText(box, IDCANCEL), L"아니오");
    EXPECT_EQ(StyleOf(GetDlgItem(box, IDOK)) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_NE(StyleOf(GetDlgItem(box, IDC_ALERT_PICTURE)) & SS_NOTIFY, 0);
    RECT pic;
    GetClientRect(GetDlgItem(box, IDC_ALERT_PICTURE), &pic);
    EXPECT_EQ(pic.right, 500);
    EXPECT_EQ(pic.bottom, 151);
    checked = true;
    AnswerNo(box);
  });
  Refuse(0);
  ASSERT_TRUE(WaitAnswered());
  EXPECT_TRUE(checked);
}

COLORREF PixelOf(HWND w, int x, int y) {
  HDC dc = GetDC(w);
  COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(w, dc);
  return c;
}

TEST_F(NotifyTest, GroundsAndTextColours) {
  Refuse(0);
  HWND w = toast_.hwnd();
  UpdateWindow(w);
  RECT client;
  GetClientRect(w, &client);
  // Below the buttons the toast is plain white.
  EXPECT_EQ(PixelOf(w, 2, client.bottom - 2), RGB(255, 255, 255));
  // Line 1's static sits on the white ground with dark grey letters.
  HWND line1 = GetDlgItem(w, IDC_NOTIFY_LINE1);
  RECT r;
  GetClientRect(line1, &r);
  bool grey_text = false;
  for (int y = 0; y < r.bottom && !grey_text; ++y) {
    for (int x = 0; x < r.right && !grey_text; ++x)
      grey_text = PixelOf(line1, x, y) == RGB(70, 70, 70);
  }
  EXPECT_TRUE(grey_text);

  COLORREF text_ground = 0, picture_ground = 0;
  int white_in_text = -1;
  AlertWatcher user(w, [&](HWND box) {
    EXPECT_TRUE(WaitPainted(box)) << "the alert box was never painted";
    HWND text = GetDlgItem(box, IDC_ALERT_TEXT);
    RECT t;
    GetClientRect(text, &t);
    text_ground = PixelOf(text, t.right - 2, t.bottom - 2);
    // The letters are drawn on the grey too, not on white cells.
    white_in_text = 0;
    HDC dc = GetDC(text);
    for (int y = 0; y < 12 && y < t.bottom; ++y) {
      for (int x = 0; x < t.right; ++x) white_in_text += GetPixel(dc, x, y) == RGB(255, 255, 255);
    }
    ReleaseDC(text, dc);
    RECT pic;
    GetClientRect(GetDlgItem(box, IDC_ALERT_PICTURE), &pic);
    picture_ground = PixelOf(GetDlgItem(box, IDC_ALERT_PICTURE), pic.right - 2, 2);
    AnswerNo(box);
  });
  ASSERT_TRUE(WaitAnswered());
  EXPECT_EQ(text_ground, RGB(247, 247, 247));
  EXPECT_EQ(white_in_text, 0);
  EXPECT_EQ(picture_ground, RGB(247, 247, 247));
}

TEST_F(NotifyTest, YesTerminatesOnlyRegisteredRequesters) {
  std::string twelve = Requester(12, "www.bank.example|10.0.0.1|");
  std::string forty = Requester(40, "www.bank.example|10.0.0.2|");
  Agent().records.Release(12);

  AlertWatcher user(toast_.hwnd(), AnswerYes);
  Refuse(0);
  ASSERT_TRUE(WaitAnswered());
  EXPECT_EQ(user.count(), 1);
  EXPECT_EQ(toast_.answer(), kAnswerYes);
  EXPECT_EQ(ReadAll(forty), "<TERMINATE></TERMINATE>");
  EXPECT_EQ(ReadAll(twelve), "www.bank.example|10.0.0.1|");
  EXPECT_EQ(pauses_, 0);
  // The toast stays until the user dismisses it.
  EXPECT_TRUE(IsWindowVisible(toast_.hwnd()));
}

TEST_F(NotifyTest, NoWritesNothingAndAllowsTheNextToast) {
  std::string rec = Requester(41, "www.bank.example|10.0.0.3|");
  AlertWatcher user(toast_.hwnd(), AnswerNo);
  Refuse(0);
  ASSERT_TRUE(WaitAnswered());
  EXPECT_EQ(toast_.answer(), kAnswerNo);
  EXPECT_EQ(ReadAll(rec), "www.bank.example|10.0.0.3|");

  // The next refusal gets its toast and its alert again.
  Refuse(1, "other.bank.example");
  EXPECT_TRUE(toast_.showing());
  EXPECT_EQ(ControlText(toast_.hwnd(), IDC_NOTIFY_LINE1), L"[other.bank.example]");
  EXPECT_EQ(toast_.answer(), kAnswerNone);
  ASSERT_TRUE(WaitAnswered());
  EXPECT_EQ(user.count(), 2);
  EXPECT_EQ(ReadAll(rec), "www.bank.example|10.0.0.3|");
}

TEST_F(NotifyTest, DismissingTheToastEarlyDoesNotPreventTheAlert) {
  toast_.SetTimingForTest(300, [] {});
  Refuse(0);
  HWND w = toast_.hwnd();
  ASSERT_TRUE(IsWindowVisible(w));
  // "확인" before any timer could fire: nothing has been dispatched since the notice.
  SendMessageW(GetDlgItem(w, IDCANCEL), BM_CLICK, 0, 0);
  EXPECT_FALSE(IsWindowVisible(w));
  EXPECT_TRUE(IsWindow(w));
  EXPECT_TRUE(toast_.showing());

  AlertWatcher user(w, AnswerNo);
  ASSERT_TRUE(WaitAnswered()) << "no alert after the toast was dismissed";
  EXPECT_EQ(user.count(), 1);
}

TEST_F(NotifyTest, NormalSiteToastAsksNothing) {
  AlertWatcher user(toast_.hwnd(), AnswerNo);
  // A host that is no plain DNS name, so that "연결하기" opens nothing here.
  toast_.ShowNotice(1, "[ok]", "정상", "not a host", 0);
  HWND w = toast_.hwnd();
  EXPECT_EQ(toast_.mode(), kModeNormal);
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(w, IDC_NOTIFY_NORMAL_ICON)));
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(w, IDC_NOTIFY_REFUSAL_ICON)));
  PumpFor(kShortDelayMs * 5);  // room for an alert timer, had one been started
  EXPECT_EQ(user.count(), 0);
  EXPECT_TRUE(toast_.showing());
  // "연결하기" (sent directly: the agent never enables the button) ends a normal-site toast.
  SendMessageW(w, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(w, IDOK)));
  EXPECT_FALSE(IsWindowVisible(w));
  EXPECT_FALSE(toast_.showing());

  // The next refusal shows the refusal icon again.
  Refuse(0);
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(w, IDC_NOTIFY_NORMAL_ICON)));
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(w, IDC_NOTIFY_REFUSAL_ICON)));
  ASSERT_TRUE(WaitAnswered());
  EXPECT_EQ(user.count(), 1);
}

// A window on the test's thread that plays the inspection: a refusal found while
// the alert box is open arrives as a message inside the box's modal loop.
class SecondRefusal {
 public:
  explicit SecondRefusal(CNotify* toast) : toast_(toast) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &SecondRefusal::Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"KestraNotifyTestSecondRefusal";
    RegisterClassW(&wc);
    window_ = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            wc.hInstance, nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~SecondRefusal() { DestroyWindow(window_); }
  HWND window() const { return window_; }

  std::atomic<bool> done{false};
  bool saw_showing = false;

 private:
  static LRESULT CALLBACK Proc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_APP) {
      auto* self = reinterpret_cast<SecondRefusal*>(GetWindowLongPtrW(w, GWLP_USERDATA));
      // What the inspection does: no toast while one is showing...
      self->saw_showing = self->toast_->showing();
      if (!self->saw_showing) self->toast_->ShowNotice(0, "[second]", "x", "second.example", 2);
      // ...and a careless caller is ignored all the same.
      self->toast_->ShowNotice(0, "[careless]", "x", "careless.example", 2);
      self->done = true;
      return 0;
    }
    return DefWindowProcW(w, msg, wp, lp);
  }
  CNotify* toast_;
  HWND window_;
};

TEST_F(NotifyTest, SecondRefusalWhileTheAlertIsOpenShowsNothing) {
  SecondRefusal second(&toast_);
  AlertWatcher user(toast_.hwnd(), [&](HWND box) {
    PostMessageW(second.window(), WM_APP, 0, 0);
    harness::WaitUntil([&] { return second.done.load(); }, kBound, 5);
    // Room for a second alert timer, had one been started.
    Sleep(kShortDelayMs * 5);
    AnswerNo(box);
  });
  Refuse(0, "first.example");
  ASSERT_TRUE(WaitAnswered());
  EXPECT_TRUE(second.done);
  EXPECT_TRUE(second.saw_showing);
  PumpFor(kShortDelayMs * 5);  // nor does one come after the answer
  EXPECT_EQ(user.count(), 1);
  EXPECT_FALSE(toast_.showing());
  EXPECT_STREQ(toast_.host(), "first.example");
  EXPECT_EQ(ControlText(toast_.hwnd(), IDC_NOTIFY_LINE1), L"[first.example]");
}

TEST_F(NotifyTest, TerminateLoopGivesUpOnAFileHeldOpen) {
  std::string free_one = Requester(50, "a|b|");
  std::string held_one = Requester(51, "c|d|");
  FileHolder holder(held_one);
  ASSERT_TRUE(holder.WaitHeld());

  AlertWatcher user(toast_.hwnd(), AnswerYes);
  Refuse(0);
  ASSERT_TRUE(WaitAnswered());
  EXPECT_EQ(pauses_, kTerminateRetries);  // eleven attempts, a pause after each of the first ten
  EXPECT_EQ(ReadAll(free_one), "<TERMINATE></TERMINATE>");
  EXPECT_EQ(ReadAll(held_one), "c|d|");
  EXPECT_FALSE(toast_.showing());
}

TEST_F(NotifyTest, TerminateLoopWritesOnceTheHolderLetsGo) {
  std::string held_one = Requester(52, "e|f|");
  std::string free_one = Requester(53, "g|h|");
  FileHolder holder(held_one);
  ASSERT_TRUE(holder.WaitHeld());
  bool released = false;
  toast_.SetTimingForTest(kShortDelayMs, [&] {
    if (++pauses_ == 3) released = holder.Release();
  });

  AlertWatcher user(toast_.hwnd(), AnswerYes);
  Refuse(0);
  ASSERT_TRUE(WaitAnswered());
  EXPECT_TRUE(released);
  EXPECT_EQ(pauses_, 3);
  EXPECT_EQ(ReadAll(held_one), "<TERMINATE></TERMINATE>");
  EXPECT_EQ(ReadAll(free_one), "<TERMINATE></TERMINATE>");
}

void SendMouse(DWORD flags, int x = 0, int y = 0) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  if (flags & MOUSEEVENTF_ABSOLUTE) {
    in.mi.dx = MulDiv(x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = MulDiv(y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
  }
  SendInput(1, &in, sizeof(in));
}

TEST_F(NotifyTest, DraggingThePictureMovesTheAlertBox) {
  RECT before{}, after{};
  std::atomic<bool> dragging{false}, moved{false};
  AlertWatcher user(toast_.hwnd(), [&](HWND box) {
    GetWindowRect(box, &before);
    RECT pic;
    GetWindowRect(GetDlgItem(box, IDC_ALERT_PICTURE), &pic);
    // On the exclamation mark, left of the message text.
    POINT from{pic.left + 40, pic.top + 90};
    DWORD ui_thread = GetWindowThreadProcessId(box, nullptr);
    SetForegroundWindow(box);
    SetCursorPos(from.x, from.y);
    SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, from.x, from.y);
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    // The press starts the move loop; the moves come once it runs, and the box is
    // read once the release has ended it.
    dragging = harness::WaitUntil([&] { return InMoveLoop(ui_thread); }, kBound, 5);
    for (int step = 1; step <= 10; ++step) {
      SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, from.x - 6 * step, from.y - 5 * step);
    }
    SendMouse(MOUSEEVENTF_LEFTUP);
    moved = harness::WaitUntil(
        [&] {
          GetWindowRect(box, &after);
          return !InMoveLoop(ui_thread) && (after.left != before.left || after.top != before.top);
        },
        kBound, 5);
    AnswerNo(box);
  });
  Refuse(0);
  ASSERT_TRUE(WaitAnswered());
  ASSERT_EQ(user.count(), 1);
  EXPECT_TRUE(dragging) << "pressing the picture started no drag";
  EXPECT_TRUE(moved) << "the alert box did not follow the mouse";
  EXPECT_EQ(after.left - before.left, -60);
  EXPECT_EQ(after.top - before.top, -50);
  EXPECT_EQ(after.right - after.left, before.right - before.left);
}

}  // namespace
}  // namespace kestra

namespace {

// Wine gives pop-ups with a system menu to the X window manager, and hiding one
// waits 2 s for a manager that a virtual display does not have. This program's
// windows are left unmanaged instead (read when the first window is made).
void LeaveWindowsUnmanagedUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return;
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, self, sizeof(self));
  if (n == 0 || n >= sizeof(self)) return;
  const char* name = std::strrchr(self, '\\');
  std::string key =
      std::string("Software\\Wine\\AppDefaults\\") + (name ? name + 1 : self) + "\\X11 Driver";
  HKEY h;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h,
                      nullptr) == ERROR_SUCCESS) {
    RegSetValueExA(h, "Managed", 0, REG_SZ, reinterpret_cast<const BYTE*>("N"), 2);
    RegCloseKey(h);
  }
}

// Shows a refusal toast and, 3 s later, its alert box, asking the runner
// (tools/wine/run-with-shots) for a screenshot of each once it is painted and
// waiting for it; answers "아니오".
int ShowForScreenshots(int kind) {
  using namespace kestra;
  CNotify toast;
  if (!toast.Create(nullptr)) return 1;
  toast.SetTimingForTest(kAlertDelayMs, [] {});
  toast.ShowNotice(0, "[www.bank.example]", "요청사이트는\r\n비정상입니다.\r\n사용불가",
                   "www.bank.example", kind);
  PumpUntil([&] { return NothingToPaint(toast.hwnd()); }, kBound);
  harness::RequestScreenshot("notify_toast");
  AlertWatcher user(toast.hwnd(), [](HWND box) {
    WaitPainted(box);
    harness::RequestScreenshot("notify_alert");
    AnswerNo(box);
  });
  bool answered = PumpUntil([&] { return !toast.showing(); }, kBound);
  return answered ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--show") == 0) {
    LeaveWindowsUnmanagedUnderWine();
    return ShowForScreenshots(std::atoi(argv[2]));
  }
  if (argc == 4 && std::strcmp(argv[1], "--hold-file") == 0) {
    return kestra::HoldFileMain(argv[2], argv[3]);
  }
  LeaveWindowsUnmanagedUnderWine();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
