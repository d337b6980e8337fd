// Times Lorix's load and save of the large manifest beside MSXML merely parsing
// the same document, under the system's (or Wine's) MSXML.
//   lorix_bench <Lorix.dll> <indent.xsl> [repetitions]
#include "common/win/platform.h"
#include <msxml2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "manifest/include/lorix.h"
#include "manifest/tests/large_manifest.h"
#include "manifest/tests/win_test_util.h"

namespace {

struct Lorix {
  decltype(&::LoadSetupFile) LoadSetupFile;
  decltype(&::SaveSetupFile) SaveSetupFile;
  decltype(&::ClearInMemory) ClearInMemory;
  decltype(&::SetReservedWord) SetReservedWord;
  decltype(&::SetElementField) SetElementField;
  decltype(&::SetFileInfo) SetFileInfo;
  decltype(&::SetRegistryInfo) SetRegistryInfo;
  decltype(&::SetPreExecute) SetPreExecute;
  decltype(&::SetPostExecute) SetPostExecute;
  decltype(&::SetUpdateExecute) SetUpdateExecute;
  decltype(&::SetDeleteExecute) SetDeleteExecute;
  decltype(&::GetFileCount) GetFileCount;
};

template <typename T>
bool Bind(HMODULE m, const char* name, T* out) {
  *out = reinterpret_cast<T>(GetProcAddress(m, name));
  return *out != nullptr;
}

double Now() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::wstring Decode(const std::string& bytes, UINT cp) {
  int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), &out[0], n);
  return out;
}

std::string Encode(const std::wstring& text, UINT cp) {
  int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

IXMLDOMDocument* NewDocument() {
  CLSID clsid;
  IXMLDOMDocument* doc = nullptr;
  if (FAILED(CLSIDFromProgID(L"Microsoft.XMLDOM", &clsid)) ||
      FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                              reinterpret_cast<void**>(&doc)))) {
    return nullptr;
  }
  doc->put_async(VARIANT_FALSE);
  return doc;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: lorix_bench <Lorix.dll> <indent.xsl> [repetitions]\n");
    return 2;
  }
  int reps = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  HMODULE m = LoadLibraryA(argv[1]);
  Lorix lib{};
  if (m == nullptr || !Bind(m, "LoadSetupFile", &lib.LoadSetupFile) ||
      !Bind(m, "SaveSetupFile", &lib.SaveSetupFile) ||
      !Bind(m, "ClearInMemory", &lib.ClearInMemory) ||
      !Bind(m, "SetReservedWord", &lib.SetReservedWord) ||
      !Bind(m, "SetElementField", &lib.SetElementField) ||
      !Bind(m, "SetFileInfo", &lib.SetFileInfo) ||
      !Bind(m, "SetRegistryInfo", &lib.SetRegistryInfo) ||
      !Bind(m, "SetPreExecute", &lib.SetPreExecute) ||
      !Bind(m, "SetPostExecute", &lib.SetPostExecute) ||
      !Bind(m, "SetUpdateExecute", &lib.SetUpdateExecute) ||
      !Bind(m, "SetDeleteExecute", &lib.SetDeleteExecute) ||
      !Bind(m, "GetFileCount", &lib.GetFileCount)) {
    std::fprintf(stderr, "cannot load %s\n", argv[1]);
    return 1;
  }
  setup_test::TempFolder dir("lorix_bench");
  if (!CopyFileA(argv[2], (dir / "indent.xsl").c_str(), FALSE) ||
      !SetCurrentDirectoryA(dir.path().c_str())) {
    std::fprintf(stderr, "cannot prepare %s\n", dir.path().c_str());
    return 1;
  }
  if (!setup_test::FillLargeManifest(lib)) return 1;
  std::string file = dir / "large.xml";

  std::vector<double> save_ms, load_ms, parse_ms, parse_text_ms;
  for (int i = 0; i < reps; ++i) {
    double t0 = Now();
    if (lib.SaveSetupFile(file.c_str()) != 1) return 1;
    save_ms.push_back(Now() - t0);
  }
  std::string saved = setup_test::ReadAll(file);
  for (int i = 0; i < reps; ++i) {
    double t0 = Now();
    if (lib.LoadSetupFile(file.c_str()) != 1 || lib.GetFileCount() != setup_test::kLargeFiles)
      return 1;
    load_ms.push_back(Now() - t0);
  }
  if (lib.SaveSetupFile((dir / "again.xml").c_str()) != 1) return 1;
  bool identical = setup_test::ReadAll(dir / "again.xml") == saved;

  // The same document as a UTF-8 file, which MSXML reads by itself.
  std::wstring text = Decode(saved, 949);
  std::size_t decl_end = text.find(L"?>");
  std::wstring utf8_text =
      L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + text.substr(decl_end + 2);
  std::string utf8_file = dir / "large-utf8.xml";
  setup_test::WriteAll(utf8_file, Encode(utf8_text, CP_UTF8));
  std::wstring wide_path = Decode(utf8_file, CP_ACP);
  std::wstring body = L"<?xml version=\"1.0\"?>" + text.substr(decl_end + 2);
  for (int i = 0; i < reps; ++i) {
    IXMLDOMDocument* doc = NewDocument();
    if (doc == nullptr) return 1;
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(wide_path.c_str());
    VARIANT_BOOL ok = VARIANT_FALSE;
    double t0 = Now();
    doc->load(source, &ok);
    parse_ms.push_back(Now() - t0);
    VariantClear(&source);
    doc->Release();
    if (ok != VARIANT_TRUE) return 1;

    doc = NewDocument();
    BSTR b = SysAllocStringLen(body.data(), static_cast<UINT>(body.size()));
    t0 = Now();
    doc->loadXML(b, &ok);
    parse_text_ms.push_back(Now() - t0);
    SysFreeString(b);
    doc->Release();
    if (ok != VARIANT_TRUE) return 1;
  }
  double load = Median(load_ms), parse = Median(parse_ms);
  std::printf("manifest: %d files, %d registry entries, %d commands, %zu bytes (euc-kr)\n",
              setup_test::kLargeFiles, setup_test::kLargeRegistry,
              4 * setup_test::kLargeCommandsPerList, saved.size());
  std::printf("median of %d runs:\n", reps);
  std::printf("  LoadSetupFile             %8.1f ms\n", load);
  std::printf("  SaveSetupFile             %8.1f ms\n", Median(save_ms));
  std::printf("  MSXML load (UTF-8 file)   %8.1f ms\n", parse);
  std::printf("  MSXML loadXML (same text) %8.1f ms\n", Median(parse_text_ms));
  std::printf("  load / bare parse         %8.2f (goal: at most 2)\n", load / parse);
  std::printf("  saved again identically:  %s\n", identical ? "yes" : "NO");
  return identical ? 0 : 1;
}
